"""The page in headless chromium, served on 127.0.0.1 and opened from disk,
against the command and OpenCV: its report and mask are the command's on the
levels it thresholded, its hue is OpenCV's COLOR_BGR2HSV_FULL within one level,
its counted pixels are those whose saturation reaches the floor.

usage: /usr/bin/python3 tests/web/page_test.py SITE COMMAND SCRATCH [SCREENSHOT]
(Debian's Python: numpy and OpenCV come from python3-numpy and python3-opencv.)
"""
import base64
import os
import sys
import struct
import time
import zlib

import cv2
import numpy as np

from chromium import Chromium, serve

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from circthresh_reference import binarised as binarise, library_classes, run_command  # noqa: E402

failures = []


def check(name, ok, detail=""):
    print(f"{'ok' if ok else 'FAILED'}: {name}{': ' + detail if detail else ''}")
    if not ok:
        failures.append(name)


def write_pgm(path, levels, header=None):
    height, width = levels.shape
    with open(path, "wb") as out:
        out.write(header or b"P5\n%d %d\n255\n" % (width, height))
        out.write(levels.astype(np.uint8).tobytes())


def as_command_image(levels):
    """The levels repeated k times, laid out as an image of at most 5000 x 5000:
    each count and the total grow k times, so every frequency c*k / (n*k) is the
    same double as c / n, and the command's search sees the same histogram."""
    n = levels.size
    for k in range(1, 65):
        total = n * k
        for width in range(min(5000, total), 0, -1):
            if total % width == 0 and total // width <= 5000:
                return np.tile(levels, k).reshape(total // width, width)
    raise RuntimeError(f"cannot lay {n} pixels out as an image for the command")


def arrays(result):
    shape = (result["height"], result["width"])
    return [np.frombuffer(base64.b64decode(result[key]), dtype=np.uint8).reshape(shape)
            for key in ("hue", "mask", "counted")]


def classes_labels(result):
    return np.frombuffer(base64.b64decode(result["labels"]), dtype=np.uint8).reshape(
        result["height"], result["width"])


def write_huge_png(path, width, height):
    """An RGB PNG of height equal rows of hues, compressed as it is written."""
    chunk = lambda kind, body: (struct.pack(">I", len(body)) + kind + body +
                                struct.pack(">I", zlib.crc32(kind + body)))
    row = b"\0" + bytes(np.arange(3 * width, dtype=np.uint8) * 7)
    packer, data = zlib.compressobj(1), []
    data = [packer.compress(row) for _ in range(height)] + [packer.flush()]
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", b"".join(data)) + chunk(b"IEND", b""))


def png_chunk(kind, body, crc=None):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) if crc is None else crc)


def bad_pngs():
    """PNGs that libpng refuses, each with what the page must say of it."""
    ihdr = lambda w, h, depth=8, colour=2: png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, depth, colour, 0, 0, 0))
    pixels = png_chunk(b"IDAT", zlib.compress(b"\0\0\0\0"))
    end, sig = png_chunk(b"IEND", b""), b"\x89PNG\r\n\x1a\n"
    bomb = zlib.compressobj(9)
    bomb_data = b"".join(bomb.compress(bytes(1 << 20)) for _ in range(64)) + bomb.flush()
    return [("PNG with a stale PLTE CRC", sig + ihdr(1, 1, 8, 3) + png_chunk(b"PLTE", b"\0\xff\0", crc=0) +
             png_chunk(b"IDAT", zlib.compress(b"\0\0")) + end, "CRC of its PLTE"),
            ("PNG of width 0", sig + ihdr(0, 1) + pixels + end, "not a size"),
            ("PNG 4294967295 x 0", sig + ihdr(4294967295, 0) + pixels + end, "not a size"),
            ("grey PNG of depth 3", sig + ihdr(1, 1, 3, 0) + pixels + end, "bit depth 3"),
            ("PNG without IEND", sig + ihdr(1, 1) + pixels, "before its IEND"),
            ("PNG with two IHDR", sig + ihdr(1, 1) + ihdr(1, 1) + pixels + end, "more than one IHDR"),
            ("PNG whose data is not zlib", sig + ihdr(1, 1) + png_chunk(b"IDAT", b"\x78\x9c\xff\xff") + end,
             "not valid zlib"),
            ("1 x 1 PNG inflating to 64 MiB", sig + ihdr(1, 1) + png_chunk(b"IDAT", bomb_data) + end,
             "inflates to more than the 4 bytes")]


def pack(samples, depth):
    """Samples of depth bits packed into bytes, first in the highest bits, as PNG rows are."""
    bits = "".join(format(v, f"0{depth}b") for v in samples)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


def filtered(rows, step):
    """Row y with PNG filter y % 5 (none, sub, up, average, Paeth) as the PNG
    standard defines them; step: the bytes of a pixel, 1 under 8 bits."""
    out, before = [], bytes(len(rows[0]))
    for y, row in enumerate(rows):
        kind, coded = y % 5, bytearray()
        for i, value in enumerate(row):
            left, up = row[i - step] if i >= step else 0, before[i]
            up_left = before[i - step] if i >= step else 0
            p = left + up - up_left
            paeth = min((abs(p - left), 0, left), (abs(p - up), 1, up), (abs(p - up_left), 2, up_left))[2]
            coded.append((value - [0, left, up, (left + up) // 2, paeth][kind]) & 255)
        out.append(bytes([kind]) + bytes(coded))
        before = row
    return b"".join(out)


def png_kinds():
    """The kinds of PNG the page decodes itself, 5 x 5 pixels of grey each, row
    y filtered with filter y % 5: (name, file, the levels it holds, 1 where a
    pixel is not fully transparent)."""
    samples = np.array([[0, 1, 2, 3, 1], [3, 2, 1, 0, 2], [1, 1, 3, 3, 0], [2, 3, 0, 1, 3], [3, 0, 2, 2, 1]])
    ones = np.ones(samples.shape, dtype=np.uint8)
    palette = png_chunk(b"PLTE", bytes(v for g in (0, 90, 180, 255) for v in (g, g, g)))
    kinds = [("1-bit grey", 1, 0, samples % 2, b"", (samples % 2) * 255, ones),
             ("2-bit grey, grey 2 transparent", 2, 0, samples, png_chunk(b"tRNS", b"\0\2"), samples * 85,
              (samples != 2).astype(np.uint8)),
             ("4-bit grey", 4, 0, samples * 5, b"", samples * 85, ones),
             ("2-bit palette, colour 1 transparent", 2, 3, samples, palette + png_chunk(b"tRNS", b"\xff\0"),
              np.choose(samples, [0, 90, 180, 255]), (samples != 1).astype(np.uint8)),
             ("8-bit palette, colour 0 half transparent", 8, 3, samples, palette + png_chunk(b"tRNS", b"\x80"),
              np.choose(samples, [0, 90, 180, 255]), ones),
             ("grey and alpha, alpha 0 where 0", 8, 4, np.dstack([samples * 60, (samples != 0) * 200]), b"",
              samples * 60, (samples != 0).astype(np.uint8)),
             ("8-bit grey", 8, 0, samples * 60, b"", samples * 60, ones),
             ("RGB, all grey", 8, 2, np.dstack([samples * 40] * 3), b"", samples * 40, ones),
             ("RGB, grey 120 transparent", 8, 2, np.dstack([samples * 40] * 3),
              png_chunk(b"tRNS", struct.pack(">HHH", 120, 120, 120)), samples * 40, (samples != 3).astype(np.uint8))]
    # More rows than the page hands its module at once, the first of a batch
    # filtered on the row above.
    big = np.tile(samples, (120, 76))
    kinds += [("RGB, all grey, 380 x 600", 8, 2, np.dstack([big * 40] * 3), b"", big * 40, np.ones(big.shape, np.uint8)),
              ("grey and alpha, 380 x 600", 8, 4, np.dstack([big * 60, (big != 0) * 200]), b"", big * 60,
               (big != 0).astype(np.uint8))]
    made = []
    for name, depth, colour, values, extra, levels, visible in kinds:
        height, width = values.shape[:2]
        channels = values.shape[2] if values.ndim == 3 else 1
        rows = filtered([pack(row.reshape(-1), depth) for row in values.astype(np.int64)], max(1, channels * depth // 8))
        made.append((name, b"\x89PNG\r\n\x1a\n" +
                     png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)) + extra +
                     png_chunk(b"IDAT", zlib.compress(rows)) + png_chunk(b"IEND", b""), levels, visible))
    return made


def main(site, command, scratch, screenshot=None):
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    images = os.path.join(scratch, "images")
    os.makedirs(images)
    bgr = cv2.imread(os.path.join(root, "examples", "flag.png"), cv2.IMREAD_COLOR)
    opencv_hue = cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV_FULL)[:, :, 0]
    top = bgr.max(axis=2).astype(np.int32)
    chroma = top - bgr.min(axis=2).astype(np.int32)

    # Grey images, thresholded on their levels: a PNG (red-like levels across 0
    # on mid-grey ones), a PGM with a comment in its header, an empty PGM.
    rng = np.random.default_rng(24)
    grey = np.where(rng.random((120, 90)) < 0.3, rng.integers(-20, 21, (120, 90)) % 256,
                    rng.integers(100, 160, (120, 90))).astype(np.uint8)
    cv2.imwrite(os.path.join(images, "grey.png"), grey)
    write_pgm(os.path.join(images, "comment.pgm"), grey[:50, :70],
              b"P5\n# a comment\n70 50\n255\n")
    write_pgm(os.path.join(images, "empty.pgm"), np.zeros((0, 0), dtype=np.uint8))

    # flag.png with an alpha ramp (1..255 left to right): each pixel's colour
    # is still the file's, so the report is flag.png's; a copy with its left
    # quarter fully transparent counts only the rest. A 20000 x 20000 colour
    # PNG, over the 2^28 pixels a canvas holds, written a row at a time.
    alpha = np.broadcast_to(1 + np.arange(bgr.shape[1]) * 254 // (bgr.shape[1] - 1), bgr.shape[:2])
    cv2.imwrite(os.path.join(images, "ramp.png"), np.dstack([bgr, alpha]).astype(np.uint8))
    cv2.imwrite(os.path.join(images, "clear.png"), np.dstack([bgr, np.where(alpha < 64, 0, alpha)]).astype(np.uint8))
    write_huge_png(os.path.join(images, "huge.png"), 20000, 20000)

    server = serve(scratch)
    base = f"http://127.0.0.1:{server.server_address[1]}/{os.path.basename(site)}/index.html"
    browser = Chromium(scratch)
    try:
        # The default photo at the default floor of 25%.
        result = browser.open(base)
        hue, mask, counted = arrays(result)
        apart = (hue.astype(np.int16) - opencv_hue) % 256
        apart = np.minimum(apart, 256 - apart)
        check("default photo: hue within one level of OpenCV's", apart.max() <= 1,
              f"equal on {np.count_nonzero(apart == 0)} of {apart.size} pixels")
        expected_counted = (top > 0) & (100 * chroma >= 25 * top)
        check("default photo: counted where saturation >= 25%",
              np.array_equal(counted, expected_counted), f"{np.count_nonzero(counted)} pixels")
        report, _ = run_command(command, as_command_image(hue[counted == 1]), scratch)
        check("default photo: the command's report on the counted pixels' hue",
              result["report"] == report, result["report"].replace("\n", " ").strip())
        t = int(result["report"].split("\n")[0].split()[-1])
        check("default photo: every pixel binarised at that cut", np.array_equal(mask, binarise(hue, t)))
        check("the result's arrays are Uint8Arrays", result["kinds"] == ["Uint8Array"] * 3)
        check("the module with vectors runs where chromium has them", browser.evaluate("window.circthreshCore") == "simd")
        default_report = result["report"]
        check("default photo: 2 classes, the command's half-circles as cuts and labels",
              result["classes"] == 2 and result["cuts"] == [t, t + 128] and
              np.array_equal(classes_labels(result), (mask != 0).astype(np.uint8)))

        # Nothing leaves the browser: a request to any other origin is refused
        # by the page's content security policy before it is made.
        refused = browser.evaluate("""new Promise((resolve) => {
            document.addEventListener('securitypolicyviolation', (e) => resolve(e.effectiveDirective));
            fetch('http://127.0.0.2:9/', {method: 'POST', body: 'x'}).catch(() => {});
            setTimeout(() => resolve('sent'), 5000);
        })""")
        check("a request elsewhere is refused by the page's policy", refused == "connect-src", refused)
        if screenshot:
            browser.screenshot(screenshot)

        # The downloads: the hue as the command's input, the mask as shown
        # (black and white swapped here) as a PNG.
        downloads = os.path.join(scratch, "downloads")
        os.makedirs(downloads)
        browser.send("Browser.setDownloadBehavior", behavior="allow", downloadPath=downloads)
        browser.evaluate("document.getElementById('swap').click(); "
                         "document.getElementById('download-levels').click(); "
                         "document.getElementById('download-mask').click()")
        hue_file, mask_file = (os.path.join(downloads, name) for name in ("hue.pgm", "mask.png"))
        # chromium writes a download under a temporary name and gives it its
        # own when it is complete.
        deadline = time.monotonic() + 20
        while not (os.path.exists(hue_file) and os.path.exists(mask_file)) and time.monotonic() < deadline:
            time.sleep(0.1)
        with open(hue_file, "rb") as downloaded:
            check("hue PGM download: the page's hue as a PGM",
                  downloaded.read() == b"P5\n100 220\n255\n" + hue.tobytes())
        png = cv2.imread(mask_file, cv2.IMREAD_UNCHANGED)
        check("mask PNG download: the mask as shown, swapped",
              png is not None and np.array_equal(png[:, :, 0], 255 - mask) and
              np.array_equal(png[:, :, 0], png[:, :, 1]) and np.array_equal(png[:, :, 0], png[:, :, 2]))

        # 3 or more classes: the C library's cuts, sigma_W and labels on the
        # page's counted levels.
        for name, query, classes in [("flag.png, 3 classes", "?classes=3", 3),
                                     ("grey PNG, 5 classes", "?src=../images/grey.png&classes=5", 5),
                                     ("empty PGM, 4 classes", "?src=../images/empty.pgm&classes=4", 4)]:
            result = browser.open(base + query)
            hue, mask, counted = arrays(result)
            cuts, sigma_w, labels = library_classes(os.path.join(os.path.dirname(command), "libcircthresh.so.1"),
                                                    hue, counted == 1, classes)
            report = "cuts %s\nsigma_W %f\n" % (" ".join(map(str, cuts)) if cuts else "none", sigma_w)
            check(f"{name}: the library's cuts, sigma_W and labels",
                  result["report"] == report and result["classes"] == classes and
                  np.array_equal(classes_labels(result), labels),
                  result["report"].replace("\n", " ").strip())
            if classes == 3:
                browser.evaluate("document.getElementById('download-labels').click()")
                labels_file = os.path.join(downloads, "labels.pgm")
                deadline = time.monotonic() + 20
                while not os.path.exists(labels_file) and time.monotonic() < deadline:
                    time.sleep(0.1)
                with open(labels_file, "rb") as downloaded:
                    check("labels PGM download: the labels as a PGM",
                          downloaded.read() == b"P5\n100 220\n255\n" + labels.tobytes())

        # Floor 0 and grey images: everything counted, so the command on the
        # page's levels must give the same report and mask.
        for name, query in [("flag.png, saturation 0", "?src=flag.png&saturation=0"),
                            ("flag.png, saturation 0, the module without vectors", "?src=flag.png&saturation=0&core=plain"),
                            ("grey PNG", "?src=../images/grey.png"),
                            ("PGM with a comment", "?src=../images/comment.pgm"),
                            ("empty PGM", "?src=../images/empty.pgm")]:
            result = browser.open(base + query)
            hue, mask, counted = arrays(result)
            report, raster = run_command(command, hue, scratch)
            check(f"{name}: the command's report and mask on the page's levels",
                  result["report"] == report and np.array_equal(mask, raster) and
                  counted.all(), result["report"].replace("\n", " ").strip())
            if name == "grey PNG":
                check("grey PNG: thresholded on its own levels", np.array_equal(hue, grey))

        # Every kind of PNG the page decodes itself: the levels and transparency
        # stored, every other kind through the module without vectors.
        for k, (name, png, levels, visible) in enumerate(png_kinds()):
            with open(os.path.join(images, f"kind{k}.png"), "wb") as kind:
                kind.write(png)
            core = "&core=plain" if k % 2 else ""
            hue, _, counted = arrays(browser.open(base + f"?src=../images/kind{k}.png{core}"))
            check(f"PNG, {name}{', the module without vectors' if core else ''}: its levels and transparency",
                  np.array_equal(hue, levels) and np.array_equal(counted, visible))

        result = browser.open(base + "?src=../images/ramp.png")
        check("flag.png with an alpha ramp: flag.png's report", result["report"] == default_report,
              result["report"].replace("\n", " ").strip())
        result = browser.open(base + "?src=../images/clear.png")
        hue, _, counted = arrays(result)
        check("flag.png a quarter transparent: those pixels not counted, the command's report on the rest",
              np.array_equal(counted, expected_counted & (alpha >= 64)) and
              result["report"] == run_command(command, as_command_image(hue[counted == 1]), scratch)[0])

        # Faults: one line in red, no report, no result, nothing to download.
        with open(os.path.join(images, "short.pgm"), "wb") as short:
            short.write(b"P5\n4 4\n255\n" + bytes(15))
        faults = [("floor above 100", "?saturation=101", "whole percent"),
                  ("PGM one byte short", "?src=../images/short.pgm", "ERROR: premature end of file"),
                  ("20000 x 20000 PNG", "?src=../images/huge.png", "more than the 268,435,456")]
        for k, (name, png, says) in enumerate(bad_pngs()):
            with open(os.path.join(images, f"bad{k}.png"), "wb") as bad:
                bad.write(png)
            faults.append((name, f"?src=../images/bad{k}.png", says))
        for name, query, says in faults:
            status, report, result, download = browser.open(
                base + query, until="document.getElementById('status').className === 'error'",
                read="[document.getElementById('status').textContent, "
                     "document.getElementById('report').textContent, "
                     "window.circthreshResult, document.getElementById('download-mask').disabled]")
            check(f"{name}: refused", says in status and report == "" and result is None and download,
                  status)

        # Opened from disk, no server: the module and the default photo are inside the files.
        result = browser.open("file://" + os.path.join(site, "index.html"))
        check("opened from disk: the same report", result["report"] == default_report)
    finally:
        browser.close()
        server.shutdown()
    print("page: all checks passed" if not failures else f"page: {len(failures)} checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*[os.path.abspath(a) if i != 1 else a for i, a in enumerate(sys.argv[1:])]))
