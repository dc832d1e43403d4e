# Hue on the 256-level circle. ImageMagick's 8-bit hue repeats every 255 levels;
# stretching it by 256/255 puts it on circthresh's circle of 256.
convert examples/flag.png -colorspace HSV -channel R -separate +channel \
  -evaluate multiply 1.003921568627451 -depth 8 hue.pgm
circthresh hue.pgm mask.pgm
pnmtopng mask.pgm > mask.png
