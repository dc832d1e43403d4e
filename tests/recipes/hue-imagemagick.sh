# Hue on the 256-level circle. ImageMagick's 8-bit hue repeats every 255 levels;
# stretching it by 256/255 puts it on circthresh's circle of 256. Every file the
# recipes write goes into out/, which git ignores.
mkdir -p out
convert examples/flag.png -colorspace HSV -channel R -separate +channel \
  -evaluate multiply 1.003921568627451 -depth 8 out/hue.pgm
circthresh out/hue.pgm out/mask.pgm
pnmtopng out/mask.pgm > out/mask.png
