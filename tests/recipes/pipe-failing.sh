# Does not work: "-" is a file name like any other. Writes nothing.
circthresh - out/mask-dash.pgm < out/hue.pgm
#> cannot open input file: -

# Does not work: the report lines go to standard output too, ahead of the image.
# Leaves an empty out/mask-stdout.png.
circthresh out/hue.pgm /dev/stdout | pnmtopng > out/mask-stdout.png
#> pnmtopng: bad magic number 0x7468 - not a PPM, PGM, PBM, or PAM file
