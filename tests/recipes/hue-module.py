# A photo's hue thresholded with the module, grey pixels left out, the mask written.
import os

import circthresh  # pip install . from the clone, or Debian's python3-circthresh
import cv2  # Debian's python3-opencv, for the files: run with /usr/bin/python3

bgr = cv2.imread("examples/flag.png")
# bgr[..., ::-1] reads OpenCV's blue-first pixels as RGB, in place. Pixels under
# 25% saturation, whose hue means little, are masked: the histogram leaves them out.
hue = circthresh.hue(bgr[..., ::-1], min_saturation=25)
t, sigma_w, mask = circthresh.threshold(hue)
print("thresholding at %d\nsigma_W %f" % (t, sigma_w))
os.makedirs("out", exist_ok=True)
cv2.imwrite("out/hue-module.pgm", hue.data)
cv2.imwrite("out/mask-module.pgm", mask)
