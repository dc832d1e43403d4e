#!/usr/bin/env bash
# Benchmarks circthresh against `cp` of the same file, against an earlier build
# of itself when given a commit, and against peer tools where they are
# installed. Not part of the test suite.
#
# usage: bench/run.sh [ROUNDS] [BASELINE_COMMIT]   (ROUNDS default 30)
# 1. builds, under one scratch folder: the tool from this tree, a portable
#    reference build without vector code at -O0, and BASELINE_COMMIT if given
#    (from `git archive`); makes deterministic test images there;
# 2. checks that every build gives the same report and the same output bytes;
# 3. times the tool and the earlier build in alternating rounds with cp
#    (bench/rounds.py) on 5000 x 5000 and 1000 x 1000 images, and in a loop of
#    2,000 runs on a 64 x 64 image (a sixth as many rounds, at least 3), and
#    prints per figure the median with the smallest and largest of the
#    per-round ratios and the number of rounds; then the peers, in rounds of
#    their own;
# 4. prints the peak resident memory of each command (/usr/bin/time).
# Needs g++, cmake, /usr/bin/python3 (Debian's python3: rounds.py uses only its
# standard library), /usr/bin/time (package time) and, for a baseline, git:
# bash tools/install-bench-deps.sh installs them, with the peers. Installs
# nothing and needs no root; the scratch folder, images included, is removed
# at the end.
set -euo pipefail
rounds=${1:-30}
baseline=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
python=/usr/bin/python3

need() {  # need COMMAND...
  local missing=() command
  for command in "$@"; do command -v "$command" >/dev/null 2>&1 || missing+=("$command"); done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "bench/run.sh: missing ${missing[*]} (bash tools/install-bench-deps.sh installs them)" >&2
    exit 1
  fi
}
need "$python" /usr/bin/time g++ cmake cmp ${baseline:+git}
case $rounds in
  '' | *[!0-9]* | 0) echo "bench/run.sh: ROUNDS must be a positive number, not '$rounds'" >&2; exit 1 ;;
esac
if [ -n "$baseline" ]; then
  baseline=$(git -C "$root" rev-parse --verify --quiet "$baseline^{commit}") ||
    { echo "bench/run.sh: no commit '$2' in $root" >&2; exit 1; }
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/circthresh-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "scratch folder: $work (removed at the end)"
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores," \
  "Linux $(uname -r); load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

build() {  # build NAME SOURCE CMAKE-OPTIONS...
  local name=$1 source=$2
  shift 2
  if ! { cmake -S "$source" -B "$work/$name" -DCIRCTHRESH_TESTS=OFF "$@" &&
         cmake --build "$work/$name" -j2 --target circthresh; } >"$work/$name.log" 2>&1; then
    tail -n 20 "$work/$name.log" >&2
    echo "bench/run.sh: the $name build failed" >&2
    exit 1
  fi
}
build tool "$root" -DCMAKE_BUILD_TYPE=Release
build plain "$root" -DCMAKE_BUILD_TYPE=Debug -DCIRCTHRESH_PORTABLE=ON
tools=("$work/tool/circthresh" "$work/plain/circthresh")
if [ -n "$baseline" ]; then
  mkdir "$work/baseline-src"
  git -C "$root" archive "$baseline" | tar -x -C "$work/baseline-src"
  build baseline "$work/baseline-src" -DCMAKE_BUILD_TYPE=Release
  tools+=("$work/baseline/circthresh")
  echo "previous build: ${baseline:0:7} $(git -C "$root" log -1 --format=%s "$baseline")"
fi
g++ -O2 -o "$work/make_image" "$root/bench/make_image.cpp"

for size in 5000x5000 1000x1000 64x64 4999x3; do
  image="$work/hue-$size.pgm"
  "$work/make_image" "${size%x*}" "${size#*x}" "$image"
  "$work/plain/circthresh" "$image" "$work/reference.pgm" >"$work/reference.txt"
  for tool in "${tools[@]}"; do
    "$tool" "$image" "$work/check.pgm" >"$work/check.txt"
    if ! cmp -s "$work/check.pgm" "$work/reference.pgm" || ! cmp -s "$work/check.txt" "$work/reference.txt"; then
      echo "bench/run.sh: $tool differs from the portable -O0 build on $image" >&2
      exit 1
    fi
  done
done
echo "every build gives the same report and output bytes as the portable -O0 build"

commands=("circthresh=$work/tool/circthresh {in} {out}")
against=()
if [ -n "$baseline" ]; then
  commands+=("previous build ${baseline:0:7}=$work/baseline/circthresh {in} {out}")
  against=(--against "previous build ${baseline:0:7}")
fi
peers=()
if command -v pamthreshold >/dev/null; then
  # Writes to standard output, which the timing sends to /dev/null: a little
  # cheaper than the file the others write.
  peers+=("netpbm pamthreshold -simple=pamthreshold -simple -threshold 0.5 {in}")
fi
if [ -x /usr/bin/convert ] && /usr/bin/convert -version 2>/dev/null | grep -q ImageMagick; then
  peers+=("ImageMagick convert -threshold 50%=/usr/bin/convert {in} -threshold 50% {out}")
fi

echo
header="| image | command | median time of one run | ratio to cp: median (min-max) |"
rule="|---|---|---|---|"
if [ -n "$baseline" ]; then
  header+=" ratio to previous build: median (min-max) |"
  rule+="---|"
fi
echo "$header rounds |"
echo "$rule---|"
for size in 5000x5000 1000x1000; do
  "$python" "$root/bench/rounds.py" "${against[@]}" "$rounds" "$work/hue-$size.pgm" "$work" \
    "${commands[@]}"
done
small_rounds=$((rounds / 6 > 3 ? rounds / 6 : 3))
"$python" "$root/bench/rounds.py" --loop 2000 "${against[@]}" "$small_rounds" "$work/hue-64x64.pgm" \
  "$work" "${commands[@]}"

# The peers in rounds of their own: ImageMagick's 390 MiB and its threads,
# timed between the others, made their runs slower.
if [ ${#peers[@]} -gt 0 ]; then
  echo
  echo "| image | peer | median time of one run | ratio to cp: median (min-max) | rounds |"
  echo "|---|---|---|---|---|"
  for size in 5000x5000 1000x1000; do
    "$python" "$root/bench/rounds.py" "$rounds" "$work/hue-$size.pgm" "$work" "${peers[@]}" | grep -v '`cp`'
  done
fi
echo
echo "| image | command | peak resident memory (/usr/bin/time -f %M, KiB / 1024) |"
echo "|---|---|---|"
for size in 5000x5000 1000x1000 64x64; do
  for entry in "${commands[@]}" "${peers[@]}"; do
    name=${entry%%=*}
    command=${entry#*=}
    command=${command//\{in\}/$work/hue-$size.pgm}
    command=${command//\{out\}/$work/memory.pgm}
    kb=$( { /usr/bin/time -f %M $command >/dev/null; } 2>&1 | tail -n 1)
    echo "| hue-$size.pgm | $name | $(awk -v kb="$kb" 'BEGIN { printf "%.1f", kb / 1024 }') MiB |"
  done
done
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
