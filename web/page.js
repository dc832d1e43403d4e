// circthresh's page: reads a photo (or a grey image), computes each pixel's
// hue level and the command's threshold in the WebAssembly module
// (circthresh.js), and shows the report, the pictures and the histogram around
// the circle. Nothing is sent anywhere.
//
// index.html?src=URL&saturation=P loads that image with that floor. When a run
// is done, window.circthresh_result = {report, width, height, hue, mask,
// counted}: the report lines, and row by row the levels thresholded, the mask
// by the command's rule (0 black, 255 white, whatever the swap shows) and 0/1
// for the pixels the histogram counted.
'use strict';

(() => {
  const element = (id) => document.getElementById(id);
  let core = null;   // the WebAssembly module
  let image = null;  // {name, width, height, rgba, grey}: rgba for a photo, grey levels otherwise
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
    return { width, height, rgba: null, grey: raster.slice() };
  }

  // A photo through the browser's decoder, colours as stored (no colour
  // management). Returns its grey levels instead when every pixel is grey.
  async function readPicture(blob) {
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const canvas = document.createElement('canvas');
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const rgba = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    const pixels = bitmap.width * bitmap.height;
    let grey = new Uint8Array(pixels);
    for (let i = 0; i < pixels && grey; i += 1) {
      const r = rgba[4 * i];
      if (r !== rgba[4 * i + 1] || r !== rgba[4 * i + 2]) grey = null;
      else grey[i] = r;
    }
    return { width: bitmap.width, height: bitmap.height, rgba: grey ? null : rgba, grey };
  }

  // Drops the last run's report, result and downloads: a failed run must not
  // leave the previous image's mask on offer.
  function forgetRun() {
    run = null;
    window.circthresh_result = undefined;
    element('report').textContent = '';
    element('download-mask').disabled = element('download-levels').disabled = true;
  }

  async function open(blob, name) {
    const started = performance.now();
    forgetRun();
    showStatus(`Reading ${name}\u2026`);
    const head = new Uint8Array(await blob.slice(0, 2).arrayBuffer());
    const read = head[0] === 0x50 && head[1] === 0x35
      ? readPgm(new Uint8Array(await blob.arrayBuffer())) : await readPicture(blob);
    image = { name, ...read };
    performance.measure('circthresh read', { start: started, end: performance.now() });
    threshold();
  }

  // The saturation floor: a whole percent 0..100, or null.
  function floorPercent() {
    const text = element('saturation').value.trim();
    return /^\d{1,3}$/.test(text) && Number(text) <= 100 ? Number(text) : null;
  }

  // Copies bytes into the module's memory, or reserves size bytes there.
  function place(bytesOrSize) {
    const size = typeof bytesOrSize === 'number' ? bytesOrSize : bytesOrSize.length;
    const address = core._malloc(Math.max(size, 1));
    if (address === 0) throw new Error('out of memory for this image');
    if (typeof bytesOrSize !== 'number') core.HEAPU8.set(bytesOrSize, address);
    return address;
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
    const addresses = [];
    try {
      let levels = image.grey;
      let counted = null;
      const levelsAt = image.rgba ? place(pixels) : place(levels);
      addresses.push(levelsAt);
      let countedAt = 0;  // none: every pixel counts
      if (image.rgba) {
        const rgbaAt = place(image.rgba);
        addresses.push(rgbaAt);
        countedAt = place(pixels);
        addresses.push(countedAt);
        if (core._circthresh_hue(rgbaAt, image.height, image.width, 4 * image.width, 4, percent,
                                 levelsAt, image.width, countedAt, image.width) !== 0)
          throw new Error('the module refused the photo or the saturation floor');
        levels = core.HEAPU8.slice(levelsAt, levelsAt + pixels);
        counted = core.HEAPU8.slice(countedAt, countedAt + pixels);
      }
      const maskAt = place(pixels);
      const reportAt = place(64);
      addresses.push(maskAt, reportAt);
      const t = core._web_threshold(levelsAt, image.height, image.width, countedAt, maskAt, reportAt, 64);
      if (t < -1) throw new Error('the module could not threshold this image');
      run = {
        levels,
        counted: counted || new Uint8Array(pixels).fill(1),
        mask: core.HEAPU8.slice(maskAt, maskAt + pixels),
        threshold: t,
        report: core.UTF8ToString(reportAt),
      };
    } catch (error) {
      showStatus(`${image.name}: ${error.message}`, true);
      return;
    } finally {
      addresses.forEach((address) => core._free(address));
    }
    performance.measure('circthresh run', { start: started, end: performance.now() });
    show();
    window.circthresh_result = {
      report: run.report, width: image.width, height: image.height,
      hue: run.levels, mask: run.mask, counted: run.counted,
    };
  }

  function show() {
    const counted = run.counted.reduce((sum, c) => sum + c, 0);
    const what = image.rgba
      ? `its hue; ${counted} of ${run.counted.length} pixels counted (saturation at least ${floorPercent()}%)`
      : 'a grey image, thresholded on its grey levels; every pixel counted';
    showStatus(`${image.name}, ${image.width} x ${image.height}: ${what}.`);
    element('report').textContent = run.report;
    element('levels-caption').textContent = image.rgba
      ? 'its hue on the 256-level circle, as grey levels' : 'its grey levels';
    element('download-levels').textContent = image.rgba ? 'Download hue (PGM)' : 'Download grey levels (PGM)';
    element('download-mask').disabled = element('download-levels').disabled = false;
    draw('photo', image.rgba || image.grey, !image.rgba);
    draw('levels', run.levels, true);
    draw('mask', shownMask(), true);
    drawHistogram();
  }

  // The mask as shown: the command's, or black and white swapped.
  function shownMask() {
    return element('swap').checked ? run.mask.map((v) => 255 - v) : run.mask;
  }

  function draw(id, bytes, isGrey) {
    const canvas = element(id);
    canvas.width = Math.max(image.width, 1);
    canvas.height = Math.max(image.height, 1);
    if (image.width === 0 || image.height === 0) return;
    const pixels = new ImageData(image.width, image.height);
    // One 32-bit write per pixel, opaque; byte order as every browser's: RGBA
    // in memory is ABGR in a little-endian word.
    const words = new Uint32Array(pixels.data.buffer);
    if (isGrey) {
      for (let i = 0; i < bytes.length; i += 1) words[i] = 0xff000000 | (bytes[i] * 0x010101);
    } else {
      pixels.data.set(bytes);
      for (let i = 0; i < words.length; i += 1) words[i] |= 0xff000000;
    }
    canvas.getContext('2d').putImageData(pixels, 0, 0);
  }

  // The counted pixels' levels as bars around the circle, level 0 at the top
  // and clockwise; the half-circle that is black in the mask shown is shaded.
  function drawHistogram() {
    const canvas = element('histogram');
    const context = canvas.getContext('2d');
    const centre = canvas.width / 2;
    const inner = 95;
    const longest = 95;
    const angle = (level) => (level / 256) * 2 * Math.PI - Math.PI / 2;
    const counts = new Array(256).fill(0);
    run.levels.forEach((level, i) => { counts[level] += run.counted[i]; });
    const most = Math.max(1, ...counts);
    context.clearRect(0, 0, canvas.width, canvas.height);
    if (run.threshold >= 0) {
      const first = element('swap').checked ? run.threshold + 128 : run.threshold;
      context.fillStyle = '#d8d8d8';
      context.beginPath();
      context.moveTo(centre, centre);
      context.arc(centre, centre, inner + longest + 5, angle(first - 0.5), angle(first + 127.5));
      context.closePath();
      context.fill();
    }
    context.fillStyle = 'white';
    context.strokeStyle = '#888';
    context.beginPath();
    context.arc(centre, centre, inner - 4, 0, 2 * Math.PI);
    context.fill();
    context.stroke();
    context.lineWidth = 2.6;
    for (let level = 0; level < 256; level += 1) {
      if (counts[level] === 0) continue;
      const length = Math.max(1, (counts[level] / most) * longest);
      const a = angle(level);
      context.strokeStyle = image.rgba ? `hsl(${(level * 360) / 256}, 85%, 50%)` : `rgb(${level}, ${level}, ${level})`;
      context.beginPath();
      context.moveTo(centre + inner * Math.cos(a), centre + inner * Math.sin(a));
      context.lineTo(centre + (inner + length) * Math.cos(a), centre + (inner + length) * Math.sin(a));
      context.stroke();
    }
    context.fillStyle = '#222';
    context.font = '13px sans-serif';
    context.textAlign = 'center';
    context.textBaseline = 'middle';
    [0, 64, 128, 192].forEach((level) => {
      const a = angle(level);
      context.fillText(String(level), centre + (inner - 16) * Math.cos(a), centre + (inner - 16) * Math.sin(a));
    });
    context.fillText(run.threshold >= 0 ? `cut at ${run.threshold} | ${run.threshold + 128}` : 'no cut', centre, centre);
  }

  function download(blob, name) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
  }

  function downloadMask() {
    element('mask').toBlob((blob) => download(blob, 'mask.png'), 'image/png');
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
    core = await createCircthresh();
    const query = new URLSearchParams(location.search);
    if (query.has('saturation')) element('saturation').value = query.get('saturation');
    element('saturation').addEventListener('input', threshold);
    element('swap').addEventListener('change', () => {
      if (!run) return;
      draw('mask', shownMask(), true);
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
