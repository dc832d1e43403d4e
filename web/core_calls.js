// The page's calls into its WebAssembly module (circthresh.js): bytes copied
// in, the module's function run, results copied out, its memory freed. One
// copy for the page (a script tag before page.js) and the node tests (require).
'use strict';

// The calls on a loaded module (what createCircthresh() resolves to).
function circthreshCalls(core) {
  // Runs use(place) and frees every address place gave it, whatever happens.
  // place copies bytes into the module's memory, or reserves size bytes there.
  function withMemory(use) {
    const addresses = [];
    const place = (bytesOrSize) => {
      const size = typeof bytesOrSize === 'number' ? bytesOrSize : bytesOrSize.length;
      const address = core._malloc(Math.max(size, 1));
      if (address === 0) throw new Error('out of memory for this image');
      addresses.push(address);
      if (typeof bytesOrSize !== 'number') core.HEAPU8.set(bytesOrSize, address);
      return address;
    };
    try {
      return use(place);
    } finally {
      addresses.forEach((address) => core._free(address));
    }
  }

  return {
    // {threshold, report, mask} of width x height levels, row by row: the
    // command's threshold (below -1: the module refused the image) and report
    // lines, over the pixels whose byte in counted is not 0 (all when counted is
    // null), and every pixel binarised by the command's rule.
    threshold(levels, width, height, counted) {
      return withMemory((place) => {
        const pixels = width * height;
        const levelsAt = place(levels);
        const countedAt = counted ? place(counted) : 0;
        const maskAt = place(pixels);
        const reportAt = place(64);
        const threshold = core._web_threshold(levelsAt, height, width, countedAt, maskAt, reportAt, 64);
        return {
          threshold,
          report: core.UTF8ToString(reportAt),
          mask: core.HEAPU8.slice(maskAt, maskAt + pixels),
        };
      });
    },
    // {hue, counted} of RGBA pixels, hue levels and 0/1 for a saturation of at
    // least percent; null when the module refuses the percent.
    hue(rgba, percent) {
      return withMemory((place) => {
        const pixels = rgba.length / 4;
        const rgbaAt = place(rgba);
        const hueAt = place(pixels);
        const countedAt = place(pixels);
        // One row of all the pixels: the page holds them contiguous.
        if (core._circthresh_hue(rgbaAt, 1, pixels, 4 * pixels, 4, percent, hueAt, pixels,
                                 countedAt, pixels) !== 0) return null;
        return {
          hue: core.HEAPU8.slice(hueAt, hueAt + pixels),
          counted: core.HEAPU8.slice(countedAt, countedAt + pixels),
        };
      });
    },
    // {cuts, labels, report} of the given number of classes (3..16) over the
    // counted levels, as hue() and threshold() take them: cuts null when no
    // partition exists; null when the module refuses.
    classes(levels, width, height, counted, classes) {
      return withMemory((place) => {
        const pixels = width * height;
        const levelsAt = place(levels);
        const countedAt = counted ? place(counted) : 0;
        const labelsAt = place(pixels);
        const cutsAt = place(4 * classes);
        const reportAt = place(160);
        if (core._web_classes(levelsAt, height, width, countedAt, classes, labelsAt, cutsAt,
                              reportAt, 160) !== 0) return null;
        const cuts = Array.from(new Int32Array(core.HEAPU8.buffer, cutsAt, classes));
        return {
          cuts: cuts[0] >= 0 ? cuts : null,
          labels: core.HEAPU8.slice(labelsAt, labelsAt + pixels),
          report: core.UTF8ToString(reportAt),
        };
      });
    },
  };
}

if (typeof module === 'object' && module.exports) module.exports = { circthreshCalls };
