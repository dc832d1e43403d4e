// The page's WebAssembly core against the command, on random images: the same
// two report lines and the same raster bytes. With a selection of counted
// pixels, the report must be the command's on an image of only those pixels,
// and the mask the binarisation rule (levels t..t+127 around the circle black)
// applied to every pixel.
//
// usage: node tests/web/core_test.js CIRCTHRESH_JS COMMAND SCRATCH
'use strict';
const fs = require('fs');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { loadCircthresh } = require('./module.js');

const [moduleFile, command, scratch] = process.argv.slice(2);

// A fixed seed: a failure can be run again as it was.
function makeRandom(seed) {
  return () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let z = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    z = (z + Math.imul(z ^ (z >>> 7), 61 | z)) ^ z;
    return ((z ^ (z >>> 14)) >>> 0) / 4294967296;
  };
}
const random = makeRandom(24);
const level = (spread, centre) => (Math.round(centre + (random() - 0.5) * spread) + 512) & 255;

// Each case: a size and how a pixel's level is drawn.
const cases = [
  { name: '1x1', width: 1, height: 1, draw: () => 200 },
  { name: '1x1000', width: 1, height: 1000, draw: () => level(256, 0) },
  { name: '1000x1', width: 1000, height: 1, draw: () => level(256, 0) },
  { name: 'flat', width: 37, height: 23, draw: () => 77 },
  { name: '0 and 255', width: 64, height: 3, draw: () => (random() < 0.3 ? 0 : 255) },
  { name: 'two levels apart 128', width: 20, height: 20, draw: () => (random() < 0.5 ? 10 : 138) },
  { name: '4999x3', width: 4999, height: 3, draw: () => level(256, 0) },
  // More pixels than the page's calls take at once: counted and binarised in bands.
  { name: '1100x1000', width: 1100, height: 1000, draw: () => level(60, 200) },
  { name: '1025x1025, odd bands of pairs', width: 1025, height: 1025, draw: () => level(256, 0) },
  { name: 'red across 0 on cyan', width: 300, height: 200,
    draw: () => (random() < 0.3 ? level(40, 0) : level(30, 128)) },
  { name: 'three clusters', width: 257, height: 129,
    draw: () => level(20, [30, 100, 220][Math.floor(random() * 3)]) },
  { name: 'narrow around 250', width: 8, height: 16, draw: () => level(4, 250) },
  // Levels 10 and 11 once each against 62 pixels of 138: sigma_W is exactly
  // 1/(2*64) = 0.0078125, a half that "%f" rounds to even (0.007812) and
  // JavaScript's toFixed(6) up.
  { name: 'sigma_W an exact half', width: 64, height: 1, draw: (_, i) => [10, 11][i] ?? 138 },
];
for (let i = 0; i < 10; i += 1) {
  const width = 1 + Math.floor(random() * 400);
  const height = 1 + Math.floor(random() * 300);
  const centre = random() * 256;
  const spread = 1 + random() * 255;
  cases.push({ name: `random ${width}x${height}`, width, height, draw: () => level(spread, centre) });
}

// PGM files, header and raster, each byte a character: what the command
// accepts and what it refuses, as it reads headers.
const pgmFiles = [
  'P5 2 1 255\nab', 'P5\n2 1\n255\nab', 'P5\n# a comment\n2 1\n255\nab', 'P5 +2 1 255\nab',
  'P5 02 001 0255\nab', 'P5 2 1 255 more fields\nab', 'P5 2 1 255\r\nab', '  P5 2 1 255\nab',
  'P5\nnot yet\n2 1\n255\nab', 'P5\n2 1\n# before the maximum\n255\nab', 'P5\n2 1 255\nab',
  'P5\t2\v1\f255\nab', 'P5\n2 1\n\n\n255 ab', 'P5\n2\n1\n255\nab', 'P5 -2 3 255\n', 'P5 0 7 255\n',
  'P5 0 0 255', 'P5\n0 0\n255', 'P5 2 1 255\na', 'P5 2 1 255\nabc', 'P5 2 1 65535\nab', 'P5 2 1 255 ab',
  'P5 2 1\n255\nab', 'P2 2 1 255\n1 2\n', 'P6 1 1 255\nabc', 'P55 2 1 255\nab', '', 'P5', 'P5\n',
  'P5 2 1 9999999999\nab', 'P5 4294967298 1 255\nab', 'P5 1 5001 255\n' + 'a'.repeat(5001),
  `P5\n#${'x'.repeat(300)}\n2 1\n255\nab`, `P5 ${' '.repeat(260)}2 1 255\nab`, 'P5\0 2 1 255\nab',
];

function pgm(width, height, raster) {
  return Buffer.concat([Buffer.from(`P5\n${width} ${height}\n255\n`), Buffer.from(raster)]);
}

// The command's report and output raster for a raster written as PGM.
function runCommand(width, height, raster) {
  const input = path.join(scratch, 'in.pgm');
  const output = path.join(scratch, 'out.pgm');
  fs.writeFileSync(input, pgm(width, height, raster));
  const report = execFileSync(command, [input, output], { encoding: 'latin1' });
  const written = fs.readFileSync(output);
  const header = `P5\n#created by Quenbarlit\n${width} ${height}\n255\n`;
  if (written.length !== header.length + raster.length || written.toString('latin1', 0, header.length) !== header)
    throw new Error(`unexpected output file from the command for ${width}x${height}`);
  return { report, raster: written.subarray(header.length) };
}

function binarise(levels, t) {
  return levels.map((g) => (((g - t) & 255) < 128 ? 0 : 255));
}

async function main() {
  const core = await loadCircthresh(path.resolve(moduleFile));
  let failures = 0;
  const check = (name, ok, detail) => {
    console.log(`${ok ? 'same' : 'DIFFERENT'}: ${name}${detail}`);
    if (!ok) failures += 1;
  };

  for (const c of cases) {
    const levels = Uint8Array.from({ length: c.width * c.height }, c.draw);
    const expected = runCommand(c.width, c.height, levels);
    const got = core.thresholdOf(levels, c.width, c.height, null);
    const sameRaster = Buffer.compare(Buffer.from(got.mask), expected.raster) === 0;
    check(c.name, got.report === expected.report && sameRaster, `: ${got.report.replace('\n', ', ').trim()}`);

    // A random selection: the command sees the selected pixels as a 1 x n
    // image, n at most its 5000 rows.
    const share = Math.min(0.4, 4000 / levels.length);
    let chosen = 0;
    const counted = Uint8Array.from(levels, () => (random() < share && chosen < 5000 ? (chosen += 1, 1) : 0));
    const selected = levels.filter((_, i) => counted[i]);
    const selectedRun = runCommand(1, selected.length, selected);
    const masked = core.thresholdOf(levels, c.width, c.height, counted);
    const sameMask = Buffer.compare(Buffer.from(masked.mask), Buffer.from(binarise(levels, masked.threshold))) === 0;
    check(`${c.name}, ${selected.length} pixels counted`, masked.report === selectedRun.report && sameMask, '');
  }

  // An empty image: a PGM of 0 x 0 opened on the page, and a selection of none.
  const empty = runCommand(0, 0, new Uint8Array(0));
  const expectedEmpty = 'thresholding at -1\nsigma_W 900000000000000000000.000000\n';
  check('0x0', core.thresholdOf(new Uint8Array(0), 0, 0, null).report === empty.report &&
        empty.report === expectedEmpty, '');
  check('none counted', core.thresholdOf(Uint8Array.of(3, 200), 2, 1, Uint8Array.of(0, 0)).report === expectedEmpty, '');
  // The saturation floor must be a percent.
  check('percent outside 0..100 refused',
        core.hueOf(Uint8Array.of(1, 2, 3, 255), -1) === null && core.hueOf(Uint8Array.of(1, 2, 3, 255), 101) === null, '');

  // PGM files as the command reads them: the same refusal (the page may say
  // more after it), or the same report and mask; only the command's size limit
  // is not the page's.
  for (const file of pgmFiles) {
    const bytes = Buffer.from(file, 'latin1');
    const input = path.join(scratch, 'in.pgm');
    const output = path.join(scratch, 'out.pgm');
    fs.writeFileSync(input, bytes);
    const ran = spawnSync(command, [input, output], { encoding: 'latin1' });
    let page;
    try {
      const read = core.readPgm(bytes);
      const levels = core.view(read.levelsAt, read.width * read.height).slice();
      core.free(read.fileAt);
      page = core.thresholdOf(levels, read.width, read.height, null);
    } catch (error) {
      page = { refusal: error.message };
    }
    let same = page.refusal !== undefined && ran.status !== 0 && page.refusal.startsWith(ran.stderr.trim());
    if (ran.status === 0 && page.mask) {
      // The command's output: its header (the dimensions as it read them), then the mask.
      const written = fs.readFileSync(output);
      const header = written.toString('latin1', 0, written.length - page.mask.length);
      same = page.report === ran.stdout && /^P5\n#created by Quenbarlit\n-?\d+ -?\d+\n255\n$/.test(header) &&
        written.subarray(header.length).equals(page.mask);
    }
    // Over 5000 x 5000 the page reads the raster the header gives, if it is whole.
    if (ran.stderr.startsWith('ERROR: Maximum image size'))
      same = page.mask !== undefined || page.refusal === 'ERROR: premature end of file';
    fs.rmSync(output, { force: true });
    check(`PGM ${JSON.stringify(file.slice(0, 32))}`, same, `: ${(page.refusal || page.report).replace('\n', ', ').trim()}`);
  }

  console.log(failures === 0 ? `all ${cases.length * 2 + 3 + pgmFiles.length} comparisons the same` : `${failures} different`);
  return failures === 0 ? 0 : 1;
}

// The module's loader rethrows uncaught errors with its whole source: report the message alone.
main().then((status) => process.exit(status), (error) => {
  console.error(`core_test.js: ${error.message}`);
  process.exit(1);
});
