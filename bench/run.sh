#!/usr/bin/env bash
# Benchmarks circthresh against `cp` of the same file, and against peer tools
# where they are installed. Not part of the test suite.
#
# usage: bench/run.sh [ROUNDS]   (default 30)
# 1. builds the tool (build/) and a portable reference build without vector
#    code at -O0 (build-bench-plain/), and makes the test images;
# 2. checks that both builds give the same report and the same output bytes;
# 3. times each command against cp in alternating rounds and prints a table of
#    medians and ratios to cp, then the peak memory of each (/usr/bin/time).
set -euo pipefail
rounds=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=${BENCH_DIR:-/tmp/circthresh-bench}
mkdir -p "$work"

command -v python3 >/dev/null || { echo "bench needs python3" >&2; exit 1; }
[ -x /usr/bin/time ] || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time; }

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j2 --target circthresh >/dev/null
cmake -S . -B build-bench-plain -DCMAKE_BUILD_TYPE=Debug -DCIRCTHRESH_PORTABLE=ON -DCIRCTHRESH_TESTS=OFF >/dev/null
cmake --build build-bench-plain -j2 --target circthresh >/dev/null
g++ -O2 -o "$work/make_image" bench/make_image.cpp

tool=build/circthresh
for size in 5000 1000 4999x3; do
  w=${size%x*}; h=${size#*x}; [ "$size" = "$w" ] && h=$w
  image="$work/hue-${w}x${h}.pgm"
  [ -f "$image" ] || "$work/make_image" "$w" "$h" "$image"
  "$tool" "$image" "$work/fast.pgm" > "$work/fast.txt"
  build-bench-plain/circthresh "$image" "$work/plain.pgm" > "$work/plain.txt"
  if ! cmp -s "$work/fast.pgm" "$work/plain.pgm" || ! cmp -s "$work/fast.txt" "$work/plain.txt"; then
    echo "the fast build differs from the plain build on $image" >&2
    exit 1
  fi
done
echo "fast and plain builds agree on every image"

peers=()
if command -v pamthreshold >/dev/null; then
  # Writes to standard output, which the timing sends to /dev/null: a little
  # cheaper than the file the others write.
  peers+=("netpbm pamthreshold -simple=pamthreshold -simple -threshold 0.5 {in}")
fi
if [ -x /usr/bin/convert ] && /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
  peers+=("ImageMagick convert -threshold 50%=/usr/bin/convert {in} -threshold 50% {out}")
fi
commands=("circthresh=$tool {in} {out}" "${peers[@]}")

echo
echo "| image | command | median wall time | ratio to cp |"
echo "|---|---|---|---|"
for w in 5000 1000; do
  python3 bench/timing.py "$rounds" "$work/hue-${w}x${w}.pgm" "$work" "${commands[@]}"
done

echo
echo "| image | command | peak resident memory (/usr/bin/time -f %M) |"
echo "|---|---|---|"
for w in 5000 1000; do
  for entry in "${commands[@]}"; do
    name=${entry%%=*}
    command=${entry#*=}
    command=${command//\{in\}/$work/hue-${w}x${w}.pgm}
    command=${command//\{out\}/$work/mem.pgm}
    kb=$( { /usr/bin/time -f %M $command >/dev/null; } 2>&1 | tail -n 1)
    echo "| hue-${w}x${w}.pgm | $name | $((kb / 1024)) MiB ($kb KB) |"
  done
done
