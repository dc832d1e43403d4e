// The page's k classes around the circle: the "classes" choice (2, the
// command's half-circles, or 3..8 arcs) and the search and labels from the
// WebAssembly module's web_classes (draw.js draws them; page.js downloads
// them). page.js calls in through window.circthreshClasses.
'use strict';

window.circthreshClasses = (() => {
  const element = (id) => document.getElementById(id);

  // The chosen number of classes: 2..8 from the menu.
  function chosen() {
    const classes = Number(element('classes').value);
    return Number.isInteger(classes) && classes >= 2 && classes <= 8 ? classes : 2;
  }

  // The labels of the command's half-circles: class 0 is t..t+127, black in its mask.
  const twoLabels = (mask) => mask.map((v) => (v === 0 ? 0 : 1));

  // Adds classes and cuts to a run of page.js (levelsAt, countedAt, threshold,
  // report, blocks), and for 3 or more classes the labels (labelsAt, in the
  // module's memory, added to blocks) and the classes' report. Throws when the
  // module refuses.
  function extend(core, run, width, height) {
    const classes = chosen();
    run.classes = classes;
    if (classes === 2) {
      run.cuts = run.threshold >= 0 ? [run.threshold, run.threshold + 128] : null;
      return;
    }
    const found = core.classes(run.levelsAt, width, height, run.countedAt, classes);
    if (!found) throw new Error('the module could not find the classes of this image');
    run.blocks.push(found.labelsAt);
    ({ cuts: run.cuts, labelsAt: run.labelsAt, report: run.report } = found);
  }

  return { chosen, extend, twoLabels };
})();
