// Times the page's WebAssembly core alone in node on a PGM's levels: the
// counting, search and binarisation of web_threshold, the levels already in the
// module's memory (no copies, no drawing). Run by bench/web_timing.py.
//
// usage: node bench/web_core_timing.js CIRCTHRESH_JS PGM ROUNDS
'use strict';
const fs = require('fs');
const path = require('path');

const [moduleFile, pgmFile, rounds] = process.argv.slice(2);

require(path.resolve(moduleFile))().then((core) => {
  // make_image's one-line header: "P5 width height 255" and one newline.
  const data = fs.readFileSync(pgmFile);
  const headerEnd = data.indexOf(10) + 1;
  const [, width, height] = data.toString('latin1', 0, headerEnd).trim().split(/\s+/).map(Number);
  const pixels = width * height;
  const levelsAt = core._malloc(pixels);
  const maskAt = core._malloc(pixels);
  const reportAt = core._malloc(64);
  core.HEAPU8.set(data.subarray(headerEnd, headerEnd + pixels), levelsAt);
  const times = [];
  for (let round = 0; round < Number(rounds); round += 1) {
    const started = process.hrtime.bigint();
    core._web_threshold(levelsAt, height, width, 0, maskAt, reportAt, 64, 0);
    times.push(Number(process.hrtime.bigint() - started) / 1e6);
  }
  times.sort((a, b) => a - b);
  const report = core.UTF8ToString(reportAt).replace('\n', ' ').trim();
  console.log(`core in node, ${path.basename(pgmFile)}: ${report}`);
  console.log(`  run   ${times[times.length >> 1].toFixed(1).padStart(8)} ms (${times[0].toFixed(1)}-${times[times.length - 1].toFixed(1)})`);
}, (error) => {
  console.error(`web_core_timing.js: ${error.message}`);
  process.exit(1);
});
