// circthresh's page: its run state and events. It reads a photo or a grey
// image (read_image.js) into the WebAssembly module's memory, computes each
// pixel's hue level and the command's threshold there (core_calls.js), and
// shows the report and the pictures (draw.js) from there: the pixels are not
// copied out. Nothing is sent anywhere.
//
// index.html?src=URL&saturation=P&classes=K loads that image with that floor
// and number of classes (and core=plain the module without vectors;
// window.circthreshCore says which runs). When a run is done,
// window.circthreshResult = {report, width, height, hue, mask, counted,
// classes, cuts, labels}: the report lines, and row by row the levels
// thresholded, the mask by the command's rule (0 black, 255 white, whatever
// the swap shows) and 0/1 for the pixels the histogram counted; the number of
// classes, their cuts (null when there are none) and each pixel's class
// (classes.js). Its arrays are copied out of the module when they are read.
'use strict';

(() => {
  const element = (id) => document.getElementById(id);
  let core = null;   // the WebAssembly module's calls (core_calls.js)
  let image = null;  // {name, width, height, levelsAt, colourAt, channels, visible, blocks}: see read_image.js
  // The last run: {levelsAt, countedAt (0: all), maskAt, labelsAt, threshold,
  // report, counts, classes, cuts, blocks}, its arrays in the module's memory.
  let run = null;

  function showStatus(text, isError) {
    element('status').textContent = text;
    element('status').className = isError ? 'error' : '';
  }

  // Drops the last run's report, result, downloads and memory: a failed run
  // must not leave the previous image's mask on offer.
  function forgetRun() {
    if (run) core.free(...run.blocks);
    run = null;
    window.circthreshResult = undefined;
    element('report').textContent = '';
    element('download-mask').disabled = element('download-levels').disabled = true;
    element('download-labels').disabled = true;
  }

  function forgetImage() {
    forgetRun();
    if (image) core.free(...image.blocks);
    image = null;
  }

  async function open(blob, name) {
    const started = performance.now();
    forgetImage();
    showStatus(`Reading ${name}\u2026`);
    image = { name, ...(await circthreshImage.read(blob, core)) };
    performance.measure('circthresh read', { start: started, end: performance.now() });
    threshold();
  }

  // The saturation floor: a whole percent 0..100, or null.
  function floorPercent() {
    const text = element('saturation').value.trim();
    return /^\d{1,3}$/.test(text) && Number(text) <= 100 ? Number(text) : null;
  }

  const pixelCount = () => image.width * image.height;

  // The run's arrays as views of the module's memory, for drawing and
  // downloads (valid until the module next allocates).
  function views() {
    const pixels = pixelCount();
    return {
      levels: core.view(run.levelsAt, pixels),
      counted: run.countedAt ? core.view(run.countedAt, pixels) : null,
      mask: core.view(run.maskAt, pixels),
      labels: run.labelsAt ? core.view(run.labelsAt, pixels) : null,
    };
  }

  function threshold() {
    if (!image) return;
    forgetRun();
    const percent = floorPercent();
    if (image.colourAt && percent === null) {
      showStatus('The saturation floor is a whole percent from 0 to 100.', true);
      return;
    }
    const started = performance.now();
    const pixels = pixelCount();
    const made = { levelsAt: image.levelsAt, countedAt: 0, labelsAt: 0, blocks: [] };
    try {
      if (image.colourAt) {
        const hue = core.hue(image.colourAt, pixels, percent, image.channels);
        if (!hue) throw new Error('the module refused the saturation floor');
        made.blocks.push(hue.hueAt, hue.countedAt);
        [made.levelsAt, made.countedAt] = [hue.hueAt, hue.countedAt];
        if (image.visible) circthreshImage.onlyVisible(core.view(made.countedAt, pixels), image.visible);
      } else if (image.visible) {
        made.countedAt = core.place(image.visible);
        made.blocks.push(made.countedAt);
      }
      const result = core.threshold(made.levelsAt, image.width, image.height, made.countedAt);
      if (result.threshold < -1) throw new Error('the module could not threshold this image');
      made.blocks.push(result.maskAt);
      Object.assign(made, { maskAt: result.maskAt, threshold: result.threshold, report: result.report,
                            counts: result.counts });
      circthreshClasses.extend(core, made, image.width, image.height);
    } catch (error) {
      core.free(...made.blocks);
      showStatus(`${image.name}: ${error.message}`, true);
      return;
    }
    run = made;
    const ran = performance.now();
    performance.measure('circthresh run', { start: started, end: ran });
    show();
    performance.measure('circthresh draw', { start: ran, end: performance.now() });
    window.circthreshResult = result(made);
  }

  // The result of a run, its arrays copied out of the module when read, while
  // the run is the page's.
  function result(made) {
    const pixels = pixelCount();
    const copy = (name, make) => () => {
      if (run !== made) throw new Error('a later run has replaced this result');
      return make(views()[name]);
    };
    const fields = {
      hue: copy('levels', (v) => v.slice()),
      mask: copy('mask', (v) => v.slice()),
      counted: copy('counted', (v) => (v ? v.slice() : new Uint8Array(pixels).fill(1))),
      labels: copy('labels', (v) => (v ? v.slice() : circthreshClasses.twoLabels(views().mask))),
    };
    const got = { report: made.report, width: image.width, height: image.height,
                  classes: made.classes, cuts: made.cuts };
    Object.entries(fields).forEach(([name, get]) => Object.defineProperty(got, name, { get, enumerable: true }));
    return got;
  }

  function show() {
    const pixels = pixelCount();
    const counted = run.counts.reduce((sum, c) => sum + c, 0);
    const transparent = image.visible ? ', not transparent' : '';
    const what = image.colourAt
      ? `its hue; ${counted} of ${pixels} pixels counted (saturation at least ${floorPercent()}%${transparent})`
      : image.visible ? `a grey image, thresholded on its grey levels; ${counted} of ${pixels} pixels counted (not transparent)`
        : 'a grey image, thresholded on its grey levels; every pixel counted';
    // The command reads at most 5000 x 5000; the page reads larger images on purpose.
    const larger = image.width > 5000 || image.height > 5000
      ? ' Larger than the 5000 x 5000 the command reads: the page thresholds it all the same.' : '';
    showStatus(`${image.name}, ${image.width} x ${image.height}: ${what}.${larger}`);
    element('report').textContent = run.report;
    element('levels-caption').textContent = image.colourAt
      ? 'its hue on the 256-level circle, as grey levels' : 'its grey levels';
    element('download-levels').textContent = image.colourAt ? 'Download hue (PGM)' : 'Download grey levels (PGM)';
    element('download-mask').disabled = element('download-levels').disabled = false;
    element('download-labels').disabled = false;
    element('download-mask').textContent = maskAsPgm() ? 'Download mask (PGM)' : 'Download mask (PNG)';
    const shown = views();
    if (image.colourAt) {
      circthreshDraw.image(element('photo'), core.view(image.colourAt, image.channels * pixels), image.channels,
                           image.width, image.height);
    } else circthreshDraw.image(element('photo'), shown.levels, 1, image.width, image.height);
    circthreshDraw.image(element('levels'), shown.levels, 1, image.width, image.height);
    drawMask();
    drawHistogram();
  }

  // The run as draw.js takes it: its fields and its arrays' views.
  const drawn = () => ({ ...run, ...views() });

  // The mask, or with 3 or more classes the labels in colour.
  function drawMask() {
    const many = run.classes > 2;
    element('mask-caption').textContent = many
      ? 'the classes, each in its mean colour' : 'the mask: the chosen half-circle black';
    element('histogram-caption').textContent = `the counted pixels' levels around the circle, level 0 at the top; ${
      many ? 'the shaded arcs are the classes' : 'the shaded half-circle becomes black'}`;
    if (many) circthreshDraw.labels(element('mask'), drawn(), image.width, image.height, !!image.colourAt);
    else circthreshDraw.mask(element('mask'), views().mask, element('swap').checked, image.width, image.height);
  }

  // A mask too large for a canvas downloads as a PGM of its bytes.
  const maskAsPgm = () => circthreshImage.previewStep(image.width, image.height) > 1;

  // The mask's bytes as shown: the command's, or black and white swapped.
  const shownMask = () => (element('swap').checked ? views().mask.map((v) => 255 - v) : views().mask);

  function drawHistogram() {
    circthreshDraw.histogram(element('histogram'), drawn(), !!image.colourAt, element('swap').checked);
  }

  function download(blob, name) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  const pgmHeader = () => `P5\n${image.width} ${image.height}\n255\n`;

  function downloadMask() {
    if (maskAsPgm()) download(new Blob([pgmHeader(), shownMask()], { type: 'image/x-portable-graymap' }), 'mask.pgm');
    else {
      // The page shows a preview: the PNG is drawn at full size.
      const canvas = document.createElement('canvas');
      circthreshDraw.mask(canvas, views().mask, element('swap').checked, image.width, image.height, true);
      canvas.toBlob((blob) => download(blob, 'mask.png'), 'image/png');
    }
  }

  function downloadLevels() {
    download(new Blob([pgmHeader(), views().levels], { type: 'image/x-portable-graymap' }),
             image.colourAt ? 'hue.pgm' : 'levels.pgm');
  }

  function downloadLabels() {
    const { labels, mask } = views();
    download(new Blob([pgmHeader(), labels || circthreshClasses.twoLabels(mask)], { type: 'image/x-portable-graymap' }),
             'labels.pgm');
  }

  function openChosen(file) {
    if (file) open(file, file.name).catch((error) => showStatus(`${file.name}: ${error.message}`, true));
  }

  // The module with vectors where the browser has them (core=plain in the
  // query asks for the other): the same results, in fewer steps.
  function loadModule(query) {
    const simd = hasSimd() && query.get('core') !== 'plain';
    const script = document.createElement('script');
    script.src = simd ? 'circthresh-simd.js' : 'circthresh.js';
    return new Promise((resolve, reject) => {
      script.onload = () => resolve((simd ? createCircthreshSimd : createCircthresh)());
      script.onerror = () => reject(new Error(`the page's ${script.src} did not load`));
      document.head.append(script);
    }).then((module) => {
      window.circthreshCore = simd ? 'simd' : 'plain';
      return module;
    });
  }

  async function start() {
    const query = new URLSearchParams(location.search);
    core = circthreshCalls(await loadModule(query));
    if (query.has('saturation')) element('saturation').value = query.get('saturation');
    if (query.has('classes')) element('classes').value = query.get('classes');
    element('saturation').addEventListener('input', threshold);
    element('classes').addEventListener('change', threshold);
    element('swap').addEventListener('change', () => {
      if (!run) return;
      drawMask();
      drawHistogram();
    });
    element('download-mask').addEventListener('click', downloadMask);
    element('download-levels').addEventListener('click', downloadLevels);
    element('download-labels').addEventListener('click', downloadLabels);
    element('file').addEventListener('change', (event) => openChosen(event.target.files[0]));
    const drop = element('drop');
    document.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
    document.addEventListener('dragleave', () => drop.classList.remove('over'));
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      drop.classList.remove('over');
      openChosen(event.dataTransfer.files[0]);
    });
    const source = query.get('src');
    const url = source || document.body.dataset.defaultPhoto;
    const name = source || 'flag.png';
    const response = await fetch(url);
    if (!response.ok) throw new Error(`${name}: ${response.status} ${response.statusText}`);
    await open(await response.blob(), name);
  }

  start().catch((error) => showStatus(error.message, true));
})();
