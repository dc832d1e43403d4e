// Loads the page's WebAssembly module (circthresh.js from web/build.sh) in node
// and wraps its two functions for the tests.
'use strict';

async function loadCircthresh(moduleFile) {
  const core = await require(moduleFile)();
  // Copies bytes into the module's memory; the caller frees the address.
  const put = (bytes) => {
    const address = core._malloc(Math.max(bytes.length, 1));
    core.HEAPU8.set(bytes, address);
    return address;
  };
  return {
    // {report, threshold, mask} for width x height levels, counted or all.
    threshold(levels, width, height, counted) {
      const levelsAt = put(levels);
      const countedAt = counted ? put(counted) : 0;
      const maskAt = core._malloc(Math.max(levels.length, 1));
      const reportAt = core._malloc(64);
      const threshold = core._web_threshold(levelsAt, height, width, countedAt, maskAt, reportAt, 64);
      const result = {
        threshold,
        report: core.UTF8ToString(reportAt),
        mask: core.HEAPU8.slice(maskAt, maskAt + levels.length),
      };
      [levelsAt, countedAt, maskAt, reportAt].forEach((address) => core._free(address));
      return result;
    },
    // {hue, counted} of RGBA pixels, or null when the module refuses the percent.
    hue(rgba, percent) {
      const pixels = rgba.length / 4;
      const rgbaAt = put(rgba);
      const hueAt = core._malloc(Math.max(pixels, 1));
      const countedAt = core._malloc(Math.max(pixels, 1));
      const status = core._circthresh_hue(rgbaAt, 1, pixels, 4 * pixels, 4, percent, hueAt, pixels,
                                          countedAt, pixels);
      const result = status === 0 ? {
        hue: core.HEAPU8.slice(hueAt, hueAt + pixels),
        counted: core.HEAPU8.slice(countedAt, countedAt + pixels),
      } : null;
      [rgbaAt, hueAt, countedAt].forEach((address) => core._free(address));
      return result;
    },
  };
}

module.exports = { loadCircthresh };
