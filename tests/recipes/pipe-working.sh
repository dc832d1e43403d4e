# Photo in, PNG out, no files between: the input is read from /dev/stdin, the
# image goes to descriptor 3 (the pipe), the two report lines to out/report.txt.
convert examples/flag.png -colorspace HSV -channel R -separate +channel \
    -evaluate multiply 1.003921568627451 -depth 8 pgm:- |
  circthresh /dev/stdin /dev/fd/3 3>&1 1>out/report.txt | pnmtopng > out/mask.png

# The same with bash's process substitution (the report stays on the terminal);
# wait for pnmtopng before using the PNG.
circthresh <(convert examples/flag.png -colorspace HSV -channel R -separate +channel \
    -evaluate multiply 1.003921568627451 -depth 8 pgm:-) >(pnmtopng > out/mask-subst.png)
wait $!

# The threshold alone:
circthresh out/hue.pgm /dev/null
