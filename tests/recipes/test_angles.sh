#!/usr/bin/env bash
# The angle recipe: known angles land on the levels worked out by hand, and an
# orientation map whose object straddles 0 = 180 degrees comes out whole.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh cv2
make_scratch angles

"$PY" - "$RECIPES/angle-to-pgm.py" <<'PY'
import math
import runpy
import subprocess
import sys
import numpy as np

angle_to_pgm = runpy.run_path(sys.argv[1])["angle_to_pgm"]
failed = []

# level = angle * 256 / period, rounded, mod 256.
pi = math.pi
table = [
    # angle, period, level
    (0.0, pi, 0),
    (pi / 2, pi, 128),
    (pi, pi, 0),                      # a whole period is level 256 = 0
    (-pi / 2, pi, 128),               # -128 mod 256
    (3 * pi / 2, pi, 128),
    (10 * pi / 256, pi, 10),
    (-pi / 256, pi, 255),             # just below 0 is the top level
    (pi * 255.4 / 256, pi, 255),
    (pi * 255.6 / 256, pi, 0),        # rounds up to 256, which is 0
    (45.0, 360.0, 32),
    (180.0, 360.0, 128),
    (-90.0, 360.0, 192),
    (1.40625, 360.0, 1),              # 360 / 256
    (359.5, 360.0, 0),                # 255.64 rounds to 256
    (-pi, 2 * pi, 128),
]
for angle, period, level in table:
    angle_to_pgm(np.array([[angle]]), period, "one.pgm")
    data = open("one.pgm", "rb").read()
    if data != b"P5\n1 1\n255\n" + bytes([level]):
        failed.append("angle %r over period %r: got %r, expected level %d" % (angle, period, data, level))

# Width and height in the header, rows in order.
angle_to_pgm(np.array([[0.0, 90.0, 180.0], [270.0, 45.0, 360.0]]), 360.0, "two-rows.pgm")
if open("two-rows.pgm", "rb").read() != b"P5\n3 2\n255\n" + bytes([0, 64, 128, 192, 32, 0]):
    failed.append("a 2 x 3 array is not written as 3 x 2 with its rows in order")

# An orientation map: a disc of edges within 20 degrees of horizontal (some given
# as 160..180 degrees, the same orientations) on edges near vertical (70..110).
# On the circle of 256 the disc sits at levels 228..255 and 0..28, the rest at
# 100..156: a half-circle t..t+127 with t in 29..100 holds the background and none
# of the disc, so the background goes black and the disc white, every pixel.
height, width = 96, 128
y, x = np.mgrid[0:height, 0:width]
disc = (x - 60) ** 2 + (y - 45) ** 2 < 30 ** 2
wobble = np.sin(x / 7.0) * np.cos(y / 5.0)                       # -1..1
degrees = np.where(disc, 20 * wobble, 90 + 20 * wobble)
degrees = np.where(disc & (degrees < 0), degrees + 180, degrees)  # same orientation
angle_to_pgm(np.radians(degrees), pi, "orientation.pgm")
report = subprocess.run(["circthresh", "orientation.pgm", "mask.pgm"], check=True,
                        capture_output=True, text=True).stdout
mask = np.frombuffer(open("mask.pgm", "rb").read()[-height * width:], np.uint8).reshape(height, width)
print("orientation map:", report.splitlines()[0])
if not (mask[disc] == 255).all() or not (mask[~disc] == 0).all():
    failed.append("orientation map: the disc is not white and the rest black")

for line in failed:
    print("FAIL:", line)
sys.exit(1 if failed else 0)
PY
echo "test_angles: passed"
