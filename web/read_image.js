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

  // The image data inflated a piece at a time and handed on in rows of
  // rowBytes + 1 bytes (filter byte first) to takeRow(line, before, y), before
  // the row above as takeRow left it (zeros for the first), two buffers taking
  // turns: the whole inflated data is never held. Refused once it
  // passes the height rows the image has (a small file can inflate to
  // gigabytes) or when it ends short of them.
  async function inflateRows(chunks, rowBytes, height, takeRow) {
    const most = height * (rowBytes + 1);
    const reader = new Blob(chunks).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
    let line = new Uint8Array(rowBytes + 1);
    let before = new Uint8Array(rowBytes + 1);
    let total = 0, filled = 0, y = 0;
    for (;;) {
      let piece;
      try {
        piece = await reader.read();
      } catch (error) {
        throw new Error(`not a whole PNG: its image data is not valid zlib data (${error.message})`);
      }
      if (piece.done) break;
      const bytes = piece.value;
      total += bytes.length;
      if (total > most) {
        reader.cancel();
        throw new Error(`not a valid PNG: its image data inflates to more than the ${most.toLocaleString('en')} ` +
                        'bytes its rows hold');
      }
      for (let at = 0; at < bytes.length;) {
        const take = Math.min(bytes.length - at, line.length - filled);
        line.set(bytes.subarray(at, at + take), filled);
        [at, filled] = [at + take, filled + take];
        if (filled === line.length) {
          takeRow(line, before, y);
          [line, before, y, filled] = [before, line, y + 1, 0];
        }
      }
    }
    if (y < height) throw new Error('not a whole PNG: its image data is cut short');
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

  // Undoes the PNG filter of line (its filter byte first, then the row) in
  // place; before is the row above, as line holds it, zeros for the first;
  // step the bytes of a pixel (1 under 8 bits). One loop a filter, as the
  // filter is the same along a row.
  function unfilter(line, before, step) {
    const n = line.length;
    const kind = line[0];
    if (kind === 1) {
      for (let i = 1 + step; i < n; i += 1) line[i] += line[i - step];
    } else if (kind === 2) {
      for (let i = 1; i < n; i += 1) line[i] += before[i];
    } else if (kind === 3) {
      for (let i = 1; i <= step; i += 1) line[i] += before[i] >> 1;
      for (let i = 1 + step; i < n; i += 1) line[i] += (line[i - step] + before[i]) >> 1;
    } else if (kind === 4) {
      // With no pixel to the left, Paeth's guess is the byte above.
      for (let i = 1; i <= step; i += 1) line[i] += before[i];
      for (let i = 1 + step; i < n; i += 1) {
        const left = line[i - step], up = before[i], upLeft = before[i - step];
        // |p - left|, |p - up| and |p - upLeft| for p = left + up - upLeft.
        const toLeft = up > upLeft ? up - upLeft : upLeft - up;
        const toUp = left > upLeft ? left - upLeft : upLeft - left;
        const toUpLeft = Math.abs(left + up - 2 * upLeft);
        line[i] += toLeft <= toUp && toLeft <= toUpLeft ? left : toUp <= toUpLeft ? up : upLeft;
      }
    } else if (kind !== 0) throw new Error(`not a PNG this page can read: row filter ${kind}`);
  }

  // A function that writes an unfiltered line (filter byte first) as the
  // 32-bit RGBA words of row y into words (ABGR in a little-endian word):
  // colours as stored, alpha from the image's own or its tRNS chunk.
  function rowWriter(header, palette, transparent, width) {
    const { depth, colour } = header;
    // tRNS: one 16-bit grey or RGB value that is transparent, or the palette's alphas.
    const clear = transparent && colour !== 3 ? Array.from({ length: transparent.length >> 1 },
      (_, k) => (transparent[2 * k] << 8) | transparent[2 * k + 1]) : null;
    if (colour === 0 || colour === 3) {
      // One value a pixel, in depth bits: its word looked up; a palette index
      // past the palette has none.
      const most = (1 << depth) - 1;
      const table = Array.from({ length: most + 1 }, (_, v) => {
        if (colour === 3) {
          if (3 * v + 2 >= palette.length) return -1;
          const alpha = transparent && v < transparent.length ? transparent[v] : 255;
          return (palette[3 * v] | (palette[3 * v + 1] << 8) | (palette[3 * v + 2] << 16) | (alpha << 24)) >>> 0;
        }
        const grey = (v * 255) / most;
        return ((grey * 0x010101) | ((clear && clear[0] === v ? 0 : 255) << 24)) >>> 0;
      });
      const words = Uint32Array.from(table, (word) => (word < 0 ? 0 : word));
      const valid = table.every((word) => word >= 0);
      const perByte = 8 / depth;
      return (line, out, o) => {
        for (let x = 0; x < width; x += 1) {
          const v = depth === 8 ? line[1 + x]
            : (line[1 + Math.floor(x / perByte)] >> (8 - depth - (x % perByte) * depth)) & most;
          if (!valid && table[v] < 0) throw new Error('not a whole PNG: a colour is not in its palette');
          out[o + x] = words[v];
        }
      };
    }
    if (colour === 4) {
      return (line, out, o) => {
        for (let x = 0, i = 1; x < width; x += 1, i += 2) out[o + x] = ((line[i] * 0x010101) | (line[i + 1] << 24)) >>> 0;
      };
    }
    if (colour === 2) {
      // A 16-bit tRNS value above 255 matches no 8-bit sample.
      const key = clear && clear.length >= 3 && clear.every((v) => v < 256)
        ? clear[0] | (clear[1] << 8) | (clear[2] << 16) : -1;
      return (line, out, o) => {
        for (let x = 0, i = 1; x < width; x += 1, i += 3) {
          const rgb = line[i] | (line[i + 1] << 8) | (line[i + 2] << 16);
          out[o + x] = rgb === key ? rgb : (rgb | 0xff000000) >>> 0;
        }
      };
    }
    // RGBA as stored: the bytes themselves.
    return (line, out, o) => {
      new Uint8Array(out.buffer, out.byteOffset + 4 * o, 4 * width).set(line.subarray(1));
    };
  }

  // A survey of a picture's pixels, taken as RGBA words a run at a time (while
  // they are fresh in the cache): visible, 1 where alpha is not 0 (made at the
  // first transparent pixel, null till then), and grey, whether every other
  // pixel's red, green and blue bytes are equal.
  function pixelSurvey(pixels) {
    const survey = { grey: true, visible: null };
    survey.take = (words, from, count) => {
      for (let i = from; i < from + count; i += 1) {
        const word = words[i];
        if (word >>> 24 === 0) (survey.visible = survey.visible || new Uint8Array(pixels).fill(1))[i] = 0;
        else if (survey.grey && ((word ^ (word >>> 8)) & 0xffff) !== 0) survey.grey = false;
      }
    };
    // The same of count opaque RGB pixels, 3 bytes each from bytes[at] on.
    survey.takeRgb = (bytes, at, count) => {
      for (let end = at + 3 * count; survey.grey && at < end; at += 3)
        survey.grey = bytes[at] === bytes[at + 1] && bytes[at] === bytes[at + 2];
    };
    return survey;
  }

  // An 8-bit PNG, or a grey or palette one of 1, 2 or 4 bits, not interlaced:
  // {width, height, pixelsAt, channels, survey}, its pixels as stored in the
  // module's memory at pixelsAt, written there a row at a time as they are
  // inflated, and their survey. An 8-bit grey or RGB image without a tRNS
  // chunk keeps its rows as they are (channels 1 or 3, no pixel transparent);
  // any other is written as RGBA (channels 4), alpha from its own or its tRNS
  // chunk. null for any other sound PNG, which the browser's decoder reads.
  async function readPng(bytes, core) {
    const { header, palette, transparent, data } = pngChunks(bytes);
    const { width, height, depth, colour } = header;
    refuseIfTooLarge(width, height);
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[colour];
    if (!channels || header.interlaced || !(depth === 8 || (channels === 1 && depth < 8))) return null;
    const bits = channels * depth;
    const rowBytes = Math.ceil((width * bits) / 8);
    const asStored = depth === 8 && (colour === 0 || colour === 2) && !transparent;
    const kept = asStored ? channels : 4;
    const writeRow = asStored ? null : rowWriter(header, palette, transparent, width);
    const pixelsAt = core.allocate(kept * width * height);
    const survey = pixelSurvey(width * height);
    try {
      await inflateRows(data, rowBytes, height, (line, before, y) => {
        unfilter(line, before, Math.max(1, bits >> 3));
        // Views made for each row: the module's memory could have grown since the last.
        if (asStored) {
          const stored = core.view(pixelsAt, kept * width * height);
          stored.set(line.subarray(1), y * rowBytes);
          if (kept === 3) survey.takeRgb(stored, y * rowBytes, width);
        } else {
          const words = core.words(pixelsAt, width * height);
          writeRow(line, words, y * width);
          survey.take(words, y * width, width);
        }
      });
    } catch (error) {
      core.free(pixelsAt);
      throw error;
    }
    return { width, height, pixelsAt, channels: kept, survey };
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
  // height, levelsAt, colourAt, channels, visible, blocks}. levelsAt holds its
  // grey levels (a PGM, or a picture whose every shown pixel is grey) and
  // colourAt is then 0; else colourAt holds its colours, channels (3, RGB, or
  // 4, RGBA) bytes a pixel, and levelsAt is 0. visible is 1 where alpha is not
  // 0, 0 where it is, or null when no pixel is transparent. blocks: the
  // module's memory to free with the image.
  async function read(blob, core) {
    const bytes = new Uint8Array(await blob.arrayBuffer());
    if (isPgm(bytes)) {
      const { width, height, fileAt, levelsAt } = core.readPgm(bytes);
      return { width, height, levelsAt, colourAt: 0, channels: 0, visible: null, blocks: [fileAt] };
    }
    const picture = (isPng(bytes) && await readPng(bytes, core)) || await readThroughCanvas(blob);
    const { width, height } = picture;
    const pixels = width * height;
    const pixelsAt = picture.pixelsAt || core.place(picture.rgba);
    const channels = picture.channels || 4;
    let survey = picture.survey;
    if (!survey) {
      survey = pixelSurvey(pixels);
      survey.take(core.words(pixelsAt, pixels), 0, pixels);
    }
    const { grey, visible } = survey;
    const image = { width, height, levelsAt: pixelsAt, colourAt: 0, channels, visible, blocks: [pixelsAt] };
    if (!grey) return { ...image, levelsAt: 0, colourAt: pixelsAt };
    // A grey picture's levels: each pixel's red byte, moved down in place.
    const stored = core.view(pixelsAt, channels * pixels);
    if (channels > 1) for (let i = 0; i < pixels; i += 1) stored[i] = stored[channels * i];
    return image;
  }

  // Leaves fully transparent pixels out of counted (0/1 a pixel), in place.
  function onlyVisible(counted, visible) {
    for (let i = 0; i < visible.length; i += 1) counted[i] &= visible[i];
  }

  return { read, onlyVisible, previewStep };
})();
