// circthresh's page: its run state and events. It reads a photo or a grey
// image (read_image.js), computes each pixel's hue level and the command's
// threshold in the WebAssembly module (core_calls.js), and shows the report and
// the pictures (draw.js). Nothing is sent anywhere.
//
// index.html?src=URL&saturation=P&classes=K loads that image with that floor
// and number of classes. When a run is done, window.circthreshResult =
// {report, width, height, hue, mask, counted, classes, cuts, labels}: the
// report lines, and row by row the levels thresholded, the mask by the
// command's rule (0 black, 255 white, whatever the swap shows) and 0/1 for the
// pixels the histogram counted; the number of classes, their cuts (null when
// there are none) and each pixel's class (classes.js).
'use strict';

(() => {
  const element = (id) => document.getElementById(id);
  let core = null;   // the WebAssembly module's calls (core_calls.js)
  let image = null;  // {name, width, height, rgba, grey, visible}: see read_image.js
  let run = null;    // the last run: {levels, counted, mask, threshold, report}

  function showStatus(text, isError) {
    element('status').textContent = text;
    element('status').className = isError ? 'error' : '';
  }

  // C's white space, as the command's reader takes it.
  const isSpace = (byte) => byte === 0x20 || (byte >= 0x09 && byte <= 0x0d);

  // A binary PGM with maximum 255, the command's input: "P5", width, height,
  // 255, separated by white space and # comments, one white-space byte, the
  // raster and nothing after it.
  function readPgm(bytes) {
    if (!isSpace(bytes[2])) throw new Error('not a binary PGM image: its first word is not P5');
    let at = 2;
    const fields = [];
    while (fields.length < 3) {
      while (at < bytes.length && (isSpace(bytes[at]) || bytes[at] === 0x23)) {
        if (bytes[at] === 0x23) while (at < bytes.length && bytes[at] !== 0x0a) at += 1;
        at += 1;
      }
      let digits = '';
      while (at < bytes.length && bytes[at] >= 0x30 && bytes[at] <= 0x39) digits += String.fromCharCode(bytes[at++]);
      if (digits === '' || digits.length > 9) throw new Error('not a binary PGM image: a header field is not a number');
      fields.push(Number(digits));
    }
    const [width, height, maximum] = fields;
    if (maximum !== 255) throw new Error(`the PGM's maximum grey value is ${maximum}, not 255`);
    if (!isSpace(bytes[at])) throw new Error('not a binary PGM image: no white space before the raster');
    const raster = bytes.subarray(at + 1);
    if (raster.length !== width * height)
      throw new Error(`the PGM's raster holds ${raster.length} bytes, not ${width} x ${height}`);
    return { width, height, rgba: null, grey: raster.slice(), visible: null };
  }

  // Drops the last run's report, result and downloads: a failed run must not
  // leave the previous image's mask on offer.
  function forgetRun() {
    run = null;
    window.circthreshResult = undefined;
    element('report').textContent = '';
    element('download-mask').disabled = element('download-levels').disabled = true;
    element('download-labels').disabled = true;
  }

  async function open(blob, name) {
    const started = performance.now();
    forgetRun();
    showStatus(`Reading ${name}\u2026`);
    const head = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
    const read = head[0] === 0x50 && head[1] === 0x35
      ? readPgm(new Uint8Array(await blob.arrayBuffer())) : await circthreshImage.read(blob);
    image = { name, ...read };
    performance.measure('circthresh read', { start: started, end: performance.now() });
    threshold();
  }

  // The saturation floor: a whole percent 0..100, or null.
  function floorPercent() {
    const text = element('saturation').value.trim();
    return /^\d{1,3}$/.test(text) && Number(text) <= 100 ? Number(text) : null;
  }

  function threshold() {
    if (!image) return;
    forgetRun();
    const percent = floorPercent();
    if (image.rgba && percent === null) {
      showStatus('The saturation floor is a whole percent from 0 to 100.', true);
      return;
    }
    const started = performance.now();
    const pixels = image.width * image.height;
    try {
      let levels = image.grey;
      let counted = null;  // none: every pixel counts
      if (image.rgba) {
        const hue = core.hue(image.rgba, percent);
        if (!hue) throw new Error('the module refused the saturation floor');
        ({ hue: levels, counted } = hue);
      }
      counted = circthreshImage.onlyVisible(counted, image.visible);
      const result = core.threshold(levels, image.width, image.height, counted);
      if (result.threshold < -1) throw new Error('the module could not threshold this image');
      const made = {
        levels,
        counted: counted || new Uint8Array(pixels).fill(1),
        mask: result.mask,
        threshold: result.threshold,
        report: result.report,
      };
      circthreshClasses.extend(core, made, image.width, image.height);
      run = made;
    } catch (error) {
      showStatus(`${image.name}: ${error.message}`, true);
      return;
    }
    performance.measure('circthresh run', { start: started, end: performance.now() });
    show();
    window.circthreshResult = {
      report: run.report, width: image.width, height: image.height,
      hue: run.levels, mask: run.mask, counted: run.counted,
      classes: run.classes, cuts: run.cuts, labels: run.labels,
    };
  }

  function show() {
    const counted = run.counted.reduce((sum, c) => sum + c, 0);
    const transparent = image.visible ? ', not transparent' : '';
    const what = image.rgba
      ? `its hue; ${counted} of ${run.counted.length} pixels counted (saturation at least ${floorPercent()}%${transparent})`
      : image.visible ? `a grey image, thresholded on its grey levels; ${counted} of ${run.counted.length} pixels counted (not transparent)`
        : 'a grey image, thresholded on its grey levels; every pixel counted';
    showStatus(`${image.name}, ${image.width} x ${image.height}: ${what}.`);
    element('report').textContent = run.report;
    element('levels-caption').textContent = image.rgba
      ? 'its hue on the 256-level circle, as grey levels' : 'its grey levels';
    element('download-levels').textContent = image.rgba ? 'Download hue (PGM)' : 'Download grey levels (PGM)';
    element('download-mask').disabled = element('download-levels').disabled = false;
    element('download-labels').disabled = false;
    element('download-mask').textContent = maskAsPgm() ? 'Download mask (PGM)' : 'Download mask (PNG)';
    circthreshDraw.image(element('photo'), image.rgba || image.grey, !image.rgba, image.width, image.height);
    circthreshDraw.image(element('levels'), run.levels, true, image.width, image.height);
    drawMask();
    drawHistogram();
  }

  // The mask, or with 3 or more classes the labels in colour.
  function drawMask() {
    const many = run.classes > 2;
    element('mask-caption').textContent = many
      ? 'the classes, each in its mean colour' : 'the mask: the chosen half-circle black';
    element('histogram-caption').textContent = `the counted pixels' levels around the circle, level 0 at the top; ${
      many ? 'the shaded arcs are the classes' : 'the shaded half-circle becomes black'}`;
    if (many) circthreshDraw.labels(element('mask'), run, image.width, image.height, !!image.rgba);
    else circthreshDraw.image(element('mask'), shownMask(), true, image.width, image.height);
  }

  // A mask too large for a canvas downloads as a PGM of its bytes.
  const maskAsPgm = () => circthreshImage.previewStep(image.width, image.height) > 1;

  const shownMask = () => circthreshDraw.shownMask(run.mask, element('swap').checked);

  function drawHistogram() {
    circthreshDraw.histogram(element('histogram'), run, !!image.rgba, element('swap').checked);
  }

  function download(blob, name) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  function downloadMask() {
    if (maskAsPgm()) {
      const header = `P5\n${image.width} ${image.height}\n255\n`;
      download(new Blob([header, shownMask()], { type: 'image/x-portable-graymap' }), 'mask.pgm');
    } else element('mask').toBlob((blob) => download(blob, 'mask.png'), 'image/png');
  }

  function downloadLevels() {
    const header = `P5\n${image.width} ${image.height}\n255\n`;
    download(new Blob([header, run.levels], { type: 'image/x-portable-graymap' }),
             image.rgba ? 'hue.pgm' : 'levels.pgm');
  }

  function openChosen(file) {
    if (file) open(file, file.name).catch((error) => showStatus(`${file.name}: ${error.message}`, true));
  }

  async function start() {
    core = circthreshCalls(await createCircthresh());
    const query = new URLSearchParams(location.search);
    if (query.has('saturation')) element('saturation').value = query.get('saturation');
    element('saturation').addEventListener('input', threshold);
    element('classes').addEventListener('change', threshold);
    element('swap').addEventListener('change', () => {
      if (!run) return;
      drawMask();
      drawHistogram();
    });
    element('download-mask').addEventListener('click', downloadMask);
    element('download-levels').addEventListener('click', downloadLevels);
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
