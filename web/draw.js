// The page's pictures: an image, its levels, the mask or the classes' labels on
// canvases (every step-th pixel where a canvas cannot hold the image), and the
// counted pixels' histogram around the circle. page.js calls in through
// window.circthreshDraw; nothing here keeps state.
'use strict';

window.circthreshDraw = (() => {
  // The most pixels a side of a picture shown on the page: the figures are at
  // most 360 CSS pixels a side, so 1024 is sharp at any screen density, and a
  // large image's pictures are drawn from a fraction of its pixels.
  const SHOWN_SIDE = 1024;

  // A canvas sized for a width x height image's preview (its full size when
  // full is true and a canvas can hold it); returns the step and the
  // preview's size, or null for an empty image.
  function sized(canvas, width, height, full) {
    const fits = circthreshImage.previewStep(width, height);
    const step = full ? fits : Math.max(fits, Math.ceil(Math.max(width, height) / SHOWN_SIDE));
    const shownWidth = Math.ceil(width / step);
    const shownHeight = Math.ceil(height / step);
    canvas.width = Math.max(shownWidth, 1);
    canvas.height = Math.max(shownHeight, 1);
    return width === 0 || height === 0 ? null : { step, shownWidth, shownHeight };
  }

  // Fills the preview one 32-bit word per pixel, opaque, word(at) giving the
  // word of the image's pixel at; byte order as every browser's: RGBA in memory
  // is ABGR in a little-endian word.
  function fill(canvas, width, height, word, full) {
    const shown = sized(canvas, width, height, full);
    if (!shown) return;
    const { step, shownWidth, shownHeight } = shown;
    const picture = new ImageData(shownWidth, shownHeight);
    const words = new Uint32Array(picture.data.buffer);
    for (let y = 0, i = 0; y < shownHeight; y += 1) {
      for (let x = 0, at = y * step * width; x < shownWidth; x += 1, i += 1, at += step)
        words[i] = word(at) | 0xff000000;
    }
    canvas.getContext('2d').putImageData(picture, 0, 0);
  }

  // Grey levels (channels 1), RGB bytes (3) or RGBA bytes (4).
  function image(canvas, bytes, channels, width, height) {
    if (channels === 1) fill(canvas, width, height, (at) => bytes[at] * 0x010101);
    else if (channels === 3) {
      fill(canvas, width, height, (at) => bytes[3 * at] | (bytes[3 * at + 1] << 8) | (bytes[3 * at + 2] << 16));
    } else {
      const source = new Uint32Array(bytes.buffer, bytes.byteOffset, bytes.length / 4);
      fill(canvas, width, height, (at) => source[at]);
    }
  }

  // The mask as shown: the command's, or black and white swapped; at full size
  // when full is true and a canvas can hold it (the PNG download).
  function mask(canvas, bytes, swapped, width, height, full) {
    const flip = swapped ? 255 : 0;
    fill(canvas, width, height, (at) => (bytes[at] ^ flip) * 0x010101, full);
  }

  // A run as page.js hands it over: its levels, counted (null: all), labels,
  // classes, cuts, threshold and counts.

  // Each class's colour: its counted pixels' mean position (levels below the
  // first cut one turn on), as a hue, or as a grey level for a grey image.
  function colours(run, isPhoto) {
    const sums = new Array(run.classes).fill(0);
    const weights = new Array(run.classes).fill(0);
    run.levels.forEach((level, i) => {
      if (run.counted && !run.counted[i]) return;
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

  // The labels, each class in its colour.
  function labels(canvas, run, width, height, isPhoto) {
    // The colours as bytes, through a one-pixel canvas that parses them.
    const probe = document.createElement('canvas').getContext('2d', { willReadFrequently: true });
    const words = colours(run, isPhoto).map((colour) => {
      probe.fillStyle = colour;
      probe.fillRect(0, 0, 1, 1);
      return new Uint32Array(probe.getImageData(0, 0, 1, 1).data.buffer)[0];
    });
    fill(canvas, width, height, (at) => words[run.labels[at]]);
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

  // The counted pixels' levels (run.counts) as bars around the circle, level 0 at the top
  // and clockwise; the half-circle that is black in the mask shown (swapped or
  // not) is shaded, or with 3 or more classes each class's arc.
  function histogram(canvas, run, isPhoto, swapped) {
    const context = canvas.getContext('2d');
    const centre = canvas.width / 2;
    const inner = 95;
    const longest = 95;
    const angle = (level) => (level / 256) * 2 * Math.PI - Math.PI / 2;
    const { counts } = run;
    const most = Math.max(1, ...counts);
    context.clearRect(0, 0, canvas.width, canvas.height);
    if (run.classes > 2) {
      shadeArcs(context, run, centre, inner + longest + 5, angle, isPhoto);
    } else if (run.threshold >= 0) {
      const first = swapped ? run.threshold + 128 : run.threshold;
      context.fillStyle = '#d8d8d8';
      context.beginPath();
      context.moveTo(centre, centre);
      context.arc(centre, centre, inner + longest + 5, angle(first - 0.5), angle(first + 127.5));
      context.closePath();
      context.fill();
    }
    context.fillStyle = 'white';
    context.strokeStyle = '#888';
    context.beginPath();
    context.arc(centre, centre, inner - 4, 0, 2 * Math.PI);
    context.fill();
    context.stroke();
    context.lineWidth = 2.6;
    for (let level = 0; level < 256; level += 1) {
      if (counts[level] === 0) continue;
      const length = Math.max(1, (counts[level] / most) * longest);
      const a = angle(level);
      context.strokeStyle = isPhoto ? `hsl(${(level * 360) / 256}, 85%, 50%)` : `rgb(${level}, ${level}, ${level})`;
      context.beginPath();
      context.moveTo(centre + inner * Math.cos(a), centre + inner * Math.sin(a));
      context.lineTo(centre + (inner + length) * Math.cos(a), centre + (inner + length) * Math.sin(a));
      context.stroke();
    }
    context.fillStyle = '#222';
    context.font = '13px sans-serif';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    [0, 64, 128, 192].forEach((level) => {
      const a = angle(level);
      context.fillText(String(level), centre + (inner - 16) * Math.cos(a), centre + (inner - 16) * Math.sin(a));
    });
    if (run.classes > 2) context.fillText(run.cuts ? `cuts ${run.cuts.join(' ')}` : 'no cuts', centre, centre);
    else context.fillText(run.threshold >= 0 ? `cut at ${run.threshold} | ${run.threshold + 128}` : 'no cut', centre, centre);
  }

  return { image, mask, labels, histogram };
})();
