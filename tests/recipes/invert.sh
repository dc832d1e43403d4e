pnminvert out/mask.pgm > out/inverted.pgm
convert out/mask.pgm -negate out/inverted.png
