#!/usr/bin/env bash
# Fuzzes circthresh on input files with AFL++, then replays every input the
# fuzzer kept (queue, crashes, hangs) through an address- and UB-sanitizer build
# and checks the tool's contract on each.
#
# usage: fuzz/run.sh [SECONDS [INSTANCES]]   (defaults: 600 seconds, 2 instances)
# Results: fuzz/out/ (ignored by git); the figures are printed at the end.
set -euo pipefail
seconds=${1:-600}
instances=${2:-2}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# What it needs, as command:Debian package; nothing is installed here.
missing=$(for need in afl-fuzz:afl++ afl-clang-fast++:afl++ cmake:cmake g++:g++ /usr/bin/python3:python3; do
  command -v "${need%%:*}" >/dev/null || echo "${need#*:}"
done | sort -u | tr '\n' ' ')
if [ -n "$missing" ]; then
  echo "fuzz/run.sh needs ${missing% }: bash tools/install-fuzz-deps.sh installs them" >&2
  exit 1
fi

# Instrumented build for the fuzzer, sanitizer build for the replay.
CC=afl-clang-fast CXX=afl-clang-fast++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Release \
  -DCIRCTHRESH_TESTS=OFF -DCIRCTHRESH_STATIC=OFF >/dev/null
cmake --build build-fuzz -j2 --target circthresh >/dev/null
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCIRCTHRESH_STATIC=OFF -DCIRCTHRESH_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
cmake --build build-asan -j2 --target circthresh >/dev/null

out=fuzz/out
rm -rf "$out"
# For CI too: as root, on a machine whose CPU governor and core dumps are not
# set for fuzzing, without a terminal and with nothing on standard input.
export AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_UI=1 AFL_NO_AFFINITY=1
pids=()
for i in $(seq 1 "$instances"); do
  role=-S; [ "$i" = 1 ] && role=-M
  timeout -s INT "$seconds" afl-fuzz $role "f$i" -i fuzz/seeds -o "$out" -x fuzz/pgm.dict -m none \
    -t 1000 -- build-fuzz/circthresh @@ /dev/null </dev/null >"$out.f$i.log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done

echo "== fuzzing, $instances instance(s) for $seconds s each"
for stats in "$out"/*/fuzzer_stats; do
  awk -F' *: *' '/^(execs_done|corpus_count|corpus_found|edges_found|saved_crashes|saved_hangs|run_time) /{printf "%s=%s  ", $1, $2} END{print ""}' "$stats"
done

echo "== replay through the sanitizer build"
mapfile -t inputs < <(find "$out" -path '*/queue/id*' -o -path '*/crashes/id*' -o -path '*/hangs/id*' | sort)
/usr/bin/python3 fuzz/check_contract.py build-asan/circthresh 10 "${inputs[@]}"
