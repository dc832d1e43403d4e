#!/usr/bin/env python3
"""Makes the README's pictures from the example image and the tool's own output.

  docs/example.png    the example hue image in colour, circthresh's result, and
                      the result of an ordinary (linear) Otsu threshold
  docs/histogram.svg  the example's grey-level histogram around the circle, with
                      the half-circle circthresh chose marked
  docs/photo.png      the example photo, its hue, circthresh's mask, and the mask
                      after the saturation post-mask

usage: docs/make_pictures.py [path/to/circthresh]   (default build/circthresh)
Plain Python: the PNG and SVG are written by hand, nothing to install.
"""
import colorsys
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXAMPLE = os.path.join(ROOT, "examples", "hue.pgm")


def read_pgm(path):
    data = open(path, "rb").read()
    fields, at = [], 0
    while len(fields) < 4:  # magic, width, height, maximum; comments skipped
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at) + 1
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[at + 1:at + 1 + width * height]


def write_png(path, width, height, rgb_rows):
    raw = b"".join(b"\0" + bytes(row) for row in rgb_rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def run_tool(tool, image_path):
    """Runs circthresh on a PGM file; returns its threshold and output raster."""
    with tempfile.TemporaryDirectory() as scratch:
        out_path = os.path.join(scratch, "out.pgm")
        report = subprocess.run([tool, image_path, out_path], check=True, capture_output=True).stdout
        _, _, raster = read_pgm(out_path)
    return int(re.match(rb"thresholding at (-?\d+)\n", report).group(1)), raster


def write_panels(path, width, height, panels, gap=8):
    """Writes images of one size side by side, white gaps between them; each
    panel gives the RGB colour of pixel i (row by row)."""
    rows = []
    for y in range(height):
        row = []
        for number, colour in enumerate(panels):
            for x in range(width):
                row.extend(colour(y * width + x))
            if number < len(panels) - 1:
                row.extend((255, 255, 255) * gap)
        rows.append(row)
    write_png(path, len(panels) * width + (len(panels) - 1) * gap, height, rows)


def grey(raster):
    return lambda i: (raster[i],) * 3


def hue_colour(level):
    r, g, b = colorsys.hsv_to_rgb(level / 256.0, 0.85, 0.95)
    return int(r * 255), int(g * 255), int(b * 255)


def linear_otsu(histogram):
    """Ordinary Otsu on 0..255: levels <= t against the rest."""
    total = sum(histogram)
    mean_all = sum(k * n for k, n in enumerate(histogram)) / total
    best, best_t, weight, moment = -1.0, 0, 0, 0.0
    for t in range(255):
        weight += histogram[t]
        moment += t * histogram[t]
        if weight == 0 or weight == total:
            continue
        w0 = weight / total
        mu0 = moment / weight
        mu1 = (mean_all * total - moment) / (total - weight)
        between = w0 * (1 - w0) * (mu0 - mu1) ** 2
        if between > best:
            best, best_t = between, t
    return best_t


def histogram_svg(histogram, threshold):
    size, centre, inner = 460, 230, 90
    peak = max(histogram)
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
             'viewBox="0 0 %d %d" font-family="sans-serif" font-size="13">' % (size, size, size, size),
             '<rect width="100%" height="100%" fill="white"/>']

    def point(level, radius):
        angle = 2 * math.pi * level / 256 - math.pi / 2  # level 0 at the top, clockwise
        return centre + radius * math.cos(angle), centre + radius * math.sin(angle)

    # The chosen half-circle (levels t..t+127, black in the output) as a grey sector.
    x0, y0 = point(threshold - 0.5, 190)
    x1, y1 = point(threshold + 127.5, 190)
    parts.append('<path d="M %.1f %.1f L %.1f %.1f A 190 190 0 0 1 %.1f %.1f Z" fill="#d8d8d8"/>'
                 % (centre, centre, x0, y0, x1, y1))
    parts.append('<circle cx="%d" cy="%d" r="%d" fill="white" stroke="#888"/>' % (centre, centre, inner - 4))
    for level, count in enumerate(histogram):
        length = 90 * math.sqrt(count / peak)
        xa, ya = point(level, inner)
        xb, yb = point(level, inner + length)
        parts.append('<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="rgb(%d,%d,%d)" '
                     'stroke-width="2.6"/>' % ((xa, ya, xb, yb) + hue_colour(level)))
    for level in (threshold - 0.5, threshold + 127.5):
        xa, ya = point(level, inner - 4)
        xb, yb = point(level, 200)
        parts.append('<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="black" '
                     'stroke-width="1.5" stroke-dasharray="5,3"/>' % (xa, ya, xb, yb))
    for level in (0, 64, 128, 192):
        x, y = point(level, 214)
        parts.append('<text x="%.1f" y="%.1f" text-anchor="middle" dominant-baseline="middle">%d</text>'
                     % (x, y, level))
    parts.append('<text x="%d" y="%d" text-anchor="middle">cut at %d | %d</text>'
                 % (centre, centre - 8, threshold, (threshold + 128) % 256))
    parts.append('<text x="%d" y="%d" text-anchor="middle">shaded: %d..%d → 0</text>'
                 % (centre, centre + 12, threshold, threshold + 127))
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


def read_png_rgb(path):
    """Decodes an 8-bit RGB or RGBA PNG without interlacing (the example photo)."""
    data = open(path, "rb").read()
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                sys.exit("%s: only 8-bit RGB or RGBA PNGs without interlacing are read here" % path)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * step
    previous = bytearray(stride)
    pixels = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - step] if i >= step else 0
            up = previous[i]
            corner = previous[i - step] if i >= step else 0
            if kind == 1:
                row[i] = (row[i] + left) & 255
            elif kind == 2:
                row[i] = (row[i] + up) & 255
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 255
            elif kind == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up), (abs(guess - corner), 2, corner))
                row[i] = (row[i] + near[2]) & 255
        pixels.extend(tuple(row[x * step:x * step + 3]) for x in range(width))
        previous = row
    return width, height, pixels


def make_photo_picture(tool):
    """docs/photo.png: the photo, its hue on the circle of 256 (as the README's
    recipes make it), circthresh's mask, and the mask with the pixels of
    saturation up to 25% set black."""
    width, height, rgb = read_png_rgb(os.path.join(ROOT, "examples", "flag.png"))
    hue, saturated = bytearray(), []
    for r, g, b in rgb:
        h, s, _ = colorsys.rgb_to_hsv(r / 255.0, g / 255.0, b / 255.0)
        hue.append(int(h * 256 + 0.5) % 256)
        saturated.append(int(s * 255 + 0.5) >= 64)
    with tempfile.TemporaryDirectory() as scratch:
        hue_path = os.path.join(scratch, "hue.pgm")
        with open(hue_path, "wb") as out:
            out.write(b"P5\n%d %d\n255\n" % (width, height))
            out.write(bytes(hue))
        threshold, mask = run_tool(tool, hue_path)
    post_masked = bytes(m if keep else 0 for m, keep in zip(mask, saturated))
    write_panels(os.path.join(ROOT, "docs", "photo.png"), width, height,
                 [lambda i: rgb[i], grey(hue), grey(mask), grey(post_masked)])
    return threshold


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "circthresh")
    if not (os.path.isfile(tool) and os.access(tool, os.X_OK)):
        sys.exit("make_pictures.py needs the built tool, not found at %s: build it first "
                 "(cmake -S . -B build && cmake --build build -j2) or give its path" % tool)
    width, height, pixels = read_pgm(EXAMPLE)
    threshold, circular = run_tool(tool, EXAMPLE)

    histogram = [0] * 256
    for p in pixels:
        histogram[p] += 1
    cut = linear_otsu(histogram)
    linear = bytes(0 if p <= cut else 255 for p in pixels)

    write_panels(os.path.join(ROOT, "docs", "example.png"), width, height,
                 [lambda i: hue_colour(pixels[i]), grey(circular), grey(linear)])
    with open(os.path.join(ROOT, "docs", "histogram.svg"), "w") as out:
        out.write(histogram_svg(histogram, threshold))
    print("circular threshold %d, linear Otsu threshold %d" % (threshold, cut))
    print("photo: circular threshold %d" % make_photo_picture(tool))


if __name__ == "__main__":
    main()
