# Keep only pixels whose saturation is above 25%: grey pixels have no hue to speak of.
convert examples/flag.png -colorspace HSV -channel G -separate +channel \
  -depth 8 -threshold 25% out/saturated.pgm
pamarith -minimum out/mask.pgm out/saturated.pgm > out/object.pgm
pnmtopng out/object.pgm > out/object.png
