# A photo's hue as a PGM for circthresh, made with OpenCV.
import os

import cv2  # Debian's python3-opencv: run with /usr/bin/python3

bgr = cv2.imread("examples/flag.png")
# COLOR_BGR2HSV_FULL spreads hue over 0..255, one turn in 256 levels, as circthresh
# assumes. COLOR_BGR2HSV gives 0..179 instead: circthresh still answers, with a
# threshold for the wrong circle, and nothing warns.
hue = cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV_FULL)[:, :, 0]
os.makedirs("out", exist_ok=True)  # cv2.imwrite fails quietly into a missing folder
cv2.imwrite("out/hue-cv.pgm", hue)  # a binary PGM with maximum 255
