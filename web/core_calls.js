// The page's calls into its WebAssembly module (circthresh.js). The page keeps
// an image and its run in the module's memory, from reading to drawing: the
// calls on addresses there (read, hue, threshold, classes) allocate what they
// write, and the caller frees it. The copying calls (hueOf, thresholdOf,
// classesOf) copy arrays in and results out, for the node tests. One copy for
// the page (a script tag before page.js) and the node tests (require).
'use strict';

// Whether this WebAssembly has 128-bit vectors: a module of one function that
// uses them (i8x16.splat and i8x16.popcnt) validates only where it does.
const SIMD_PROBE = Uint8Array.of(0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8, 0,
                                 65, 0, 253, 15, 253, 98, 11);
const hasSimd = () => typeof WebAssembly === 'object' && WebAssembly.validate(SIMD_PROBE);

// Pixels a call of a long loop covers (see inBands).
const BAND_PIXELS = 1 << 20;
// Images of this many pixels or more, all counted, are counted in pairs of
// neighbours, as the command counts them; the table of pairs is 256 KiB.
const PAIR_COUNT_MIN_PIXELS = 1 << 20;
const LEVEL_PAIRS = 256 * 256;

// The calls on a loaded module (what createCircthresh() resolves to).
function circthreshCalls(core) {
  // size bytes of the module's memory (at least one, so that the address is
  // never 0); throws when there is no room.
  function allocate(size) {
    const address = core._malloc(Math.max(size, 1));
    if (address === 0) throw new Error('out of memory for this image');
    return address;
  }
  const free = (...addresses) => addresses.forEach((address) => address && core._free(address));
  // A view of size bytes at address: valid until the memory next grows, that
  // is until the next allocation.
  const view = (address, size) => core.HEAPU8.subarray(address, address + size);
  // count 32-bit words at address, a multiple of 4 (as allocate gives), likewise.
  const words = (address, count) => new Uint32Array(core.HEAPU8.buffer, address, count);

  // Runs use(allocateHere) and frees what allocateHere allocated, whatever happens.
  function withScratch(use) {
    const addresses = [];
    try {
      return use((size) => {
        addresses.push(allocate(size));
        return addresses[addresses.length - 1];
      });
    } finally {
      free(...addresses);
    }
  }

  // Calls call(first, count) on bands of the rows of a width x height image,
  // first row and number of rows, up to about BAND_PIXELS pixels a band; stops
  // at a call that returns true, and returns whether one did. The browser
  // first runs a function's quickly compiled code, and swaps in its optimised
  // code only for later calls: one call over a whole image would run slow to
  // its end.
  function inBands(width, height, call) {
    if (width === 0 || height === 0) return false;
    const rows = Math.max(1, Math.floor(BAND_PIXELS / width));
    for (let first = 0; first < height; first += rows)
      if (call(first, Math.min(rows, height - first))) return true;
    return false;
  }

  // The bytes in the module's memory, at a new address.
  function place(bytes) {
    const address = allocate(bytes.length);
    core.HEAPU8.set(bytes, address);
    return address;
  }

  const calls = {
    allocate, free, view, words, place,

    // A PGM file's bytes, read as the command reads them (its size limit
    // aside): {width, height, fileAt, levelsAt}, the whole file at fileAt (to
    // free) and its levels, row by row, at levelsAt. Throws with the command's
    // reason when the command refuses the file.
    readPgm(bytes) {
      const fileAt = place(bytes);
      try {
        return withScratch((scratch) => {
          const fieldsAt = scratch(12);
          const messageAt = scratch(256);
          if (core._web_read_pgm(fileAt, bytes.length, fieldsAt, fieldsAt + 4, fieldsAt + 8, messageAt, 256) !== 0)
            throw new Error(core.UTF8ToString(messageAt));
          const [width, height, offset] = new Uint32Array(core.HEAPU8.buffer, fieldsAt, 3);
          return { width, height, fileAt, levelsAt: fileAt + offset };
        });
      } catch (error) {
        free(fileAt);
        throw error;
      }
    },

    // A PNG's steps on bytes in the module's memory (web/png_web.cpp and
    // web/photo_web.cpp say what they take and return).
    crcTables: (address) => core._web_crc_tables(address),
    crc32: (tablesAt, address, size) => core._web_crc32(tablesAt, address, size) >>> 0,
    unfilterPng: (...args) => core._web_png_unfilter(...args),
    widenPng: (...args) => core._web_png_widen(...args),
    // {grey, transparent, partly} of pixels of channels bytes at address (3,
    // RGB, or 4, RGBA): whether every pixel not fully transparent is grey,
    // whether one is, and whether one is partly transparent; and for RGBA, 1
    // or 0 a pixel at visibleAt, by whether its alpha is not 0.
    survey(address, pixels, channels, visibleAt = 0) {
      let found = 0;
      inBands(1, pixels, (first, count) => {
        found |= core._web_survey(address + channels * first, count, channels, visibleAt && visibleAt + first);
      });
      return { grey: (found & 1) === 0, transparent: (found & 2) !== 0, partly: (found & 4) !== 0 };
    },
    // The first byte of each pixel of channels bytes at address, moved down
    // in place to one byte a pixel.
    firstBytes(address, pixels, channels) {
      inBands(1, pixels, (first, count) => {
        core._web_first_bytes(address + channels * first, count, channels, address + first);
      });
    },

    // {hueAt, countedAt} of pixels RGBA pixels at colourAt (RGB when channels
    // is 3): hue levels and 0/1 for a saturation of at least percent; null
    // when the module refuses the percent.
    hue(colourAt, pixels, percent, channels = 4) {
      const hueAt = allocate(pixels);
      const countedAt = allocate(pixels);
      // The page holds the pixels contiguous: a band of them is one row.
      const refused = inBands(1, pixels, (first, count) =>
        core._circthresh_hue(colourAt + channels * first, 1, count, channels * count, channels, percent,
                             hueAt + first, count, countedAt + first, count) !== 0);
      if (!refused) return { hueAt, countedAt };
      free(hueAt, countedAt);
      return null;
    },

    // {threshold, report, maskAt, counts} of width x height levels at
    // levelsAt, row by row: the command's threshold (below -1: the module
    // refused the image; maskAt is then 0) and report lines, over the pixels
    // whose byte at countedAt is not 0 (all when countedAt is 0), every pixel
    // binarised by the command's rule at maskAt, and the 256 counts searched.
    threshold(levelsAt, width, height, countedAt) {
      const maskAt = allocate(width * height);
      return withScratch((scratch) => {
        const reportAt = scratch(64);
        const countsAt = scratch(8 * 256);
        core.HEAPU8.fill(0, countsAt, countsAt + 8 * 256);
        const pairsAt = !countedAt && width * height >= PAIR_COUNT_MIN_PIXELS ? scratch(4 * LEVEL_PAIRS) : 0;
        if (pairsAt) core.HEAPU8.fill(0, pairsAt, pairsAt + 4 * LEVEL_PAIRS);
        const refusedCount = inBands(width, height, (row, rows) => (pairsAt
          ? core._web_count_pairs(levelsAt + row * width, rows, width, pairsAt, countsAt)
          : core._web_count(levelsAt + row * width, rows, width, countedAt && countedAt + row * width, countsAt)) !== 0);
        if (pairsAt) core._web_merge_pairs(pairsAt, countsAt);
        let threshold = refusedCount ? -2 : core._web_cut(countsAt, reportAt, 64);
        if (threshold >= -1 && inBands(width, height, (row, rows) =>
          core._web_binarise(levelsAt + row * width, rows, width, threshold, maskAt + row * width) !== 0))
          threshold = -2;
        if (threshold < -1) free(maskAt);
        return {
          threshold,
          report: threshold < -1 ? '' : core.UTF8ToString(reportAt),
          maskAt: threshold < -1 ? 0 : maskAt,
          counts: Array.from(new BigUint64Array(core.HEAPU8.buffer, countsAt, 256), Number),
        };
      });
    },

    // {cuts, labelsAt, report} of the given number of classes (3..16) over
    // the counted levels, as threshold() takes them: cuts null when no
    // partition exists; null when the module refuses.
    classes(levelsAt, width, height, countedAt, classes) {
      const labelsAt = allocate(width * height);
      return withScratch((scratch) => {
        const cutsAt = scratch(4 * classes);
        const reportAt = scratch(160);
        if (core._web_classes(levelsAt, height, width, countedAt, classes, labelsAt, cutsAt, reportAt, 160) !== 0) {
          free(labelsAt);
          return null;
        }
        const cuts = Array.from(new Int32Array(core.HEAPU8.buffer, cutsAt, classes));
        return { cuts: cuts[0] >= 0 ? cuts : null, labelsAt, report: core.UTF8ToString(reportAt) };
      });
    },
  };

  // The copying calls: arrays in, arrays out, the module's memory freed.
  const copyOut = (address, size) => core.HEAPU8.slice(address, address + size);
  const placed = (bytes) => (bytes ? place(bytes) : 0);
  function holding(addresses, use) {
    try {
      return use();
    } finally {
      free(...addresses);
    }
  }
  return Object.assign(calls, {
    // {hue, counted} of RGBA pixels, or null, as hue().
    hueOf(rgba, percent) {
      const rgbaAt = place(rgba);
      return holding([rgbaAt], () => {
        const made = calls.hue(rgbaAt, rgba.length / 4, percent);
        if (!made) return null;
        const pixels = rgba.length / 4;
        return holding([made.hueAt, made.countedAt],
                       () => ({ hue: copyOut(made.hueAt, pixels), counted: copyOut(made.countedAt, pixels) }));
      });
    },
    // {threshold, report, mask} of levels (counted: null for all), as threshold().
    thresholdOf(levels, width, height, counted) {
      const levelsAt = place(levels);
      const countedAt = placed(counted);
      return holding([levelsAt, countedAt], () => {
        const made = calls.threshold(levelsAt, width, height, countedAt);
        return holding([made.maskAt], () => ({
          threshold: made.threshold, report: made.report,
          mask: made.maskAt ? copyOut(made.maskAt, levels.length) : null,
        }));
      });
    },
    // {cuts, labels, report} of levels, or null, as classes().
    classesOf(levels, width, height, counted, classes) {
      const levelsAt = place(levels);
      const countedAt = placed(counted);
      return holding([levelsAt, countedAt], () => {
        const made = calls.classes(levelsAt, width, height, countedAt, classes);
        if (!made) return null;
        return holding([made.labelsAt],
                       () => ({ cuts: made.cuts, labels: copyOut(made.labelsAt, levels.length), report: made.report }));
      });
    },
  });
}

if (typeof module === 'object' && module.exports) module.exports = { circthreshCalls, hasSimd };
