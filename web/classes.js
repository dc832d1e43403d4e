// The page's k classes around the circle: the "classes" choice (2, the
// command's half-circles, or 3..8 arcs), the search and labels from the
// WebAssembly module's web_classes, the labels drawn in colour (each class in
// its mean hue, or mean grey for a grey image), the arcs shaded on the circle
// plot, and the labels downloaded as a PGM. page.js calls in through
// window.circthreshClasses.
'use strict';

(() => {
  const element = (id) => document.getElementById(id);

  // The chosen number of classes: 2..8 from the menu.
  function chosen() {
    const classes = Number(element('classes').value);
    return Number.isInteger(classes) && classes >= 2 && classes <= 8 ? classes : 2;
  }

  // Adds classes, cuts and labels to a run of page.js (levels, counted, mask,
  // threshold, report), and for 3 or more classes the classes' report.
  // Throws when the module refuses.
  function extend(core, run, width, height) {
    const classes = chosen();
    run.classes = classes;
    if (classes === 2) {
      // The command's half-circles: class 0 is t..t+127, black in its mask.
      run.cuts = run.threshold >= 0 ? [run.threshold, run.threshold + 128] : null;
      run.labels = run.mask.map((v) => (v === 0 ? 0 : 1));
      return;
    }
    const found = core.classes(run.levels, width, height, run.counted, classes);
    if (!found) throw new Error('the module could not find the classes of this image');
    ({ cuts: run.cuts, labels: run.labels, report: run.report } = found);
  }

  // Each class's colour: its counted pixels' mean position (levels below the
  // first cut one turn on), as a hue, or as a grey level for a grey image.
  function colours(run, isPhoto) {
    const sums = new Array(run.classes).fill(0);
    const weights = new Array(run.classes).fill(0);
    run.levels.forEach((level, i) => {
      if (!run.counted[i]) return;
      const label = run.labels[i];
      sums[label] += run.cuts && level < run.cuts[0] ? level + 256 : level;
      weights[label] += 1;
    });
    return sums.map((sum, label) => {
      const mean = weights[label] ? (sum / weights[label]) % 256 : (255 * label) / (run.classes - 1);
      return isPhoto ? `hsl(${(mean * 360) / 256}, 85%, 50%)`
        : `rgb(${Math.round(mean)}, ${Math.round(mean)}, ${Math.round(mean)})`;
    });
  }

  // The labels on the canvas, each class in its colour; an image too large for
  // a canvas scaled down as the page's other pictures are.
  function drawLabels(canvas, run, width, height, isPhoto) {
    const step = circthreshImage.previewStep(width, height);
    const shownWidth = Math.ceil(width / step);
    const shownHeight = Math.ceil(height / step);
    canvas.width = Math.max(shownWidth, 1);
    canvas.height = Math.max(shownHeight, 1);
    if (width === 0 || height === 0) return;
    const context = canvas.getContext('2d');
    // The colours as bytes, through a one-pixel canvas that parses them.
    const probe = document.createElement('canvas').getContext('2d', { willReadFrequently: true });
    const words = colours(run, isPhoto).map((colour) => {
      probe.fillStyle = colour;
      probe.fillRect(0, 0, 1, 1);
      return new Uint32Array(probe.getImageData(0, 0, 1, 1).data.buffer)[0];
    });
    const picture = new ImageData(shownWidth, shownHeight);
    const out = new Uint32Array(picture.data.buffer);
    for (let y = 0, i = 0; y < shownHeight; y += 1) {
      for (let x = 0, at = y * step * width; x < shownWidth; x += 1, i += 1, at += step)
        out[i] = words[run.labels[at]] | 0xff000000;
    }
    context.putImageData(picture, 0, 0);
  }

  // The classes' arcs shaded on the circle plot, in their colours, lightly.
  function shadeArcs(context, run, centre, radius, angle, isPhoto) {
    if (!run.cuts) return;
    const shades = colours(run, isPhoto);
    context.save();
    context.globalAlpha = 0.3;
    run.cuts.forEach((cut, label) => {
      const end = label + 1 < run.cuts.length ? run.cuts[label + 1] : run.cuts[0] + 256;
      context.fillStyle = shades[label];
      context.beginPath();
      context.moveTo(centre, centre);
      context.arc(centre, centre, radius, angle(cut - 0.5), angle(end - 0.5));
      context.closePath();
      context.fill();
    });
    context.restore();
  }

  function downloadLabels() {
    const result = window.circthresh_result;
    if (!result || !result.labels) return;
    const header = `P5\n${result.width} ${result.height}\n255\n`;
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([header, result.labels],
                                             { type: 'image/x-portable-graymap' }));
    link.download = 'labels.pgm';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  element('download-labels').addEventListener('click', downloadLabels);
  const query = new URLSearchParams(location.search);
  if (query.has('classes')) element('classes').value = query.get('classes');
  window.circthreshClasses = { chosen, extend, drawLabels, shadeArcs };
})();
