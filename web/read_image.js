// Reads an image's pixels for circthresh's page (page.js) into the module's
// memory: a PGM as the command reads it (the module's reader), a photo exactly
// as the file stores it, within what the browser can hold:
// window.circthreshImage.
//
// The browser's 2D canvas premultiplies alpha, so a partly transparent pixel
// read back through it has other colours than the file's (a hue off by up to
// 107 levels). An 8-bit PNG that is not interlaced, the common kind, is
// therefore decoded here (its data inflated by the browser's
// DecompressionStream); any other picture goes through the canvas, and one with
// partly transparent pixels is refused there rather than read wrong.
'use strict';

window.circthreshImage = (() => {
  // The most pixels the page reads from a photo: Chromium's 2D canvas holds
  // 2^28 and reads zeros beyond, and the module's 2 GB hold a photo's 4 bytes
  // a pixel and 2 more for its hue and counted pixels up to about there.
  const MAX_PHOTO_PIXELS = 2 ** 28;
  // What one canvas may hold in Chromium: 2^28 pixels, 32767 a side.
  const CANVAS_PIXELS = 2 ** 28;
  const CANVAS_SIDE = 32767;

  function refuseIfTooLarge(width, height) {
    if (width * height > MAX_PHOTO_PIXELS)
      throw new Error(`${width} x ${height} is ${(width * height).toLocaleString('en')} pixels, ` +
                      `more than the ${MAX_PHOTO_PIXELS.toLocaleString('en')} this page reads from a ` +
                      'photo; a PGM of its levels can be larger');
  }

  // The step of a preview that a canvas can hold: every step-th pixel of
  // every step-th row; 1 when the image fits as it is.
  function previewStep(width, height) {
    let step = 1;
    while (Math.ceil(width / step) > CANVAS_SIDE || Math.ceil(height / step) > CANVAS_SIDE ||
           Math.ceil(width / step) * Math.ceil(height / step) > CANVAS_PIXELS) step += 1;
    return step;
  }

  const isPng = (bytes) => [137, 80, 78, 71, 13, 10, 26, 10].every((b, i) => bytes[i] === b);

  // The image data inflated a piece at a time, refused once it passes most
  // bytes (what the image's rows need) rather than held whole: a small file can
  // inflate to gigabytes.
  async function inflate(chunks, most) {
    const reader = new Blob(chunks).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
    const pieces = [];
    let total = 0;
    for (;;) {
      let piece;
      try {
        piece = await reader.read();
      } catch (error) {
        throw new Error(`not a whole PNG: its image data is not valid zlib data (${error.message})`);
      }
      if (piece.done) break;
      total += piece.value.length;
      if (total > most) {
        reader.cancel();
        throw new Error(`not a valid PNG: its image data inflates to more than the ${most.toLocaleString('en')} ` +
                        'bytes its rows hold');
      }
      pieces.push(piece.value);
    }
    const raw = new Uint8Array(total);
    for (let at = 0, k = 0; k < pieces.length; at += pieces[k].length, k += 1) raw.set(pieces[k], at);
    return raw;
  }

  const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; k += 1) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  function crc32(bytes) {
    let c = 0xffffffff;
    for (let i = 0; i < bytes.length; i += 1) c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  }

  // The bit depths each colour type may have.
  const DEPTHS = { 0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16] };

  // A PNG's chunks checked as libpng checks the critical ones: IHDR first and
  // once, valid sizes, depth, colour type and methods; PLTE once, before the
  // image data, and present for a palette image; at least one IDAT; IEND;
  // every critical chunk's CRC; no unknown critical chunk. An ancillary chunk
  // with a bad CRC is left out, as libpng does. Throws the first fault found.
  function pngChunks(bytes) {
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const bad = (why) => new Error(`not a valid PNG: ${why}`);
    let header = null, palette = null, transparent = null, ended = false;
    const data = [];
    for (let at = 8; !ended;) {
      if (at + 12 > bytes.length) throw bad('it ends before its IEND chunk');
      const length = view.getUint32(at);
      const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
      if (length > 0x7fffffff || at + 12 + length > bytes.length) throw new Error('not a whole PNG: a chunk is cut short');
      const body = bytes.subarray(at + 8, at + 8 + length);
      const critical = type.charCodeAt(0) < 0x61;
      const sound = crc32(bytes.subarray(at + 4, at + 8 + length)) === view.getUint32(at + 8 + length);
      if (critical && !sound) throw bad(`the CRC of its ${type} chunk does not match`);
      if (!header && type !== 'IHDR') throw bad(`its first chunk is ${type}, not IHDR`);
      if (type === 'IHDR') {
        if (header) throw bad('it has more than one IHDR chunk');
        if (length !== 13) throw bad('its IHDR chunk is not 13 bytes');
        header = { width: view.getUint32(at + 8), height: view.getUint32(at + 12), depth: body[8],
                   colour: body[9], interlaced: body[12] === 1 };
        if (header.width < 1 || header.width > 0x7fffffff || header.height < 1 || header.height > 0x7fffffff)
          throw bad(`${header.width} x ${header.height} is not a size it may have (1 to 2^31 - 1 a side)`);
        if (!DEPTHS[header.colour]) throw bad(`colour type ${header.colour} is not one of 0, 2, 3, 4, 6`);
        if (!DEPTHS[header.colour].includes(header.depth))
          throw bad(`bit depth ${header.depth} is not one colour type ${header.colour} may have`);
        if (body[10] !== 0 || body[11] !== 0 || body[12] > 1)
          throw bad('its compression, filter or interlace method is not one PNG defines');
      } else if (type === 'PLTE') {
        if (palette) throw bad('it has more than one PLTE chunk');
        if (data.length) throw bad('its PLTE chunk comes after its image data');
        if (length % 3 !== 0 || length === 0 || length > 768) throw bad('its PLTE chunk is not 1 to 256 colours');
        palette = body;
      } else if (type === 'IDAT') {
        if (header.colour === 3 && !palette) throw bad('a palette image without a PLTE chunk before its image data');
        data.push(body);
      } else if (type === 'IEND') {
        if (!data.length) throw bad('it has no IDAT chunk');
        ended = true;
      } else if (critical) {
        throw bad(`it has a critical chunk ${type} this page does not know`);
      } else if (type === 'tRNS' && sound && !data.length) transparent = body;
      at += 12 + length;
    }
    return { header, palette: palette || new Uint8Array(0), transparent, data };
  }

  // Undoes a row's PNG filter in place; before is the row above, zeros for the first.
  function unfilter(kind, row, before, step) {
    for (let i = 0; i < row.length; i += 1) {
      const left = i >= step ? row[i - step] : 0;
      const up = before[i];
      const upLeft = i >= step ? before[i - step] : 0;
      let guess = 0;
      if (kind === 1) guess = left;
      else if (kind === 2) guess = up;
      else if (kind === 3) guess = (left + up) >> 1;
      else if (kind === 4) {
        const p = left + up - upLeft;
        const [a, b, c] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - upLeft)];
        guess = a <= b && a <= c ? left : b <= c ? up : upLeft;
      } else if (kind !== 0) throw new Error(`not a PNG this page can read: row filter ${kind}`);
      row[i] = (row[i] + guess) & 0xff;
    }
  }

  // An 8-bit PNG, or a grey or palette one of 1, 2 or 4 bits, not interlaced:
  // its RGBA as stored, alpha from its tRNS chunk where it has one. null for
  // any other sound PNG, which the browser's decoder reads.
  async function readPng(bytes) {
    const { header, palette, transparent, data } = pngChunks(bytes);
    const { width, height, depth, colour } = header;
    refuseIfTooLarge(width, height);
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[colour];
    if (!channels || header.interlaced || !(depth === 8 || (channels === 1 && depth < 8))) return null;
    const bits = channels * depth;
    const rowBytes = Math.ceil((width * bits) / 8);
    const raw = await inflate(data, height * (rowBytes + 1));
    if (raw.length < height * (rowBytes + 1)) throw new Error('not a whole PNG: its image data is cut short');
    const rgba = new Uint8Array(width * height * 4);
    const most = (1 << depth) - 1;
    // tRNS: one 16-bit grey or RGB value that is transparent, or the palette's alphas.
    const clear = transparent && colour !== 3 ? Array.from({ length: transparent.length >> 1 },
      (_, k) => (transparent[2 * k] << 8) | transparent[2 * k + 1]) : null;
    let before = new Uint8Array(rowBytes);
    for (let y = 0; y < height; y += 1) {
      const row = raw.subarray(y * (rowBytes + 1) + 1, (y + 1) * (rowBytes + 1));
      unfilter(raw[y * (rowBytes + 1)], row, before, Math.max(1, bits >> 3));
      before = row;
      for (let x = 0, o = 4 * y * width; x < width; x += 1, o += 4) {
        if (channels === 1) {
          const v = depth === 8 ? row[x] : (row[(x * depth) >> 3] >> (8 - depth - ((x * depth) & 7))) & most;
          if (colour === 3) {
            if (3 * v + 2 >= palette.length) throw new Error('not a whole PNG: a colour is not in its palette');
            rgba.set(palette.subarray(3 * v, 3 * v + 3), o);
            rgba[o + 3] = transparent && v < transparent.length ? transparent[v] : 255;
          } else {
            rgba[o] = rgba[o + 1] = rgba[o + 2] = (v * 255) / most;
            rgba[o + 3] = clear && clear[0] === v ? 0 : 255;
          }
        } else if (channels === 2) {
          rgba[o] = rgba[o + 1] = rgba[o + 2] = row[2 * x];
          rgba[o + 3] = row[2 * x + 1];
        } else {
          rgba.set(row.subarray(channels * x, channels * x + 3), o);
          rgba[o + 3] = channels === 4 ? row[4 * x + 3]
            : clear && clear[0] === row[3 * x] && clear[1] === row[3 * x + 1] && clear[2] === row[3 * x + 2] ? 0 : 255;
        }
      }
    }
    return { width, height, rgba };
  }

  // Any picture through the browser's decoder and a canvas, colours as stored
  // (no colour management) where alpha is 255 or 0; refused with partly
  // transparent pixels, which the canvas changes.
  async function readThroughCanvas(blob) {
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    refuseIfTooLarge(bitmap.width, bitmap.height);
    const canvas = document.createElement('canvas');
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const rgba = context.getImageData(0, 0, bitmap.width, bitmap.height).data;
    for (let i = 3; i < rgba.length; i += 4) {
      if (rgba[i] !== 0 && rgba[i] !== 255)
        throw new Error('it has partly transparent pixels, whose colours the browser does not give ' +
                        'exactly from this kind of file; saved as an 8-bit PNG, not interlaced, it can be read');
    }
    return { width: bitmap.width, height: bitmap.height, rgba };
  }

  // A PGM as the command reads one, its size limit aside: the first word
  // (after any white space, as the command scans it) is P and a digit.
  function isPgm(bytes) {
    let at = 0;
    while (at < bytes.length && (bytes[at] === 0x20 || (bytes[at] >= 0x09 && bytes[at] <= 0x0d))) at += 1;
    return bytes[at] === 0x50 && bytes[at + 1] >= 0x30 && bytes[at + 1] <= 0x39;
  }

  // A file's pixels in the module's memory (core: core_calls.js): {width,
  // height, levelsAt, rgbaAt, visible, blocks}. levelsAt holds its grey levels
  // (a PGM, or a picture whose every shown pixel is grey) and rgbaAt is then 0;
  // else rgbaAt holds its RGBA and levelsAt is 0. visible is 1 where alpha is
  // not 0, 0 where it is, or null when no pixel is transparent. blocks: the
  // module's memory to free with the image.
  async function read(blob, core) {
    const bytes = new Uint8Array(await blob.arrayBuffer());
    if (isPgm(bytes)) {
      const { width, height, fileAt, levelsAt } = core.readPgm(bytes);
      return { width, height, levelsAt, rgbaAt: 0, visible: null, blocks: [fileAt] };
    }
    const picture = (isPng(bytes) && await readPng(bytes)) || await readThroughCanvas(blob);
    const { width, height, rgba } = picture;
    const pixels = width * height;
    let visible = null;
    let grey = new Uint8Array(pixels);
    for (let i = 0; i < pixels; i += 1) {
      const r = rgba[4 * i];
      if (rgba[4 * i + 3] === 0) (visible = visible || new Uint8Array(pixels).fill(1))[i] = 0;
      else if (grey && (r !== rgba[4 * i + 1] || r !== rgba[4 * i + 2])) grey = null;
      if (grey) grey[i] = r;
    }
    const at = core.place(grey || rgba);
    return { width, height, levelsAt: grey ? at : 0, rgbaAt: grey ? 0 : at, visible, blocks: [at] };
  }

  // Leaves fully transparent pixels out of counted (0/1 a pixel), in place.
  function onlyVisible(counted, visible) {
    for (let i = 0; i < visible.length; i += 1) counted[i] &= visible[i];
  }

  return { read, onlyVisible, previewStep };
})();
