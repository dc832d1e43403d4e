// Reads an image's pixels for circthresh's page (page.js) into the module's
// memory: a PGM as the command reads it (the module's reader), a photo exactly
// as the file stores it, within what the browser can hold:
// window.circthreshImage.
//
// The browser's 2D canvas premultiplies alpha, so a partly transparent pixel
// read back through it has other colours than the file's (a hue off by up to
// 107 levels). An 8-bit PNG that is not interlaced, the common kind, is
// therefore decoded here: its data inflated by the browser's
// DecompressionStream, its chunks' CRCs and its rows' filters
// undone by the module (web/png_web.cpp). Any other picture goes through the
// canvas, and one with partly transparent pixels is refused there rather than
// read wrong.
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

  // The most bytes of inflated rows handed to the module at once.
  const STAGED_BYTES = 1 << 18;

  // The image data inflated a piece at a time, each piece handed to
  // takePiece(bytes) as it comes: the whole inflated data is never held.
  // Refused once it passes most bytes (a small file can inflate to
  // gigabytes).
  async function inflatePieces(chunks, most, takePiece) {
    const reader = new Blob(chunks).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
    for (let total = 0; ;) {
      let piece;
      try {
        piece = await reader.read();
      } catch (error) {
        throw new Error(`not a whole PNG: its image data is not valid zlib data (${error.message})`);
      }
      if (piece.done) return;
      total += piece.value.length;
      if (total > most) {
        reader.cancel();
        throw new Error(`not a valid PNG: its image data inflates to more than the ${most.toLocaleString('en')} ` +
                        'bytes its rows hold');
      }
      try {
        takePiece(piece.value);
      } catch (error) {
        reader.cancel();
        throw error;
      }
    }
  }

  // The bit depths each colour type may have.
  const DEPTHS = { 0: [1, 2, 4, 8, 16], 2: [8, 16], 3: [1, 2, 4, 8], 4: [8, 16], 6: [8, 16] };

  // A PNG's chunks checked as libpng checks the critical ones: IHDR first and
  // once, valid sizes, depth, colour type and methods; PLTE once, before the
  // image data, and present for a palette image; at least one IDAT; IEND;
  // every critical chunk's CRC; no unknown critical chunk. An ancillary chunk
  // with a bad CRC is left out, as libpng does. crcOf(from, to): the CRC-32 of
  // bytes from..to. Throws the first fault found.
  function pngChunks(bytes, crcOf) {
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
      const sound = crcOf(at + 4, at + 8 + length) === view.getUint32(at + 8 + length);
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

  // A grey or palette PNG's colours as the module widens them: 256 RGBA
  // entries, and how many of the first are defined (every grey value; or the
  // palette's colours, a value past them being none), alpha from tRNS.
  function lookupTable(header, palette, transparent) {
    const table = new Uint8Array(4 * 256);
    if (header.colour === 3) {
      const entries = palette.length / 3;
      for (let v = 0; v < entries; v += 1) {
        table.set(palette.subarray(3 * v, 3 * v + 3), 4 * v);
        table[4 * v + 3] = transparent && v < transparent.length ? transparent[v] : 255;
      }
      return { table, entries };
    }
    // tRNS: the one 16-bit grey value that is transparent.
    const clear = transparent && transparent.length >= 2 ? (transparent[0] << 8) | transparent[1] : -1;
    const most = (1 << header.depth) - 1;
    for (let v = 0; v <= most; v += 1) {
      table.fill((v * 255) / most, 4 * v, 4 * v + 3);
      table[4 * v + 3] = v === clear ? 0 : 255;
    }
    return { table, entries: most + 1 };
  }

  // The 24-bit RGB value (red lowest) an RGB PNG's tRNS makes transparent, or
  // -1: a 16-bit value above 255 matches no 8-bit sample.
  function transparentRgb(transparent) {
    if (!transparent || transparent.length < 6) return -1;
    const [red, green, blue] = [0, 2, 4].map((at) => (transparent[at] << 8) | transparent[at + 1]);
    return red < 256 && green < 256 && blue < 256 ? red | (green << 8) | (blue << 16) : -1;
  }

  // An 8-bit PNG, or a grey or palette one of 1, 2 or 4 bits, not interlaced:
  // {width, height, pixelsAt, channels, grey, visible} (see read), its pixels
  // as stored in the module's memory at pixelsAt. Its data is inflated into
  // the module a batch of rows at a time, and the module undoes their filters
  // there. An 8-bit grey or RGB image without a tRNS chunk keeps its rows as
  // they are (channels 1 or 3, no pixel transparent), unfiltered straight into
  // place; any other is widened to RGBA (channels 4), alpha from its own or
  // its tRNS chunk. null for any other sound PNG, which the browser's decoder
  // reads.
  async function readPng(bytes, core) {
    const fileAt = core.place(bytes);
    let chunks, tablesAt = 0;
    try {
      tablesAt = core.allocate(8 * 256 * 4);
      core.crcTables(tablesAt);
      chunks = pngChunks(bytes, (from, to) => core.crc32(tablesAt, fileAt + from, to - from));
    } finally {
      core.free(fileAt, tablesAt);
    }
    const { header, palette, transparent, data } = chunks;
    const { width, height, depth, colour } = header;
    refuseIfTooLarge(width, height);
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[colour];
    if (!channels || header.interlaced || !(depth === 8 || (channels === 1 && depth < 8))) return null;
    const bits = channels * depth;
    const rowBytes = Math.ceil((width * bits) / 8);
    const rowLength = rowBytes + 1;  // the filter byte first
    const asStored = depth === 8 && (colour === 0 || colour === 2) && !transparent;
    const kept = asStored ? channels : 4;
    const pixels = width * height;
    // Whole rows a batch, at least one.
    const batch = Math.max(1, Math.floor(STAGED_BYTES / rowLength)) * rowLength;
    const pixelsAt = core.allocate(kept * pixels);
    const scratch = [];
    const allocate = (size) => scratch[scratch.push(core.allocate(size)) - 1];
    try {
      const [stagedAt, previousAt] = [allocate(batch), allocate(rowBytes)];
      core.view(previousAt, rowBytes).fill(0);  // the row above the first
      const visibleAt = asStored ? 0 : allocate(pixels);
      const { table, entries } = colour === 0 || colour === 3
        ? lookupTable(header, palette, transparent) : { table: new Uint8Array(0), entries: 0 };
      const tableAt = asStored ? 0 : allocate(1024);
      if (tableAt) core.view(tableAt, table.length).set(table);
      const key = transparentRgb(colour === 2 ? transparent : null);
      let y = 0, staged = 0, grey = true, clear = false;
      // The staged whole rows unfiltered, into place or where they are staged
      // and then widened, and surveyed.
      const undo = () => {
        const rows = Math.floor(staged / rowLength);
        if (rows === 0) return;
        const [out, stride] = asStored ? [pixelsAt + y * rowBytes, rowBytes] : [stagedAt + 1, rowLength];
        const filter = core.unfilterPng(stagedAt, rows, rowBytes, Math.max(1, bits >> 3), previousAt, out, stride);
        if (filter !== 0) throw new Error(`not a PNG this page can read: row filter ${filter}`);
        if (!asStored) {
          const rgbaAt = pixelsAt + 4 * y * width;
          if (core.widenPng(out, rows, stride, width, colour, depth, tableAt, entries, key, rgbaAt) !== 0)
            throw new Error('not a whole PNG: a colour is not in its palette');
          const found = core.survey(rgbaAt, rows * width, 4, visibleAt + y * width);
          [grey, clear] = [grey && found.grey, clear || found.transparent];
        } else if (kept === 3 && grey) grey = core.survey(out, rows * width, 3).grey;
        y += rows;
      };
      await inflatePieces(data, height * rowLength, (piece) => {
        for (let at = 0; at < piece.length;) {
          const take = Math.min(piece.length - at, batch - staged);
          core.view(stagedAt + staged, take).set(piece.subarray(at, at + take));
          [at, staged] = [at + take, staged + take];
          if (staged === batch) {
            undo();
            staged = 0;
          }
        }
      });
      undo();
      if (y < height) throw new Error('not a whole PNG: its image data is cut short');
      const visible = clear ? core.view(visibleAt, pixels).slice() : null;
      return { width, height, pixelsAt, channels: kept, grey, visible };
    } catch (error) {
      core.free(pixelsAt);
      throw error;
    } finally {
      core.free(...scratch);
    }
  }

  // Any picture through the browser's decoder and a canvas, colours as stored
  // (no colour management) where alpha is 255 or 0, as readPng returns it;
  // refused with partly transparent pixels, which the canvas changes.
  async function readThroughCanvas(blob, core) {
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const { width, height } = bitmap;
    refuseIfTooLarge(width, height);
    const canvas = document.createElement('canvas');
    [canvas.width, canvas.height] = [width, height];
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.drawImage(bitmap, 0, 0);
    const pixelsAt = core.place(context.getImageData(0, 0, width, height).data);
    const visibleAt = core.allocate(width * height);
    try {
      const { grey, transparent, partly } = core.survey(pixelsAt, width * height, 4, visibleAt);
      if (partly)
        throw new Error('it has partly transparent pixels, whose colours the browser does not give ' +
                        'exactly from this kind of file; saved as an 8-bit PNG, not interlaced, it can be read');
      const visible = transparent ? core.view(visibleAt, width * height).slice() : null;
      return { width, height, pixelsAt, channels: 4, grey, visible };
    } catch (error) {
      core.free(pixelsAt);
      throw error;
    } finally {
      core.free(visibleAt);
    }
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
    const picture = (isPng(bytes) && await readPng(bytes, core)) || await readThroughCanvas(blob, core);
    const { width, height, pixelsAt, channels, grey, visible } = picture;
    const image = { width, height, levelsAt: pixelsAt, colourAt: 0, channels, visible, blocks: [pixelsAt] };
    if (!grey) return { ...image, levelsAt: 0, colourAt: pixelsAt };
    // A grey picture's levels: each pixel's red byte.
    if (channels > 1) core.firstBytes(pixelsAt, width * height, channels);
    return image;
  }

  // Leaves fully transparent pixels out of counted (0/1 a pixel), in place.
  function onlyVisible(counted, visible) {
    for (let i = 0; i < visible.length; i += 1) counted[i] &= visible[i];
  }

  return { read, onlyVisible, previewStep };
})();
