#!/usr/bin/env bash
# Times the k-class search of the C library (bench/classes_timing.c): a
# histogram with all 256 levels occupied, the median of 21 calls for 2, 3, 4,
# 8 and 16 classes; the targets are 1 ms for 3 classes and 10 ms for 8. Not
# part of the test suite.
#
# usage: bench/classes.sh [BUILD]   BUILD: a release build folder holding
#   libcircthresh.so.1 (default: a fresh build in a scratch folder, removed at
#   the end). Needs cmake, g++ and cc.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for tool in cmake g++ cc; do
  command -v "$tool" >/dev/null || { echo "bench/classes.sh: missing $tool (apt-get install cmake g++ gcc)" >&2; exit 1; }
done
scratch=$(mktemp -d /tmp/circthresh-classes-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
build=${1:-}
if [ -z "$build" ]; then
  build=$scratch/build
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCIRCTHRESH_TESTS=OFF >/dev/null
  cmake --build "$build" -j2 --target circthresh_library >/dev/null
fi
build=$(cd "$build" && pwd)
cc -O2 -std=c99 -D_POSIX_C_SOURCE=199309L -I"$root/include" -I"$build/include" \
  "$root/bench/classes_timing.c" -L"$build" -lcircthresh -Wl,-rpath,"$build" -o "$scratch/classes_timing"
"$scratch/classes_timing"
