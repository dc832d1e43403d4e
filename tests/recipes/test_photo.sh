#!/usr/bin/env bash
# The photo recipes as the README gives them: hue with ImageMagick and with OpenCV,
# the mask as PNG, the saturation post-mask, the inversion. Each result is checked
# against a direct run, and the README's claims about the photo against the pixels.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh convert pnmtopng pamarith pnminvert cv2 git
make_scratch photo
start_clone clone   # the recipes run here, the checks' own files stay outside

# ImageMagick hue, circthresh, PNG: the same report and pixels as a direct run.
(cd clone && run_recipe hue-imagemagick.sh) > recipe-report.txt
circthresh clone/out/hue.pgm direct.pgm > direct-report.txt
cmp -s recipe-report.txt direct-report.txt || fail "hue-imagemagick: report differs from a direct run"
cmp -s clone/out/mask.pgm direct.pgm || fail "hue-imagemagick: mask.pgm differs from a direct run"
same_pixels clone/out/mask.png direct.pgm || fail "hue-imagemagick: mask.png does not hold the mask"
convert clone/out/mask.pgm mask-im.png   # the README's other way to the PNG
same_pixels mask-im.png direct.pgm || fail "convert mask.pgm mask.png does not keep the mask"
echo "hue-imagemagick: $(head -n 1 recipe-report.txt); mask.png (pnmtopng and convert) has the mask's pixels"

# OpenCV hue; the 0..179 and unscaled ImageMagick hues for comparison.
(cd clone && run_recipe hue-opencv.py)
cp clone/out/hue-cv.pgm hue-cv.pgm
"$PY" - <<'PY'
import cv2
bgr = cv2.imread("clone/examples/flag.png")
cv2.imwrite("hue-180.pgm", cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV)[:, :, 0])
PY
convert clone/examples/flag.png -colorspace HSV -channel R -separate +channel -depth 8 hue-255.pgm
for hue in hue-cv hue-180 hue-255; do
  circthresh $hue.pgm $hue-mask.pgm | head -n 1 | sed "s/^/$hue: /"
done > thresholds.txt
cat thresholds.txt
t_im=$(sed -n 's/^thresholding at //p' recipe-report.txt)
t_cv=$(sed -n 's/^hue-cv: thresholding at //p' thresholds.txt)
[ $((t_im - t_cv)) -ge -1 ] && [ $((t_im - t_cv)) -le 1 ] ||
  fail "ImageMagick's threshold $t_im and OpenCV's $t_cv are more than 1 apart"

# The recipes after the mask.
(cd clone && run_recipe saturation-mask.sh && run_recipe invert.sh)
convert clone/examples/flag.png -colorspace HSV -channel G -separate +channel -depth 8 saturation.pgm

# Pixel checks, with the hue computed here from RGB by the textbook formula
# (independent of both tools): H = 60 * (G - B) / (max - min) when red is largest,
# 120 + 60 * (B - R) / (max - min) for green, 240 + 60 * (R - G) / (max - min) for
# blue, 0 for grey; on the 256-level circle, level = H * 256 / 360 rounded, mod 256.
"$PY" - <<'PY'
import sys
import cv2
import numpy as np

def pgm(path):
    image = cv2.imread(path, cv2.IMREAD_UNCHANGED)
    assert image is not None, path
    return image.astype(np.int64)

def circular(a, b):
    d = (a - b) % 256
    return np.where(d > 127, d - 256, d)

failed = []
def check(ok, what):
    print(("ok: " if ok else "FAIL: ") + what)
    if not ok:
        failed.append(what)

bgr = cv2.imread("clone/examples/flag.png").astype(np.float64)
b, g, r = bgr[:, :, 0], bgr[:, :, 1], bgr[:, :, 2]
top, low = bgr.max(axis=2), bgr.min(axis=2)
span = np.where(top > low, top - low, 1.0)
degrees = np.where(top == r, 60 * (g - b) / span,
                   np.where(top == g, 120 + 60 * (b - r) / span, 240 + 60 * (r - g) / span))
degrees = np.where(top > low, degrees % 360, 0.0)
reference = np.rint(degrees * 256 / 360).astype(np.int64) % 256

im, cv, cv180 = pgm("clone/out/hue.pgm"), pgm("hue-cv.pgm"), pgm("hue-180.pgm")
for name, hue in (("ImageMagick x 256/255", im), ("OpenCV HSV_FULL", cv)):
    d = circular(hue, reference)
    values, counts = np.unique(d, return_counts=True)
    check(np.abs(d).max() <= 1, "%s hue within 1 level of the formula: %s"
          % (name, dict(zip(values.tolist(), counts.tolist()))))
d = circular(im, cv)
values, counts = np.unique(d, return_counts=True)
check(np.abs(d).max() <= 1, "ImageMagick x 256/255 minus OpenCV HSV_FULL: %s"
      % dict(zip(values.tolist(), counts.tolist())))
d = circular(pgm("hue-255.pgm"), cv)
values, counts = np.unique(d, return_counts=True)
check(d.max() <= 0 and d.min() >= -2, "unstretched ImageMagick hue minus OpenCV HSV_FULL: %s"
      % dict(zip(values.tolist(), counts.tolist())))
check(cv180.max() <= 179, "COLOR_BGR2HSV hue stays in 0..179 (max %d)" % cv180.max())

# The object: the red stripes, saturated pixels within 45 degrees of red. Their
# hues straddle 0; the mask keeps them together, on the white side (the side of
# level 255), while the 0..179 hue splits them at its own wrap.
saturation = pgm("saturation.pgm")
red = (saturation > 100) & ((reference >= 224) | (reference <= 32))
across = ((reference[red] >= 224).sum(), (reference[red] <= 32).sum())
mask, mask180 = pgm("clone/out/mask.pgm"), pgm("hue-180-mask.pgm")
white = (mask[red] == 255).mean()
white180 = (mask180[red] == 255).mean()
check(across[0] > 100 and across[1] > 100,
      "the red stripes straddle 0: %d pixels at 224..255, %d at 0..32" % across)
check(white >= 0.99, "mask: %.2f%% of the red stripes white" % (100 * white))
check(0.05 < white180 < 0.95, "0..179 hue mask: the red stripes split, %.2f%% white" % (100 * white180))

# Saturation post-mask: -threshold 25% acts on the channel already cut to 8 bits by
# -depth 8, and keeps the values above a quarter of 255, that is 64 and up.
expected = np.minimum(mask, np.where(saturation >= 64, 255, 0))
check(np.array_equal(pgm("clone/out/object.pgm"), expected), "object.pgm = minimum of mask and saturation > 25%")
removed = ((mask == 255) & (expected == 0)).sum()
check(removed > 1000, "the post-mask turns %d grey pixels black" % removed)
check(np.array_equal(pgm("clone/out/object.png"), expected), "object.png holds the same pixels")

# Inversion.
check(np.array_equal(pgm("clone/out/inverted.pgm"), 255 - mask), "pnminvert: 255 - mask")
check(np.array_equal(cv2.imread("clone/out/inverted.png", cv2.IMREAD_GRAYSCALE), 255 - mask), "convert -negate: 255 - mask")
sys.exit(1 if failed else 0)
PY
echo "test_photo: passed"
