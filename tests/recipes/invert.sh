pnminvert mask.pgm > inverted.pgm
convert mask.pgm -negate inverted.png
