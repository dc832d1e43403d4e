"""The page's hue against OpenCV's COLOR_BGR2HSV_FULL on every 8-bit RGB colour:
within one level around the circle (OpenCV's integer hue is itself rounded from
approximate reciprocals). The saturation selection against the definition,
chroma / largest channel >= percent / 100 (black: saturation 0), in integers.

usage: /usr/bin/python3 tests/web/hue_test.py CIRCTHRESH_JS SCRATCH
(Debian's Python: numpy and OpenCV come from python3-numpy and python3-opencv.)
"""
import os
import subprocess
import sys

import cv2
import numpy as np

PERCENT = 25


def main(module, scratch):
    here = os.path.dirname(os.path.abspath(__file__))
    hue_path = os.path.join(scratch, "hue.bin")
    counted_path = os.path.join(scratch, "counted.bin")
    subprocess.run(["/usr/bin/node", os.path.join(here, "dump_hue.js"), module, str(PERCENT),
                    hue_path, counted_path], check=True)
    hue = np.fromfile(hue_path, dtype=np.uint8)
    counted = np.fromfile(counted_path, dtype=np.uint8)

    colour = np.arange(2**24, dtype=np.uint32)
    rgb = np.stack([colour >> 16, (colour >> 8) & 255, colour & 255], axis=1).astype(np.uint8)
    bgr = rgb[:, ::-1].reshape(4096, 4096, 3).copy()
    opencv = cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV_FULL)[:, :, 0].reshape(-1)
    apart = (hue.astype(np.int16) - opencv.astype(np.int16)) % 256
    apart = np.minimum(apart, 256 - apart)
    print(f"hue: equal to OpenCV's on {np.count_nonzero(apart == 0)} of {apart.size} colours, "
          f"one level apart on {np.count_nonzero(apart == 1)}, more on {np.count_nonzero(apart > 1)}")

    top = rgb.max(axis=1).astype(np.int32)
    chroma = top - rgb.min(axis=1).astype(np.int32)
    expected = (top > 0) & (100 * chroma >= PERCENT * top)
    wrong = np.count_nonzero(counted != expected)
    print(f"saturation at least {PERCENT}%: {np.count_nonzero(expected)} colours counted, "
          f"{wrong} selected otherwise")
    return 0 if np.all(apart <= 1) and wrong == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
