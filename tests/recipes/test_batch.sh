#!/usr/bin/env bash
# The one-machine batch recipes, xargs and GNU parallel, on a folder with a bad
# file and a name with a space: every good image gives what a direct run gives,
# and exactly the bad one is named; with no images, nothing is made.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh parallel pgmnoise git
make_scratch batch

# Eight noise images (deterministic seeds), one of them with a space in its name,
# and a truncated one in a subfolder.
make_images() {
  mkdir -p images/sub
  local i
  for i in 1 2 3 4 5 6 7; do pgmnoise -randomseed=$i 40 30 > "images/noise$i.pgm" 2>/dev/null; done
  pgmnoise -randomseed=8 40 30 > "images/with space.pgm" 2>/dev/null
  head -c 200 images/noise1.pgm > images/sub/bad.pgm
}

# Each good image's mask and report in out/ must be those of a direct run; the
# bad one has no mask.
check_outputs() {
  local f name count=0
  for f in images/*.pgm; do
    name=${f##*/}
    circthresh "$f" direct.pgm > direct.txt
    cmp -s "out/$name" direct.pgm || fail "$1: out/$name differs from a direct run"
    cmp -s "out/$name.txt" direct.txt || fail "$1: out/$name.txt differs from a direct run"
    count=$((count + 1))
  done
  [ ! -e out/bad.pgm ] || fail "$1: a mask was written for the bad file"
  echo "$1: $count masks and reports equal to direct runs"
}

# Each recipe runs in a clone/ folder, as at the top of a clone, with the images
# in it; the test's own files stay beside it.
mkdir -p xargs/clone && (cd xargs/clone && make_images) && start_clone xargs/clone && cd xargs
(cd clone && run_recipe batch-xargs.sh) > stdout.txt 2> stderr.txt
[ "$(cat stdout.txt)" = "status 123" ] || fail "xargs: printed '$(cat stdout.txt)', expected 'status 123'"
grep '^failed: ' stderr.txt > failed.txt || true
[ "$(cat failed.txt)" = "failed: images/sub/bad.pgm" ] || fail "xargs: failures named: '$(cat failed.txt)'"
echo "xargs: $(cat stdout.txt); $(cat failed.txt)"
(cd clone && check_outputs xargs)
cd ..

mkdir -p parallel/clone && (cd parallel/clone && make_images) && start_clone parallel/clone && cd parallel
export PARALLEL_HOME="$SCRATCH/parallel-home"   # GNU parallel's own files stay in the scratch folder
(cd clone && run_recipe batch-parallel.sh) > stdout.txt 2> stderr.txt
expected="status 1
circthresh images/sub/bad.pgm out/bad.pgm > out/bad.pgm.txt || { echo \"failed: \"images/sub/bad.pgm >&2; exit 1; }"
[ "$(cat stdout.txt)" = "$expected" ] || { cat stdout.txt; fail "parallel: status or failed command from the log not as expected"; }
grep '^failed: ' stderr.txt > failed.txt || true
[ "$(cat failed.txt)" = "failed: images/sub/bad.pgm" ] || fail "parallel: failures named: '$(cat failed.txt)'"
[ "$(awk -F '\t' 'NR > 1' clone/out/batch.log | wc -l)" -eq 9 ] || fail "parallel: the log does not hold 9 jobs"
echo "parallel: $(head -n 1 stdout.txt); $(cat failed.txt); the log's one failed job is the bad file's"
(cd clone && check_outputs parallel)

# Run where there is no images/ folder: each says so and creates nothing.
cd "$SCRATCH" && mkdir empty && start_clone empty
for recipe in batch-xargs.sh batch-parallel.sh; do
  (cd empty && run_recipe $recipe) > stdout.txt 2> stderr.txt
  [ ! -s stdout.txt ] && [ ! -e empty/out ] &&
    [ "$(cat stderr.txt)" = "no images: no .pgm file under images/ here; nothing done" ] ||
    fail "$recipe with no images: '$(cat stdout.txt stderr.txt)'"
done
echo "no images: both say so and create nothing"
echo "test_batch: passed"
