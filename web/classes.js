// The page's k classes around the circle: the "classes" choice (2, the
// command's half-circles, or 3..8 arcs), the search and labels from the
// WebAssembly module's web_classes, and the labels downloaded as a PGM (draw.js
// draws them). page.js calls in through window.circthreshClasses.
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

  function downloadLabels() {
    const result = window.circthreshResult;
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
  window.circthreshClasses = { chosen, extend };
})();
