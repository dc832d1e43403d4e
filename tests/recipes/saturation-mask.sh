# Keep only pixels whose saturation is above 25%: grey pixels have no hue to speak of.
convert examples/flag.png -colorspace HSV -channel G -separate +channel \
  -depth 8 -threshold 25% saturated.pgm
pamarith -minimum mask.pgm saturated.pgm > object.pgm
pnmtopng object.pgm > object.png
