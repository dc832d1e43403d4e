#!/usr/bin/env python3
"""Writes examples/hue.pgm: a synthetic hue image whose object straddles the wrap.

The background is a smooth field of hues around 128 (cyan); the object, two
overlapping discs, is red: hues around 0, so half its pixels sit just above 0
and half just below 256. An ordinary threshold on 0..255 cuts the object in two;
a circular one keeps it whole. Deterministic: the same bytes on every run.
"""
import math
import os
import sys

WIDTH, HEIGHT = 256, 192


def noise(x, y):
    """A fixed pseudo-random value in -8..8 for each pixel."""
    h = (x * 374761393 + y * 668265263) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    return (h >> 16) % 17 - 8


def hue(x, y):
    inside = (x - 96) ** 2 + (y - 90) ** 2 < 52 ** 2 or (x - 170) ** 2 + (y - 110) ** 2 < 40 ** 2
    if inside:
        # Red, drifting from hue -20 to +20 across the object: it wraps past 0.
        centre = 20 * math.sin(x / 23.0 + y / 31.0)
        return round(centre + 1.5 * noise(x, y)) % 256
    return 128 + round(18 * math.sin(x / 40.0) * math.cos(y / 35.0)) + noise(x, y)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "hue.pgm")
    raster = bytes(hue(x, y) for y in range(HEIGHT) for x in range(WIDTH))
    with open(path, "wb") as out:
        out.write(b"P5\n# synthetic hue, object across the wrap\n%d %d\n255\n" % (WIDTH, HEIGHT))
        out.write(raster)


if __name__ == "__main__":
    main()
