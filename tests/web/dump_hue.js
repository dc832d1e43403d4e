// Writes the page's hue and saturation selection for every 8-bit RGB colour,
// red slowest and blue fastest (2^24 bytes each), for hue_test.py to check.
//
// usage: node tests/web/dump_hue.js CIRCTHRESH_JS PERCENT HUE_OUT COUNTED_OUT
'use strict';
const fs = require('fs');
const path = require('path');
const { loadCircthresh } = require('./module.js');

const [moduleFile, percent, hueOut, countedOut] = process.argv.slice(2);

loadCircthresh(path.resolve(moduleFile)).then((core) => {
  const rgba = new Uint8Array(4 * 2 ** 24);
  for (let colour = 0; colour < 2 ** 24; colour += 1) {
    rgba[4 * colour] = colour >> 16;
    rgba[4 * colour + 1] = (colour >> 8) & 255;
    rgba[4 * colour + 2] = colour & 255;
    rgba[4 * colour + 3] = 255;
  }
  const result = core.hueOf(rgba, Number(percent));
  fs.writeFileSync(hueOut, result.hue);
  fs.writeFileSync(countedOut, result.counted);
}, (error) => {
  console.error(`dump_hue.js: ${error.message}`);
  process.exit(1);
});
