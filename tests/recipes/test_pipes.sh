#!/usr/bin/env bash
# The pipelines: the working forms give what a run on files gives; the two that do
# not work fail with the messages the README quotes (the "#>" lines of the recipe).
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh convert pnmtopng git
make_scratch pipes
start_clone clone   # the recipes run here, the checks' own files stay outside

# The direct run on files.
mkdir clone/out
convert clone/examples/flag.png -colorspace HSV -channel R -separate +channel \
  -evaluate multiply 1.003921568627451 -depth 8 clone/out/hue.pgm
circthresh clone/out/hue.pgm direct.pgm > direct-report.txt

(cd clone && run_recipe pipe-working.sh) > recipe-stdout.txt
cmp -s clone/out/report.txt direct-report.txt || fail "pipe: report.txt differs from a direct run"
same_pixels clone/out/mask.png direct.pgm || fail "pipe: mask.png differs from a direct run"
same_pixels clone/out/mask-subst.png direct.pgm || fail "process substitution: mask-subst.png differs from a direct run"
# Standard output: the process substitution's report, then the threshold alone.
cmp -s recipe-stdout.txt <(cat direct-report.txt direct-report.txt) ||
  fail "process substitution or /dev/null: the report lines differ from a direct run"
echo "pipe-working: $(head -n 1 clone/out/report.txt) in each form; both PNGs hold the direct run's pixels"

# The failing forms: each "#>" line must be what the command before it printed.
(cd clone && { run_recipe pipe-failing.sh || true; }) > failing-stdout.txt 2> failing-stderr.txt
sed -n 's/^#> //p' "$RECIPES/pipe-failing.sh" > expected-stderr.txt
cmp -s failing-stderr.txt expected-stderr.txt || {
  echo "expected:"; cat expected-stderr.txt; echo "got:"; cat failing-stderr.txt
  fail "pipe-failing: the messages differ from the recipe's"
}
sed 's/^/pipe-failing: /' failing-stderr.txt
same_pixels clone/out/mask.png direct.pgm || fail "pipe-failing: out/mask.png is no longer the mask"

# When standard output is a file, /dev/stdout writes the image there and the
# report lines are lost: the file holds the mask alone.
circthresh clone/out/hue.pgm /dev/stdout > stdout-file.pgm
cmp -s stdout-file.pgm direct.pgm || fail "/dev/stdout to a file: not the mask alone"
echo "/dev/stdout to a file: the file is the mask, byte for byte; no report"
echo "test_pipes: passed"
