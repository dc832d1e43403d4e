# Does not work: "-" is a file name like any other.
convert examples/flag.png -colorspace HSV -channel R -separate +channel \
    -evaluate multiply 1.003921568627451 -depth 8 pgm:- | circthresh - out/mask.pgm
#> cannot open input file: -

# Does not work: the report lines go to standard output too, ahead of the image.
circthresh out/hue.pgm /dev/stdout | pnmtopng > out/mask.png
#> pnmtopng: bad magic number 0x7468 - not a PPM, PGM, PBM, or PAM file
