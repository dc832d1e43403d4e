// Times the page's WebAssembly core alone in node on a PGM's levels: the
// counting, search and binarisation as the page calls them (threshold() of
// web/core_calls.js), the levels already in the module's memory (no copies,
// no drawing). Run by bench/web_timing.py, once for each build of the module.
//
// usage: node bench/web_core_timing.js CIRCTHRESH_JS PGM ROUNDS
'use strict';
const fs = require('fs');
const path = require('path');
const { circthreshCalls } = require('../web/core_calls.js');

const [moduleFile, pgmFile, rounds] = process.argv.slice(2);

require(path.resolve(moduleFile))().then((module) => {
  const core = circthreshCalls(module);
  // make_image's one-line header: "P5 width height 255" and one newline.
  const data = fs.readFileSync(pgmFile);
  const headerEnd = data.indexOf(10) + 1;
  const [, width, height] = data.toString('latin1', 0, headerEnd).trim().split(/\s+/).map(Number);
  const levelsAt = core.place(data.subarray(headerEnd, headerEnd + width * height));
  const times = [];
  let report = '';
  for (let round = 0; round < Number(rounds); round += 1) {
    const started = process.hrtime.bigint();
    const made = core.threshold(levelsAt, width, height, 0);
    times.push(Number(process.hrtime.bigint() - started) / 1e6);
    core.free(made.maskAt);
    report = made.report.replace('\n', ' ').trim();
  }
  const first = times[0];
  times.sort((a, b) => a - b);
  console.log(`core in node (${path.basename(moduleFile)}), ${path.basename(pgmFile)}: ${report}`);
  // The first round writes its mask into memory the module has just grown, as
  // the page's first run does; the later ones reuse it.
  console.log(`  first ${first.toFixed(1).padStart(8)} ms`);
  console.log(`  run   ${times[times.length >> 1].toFixed(1).padStart(8)} ms (${times[0].toFixed(1)}-${times[times.length - 1].toFixed(1)})`);
}, (error) => {
  console.error(`web_core_timing.js: ${error.message}`);
  process.exit(1);
});
