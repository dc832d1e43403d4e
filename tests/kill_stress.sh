#!/usr/bin/env bash
# Kills circthresh with SIGKILL at random moments while it replaces an existing
# 5000 x 5000 output, and checks after each trial that the path holds either the
# old file or the complete new one, and that nothing else was left beside it.
# Not a unit test: a stress run of a few seconds that CI runs after the suite.
#
# usage: tests/kill_stress.sh TOOL [TRIALS]   (default 40)
# Prints the counts; exits 1 when any trial lost the file or left a stray file.
set -euo pipefail
tool=${1:?usage: tests/kill_stress.sh TOOL [TRIALS]}
trials=${2:-40}
for need in cmp head sleep date; do
  command -v "$need" >/dev/null || { echo "kill_stress.sh needs $need (apt-get install coreutils diffutils)" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "kill_stress.sh: no executable tool at $tool (build it first)" >&2; exit 2; }

work=$(mktemp -d /tmp/circthresh-kill.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out"

# Two different random images; their outputs are the old file and the new one.
for name in old new; do
  { printf 'P5 5000 5000 255\n'; head -c 25000000 /dev/urandom; } > "$work/in/$name.pgm"
  "$tool" "$work/in/$name.pgm" "$work/in/$name.out" > /dev/null
done
if cmp -s "$work/in/old.out" "$work/in/new.out"; then
  echo "kill_stress.sh: the two random images gave the same output; run again" >&2
  exit 2
fi

# Delays spread over the whole run, reading included, and a little beyond.
start=$(date +%s%N)
for _ in 1 2 3; do "$tool" "$work/in/new.pgm" "$work/out/out.pgm" > /dev/null; done
span_ms=$(( ($(date +%s%N) - start) / 2500000 + 1 ))

old=0 new=0 empty=0 partial=0 stray=0
out=$work/out/out.pgm
for ((trial = 0; trial < trials; trial++)); do
  cp "$work/in/old.out" "$out"
  "$tool" "$work/in/new.pgm" "$out" > /dev/null &
  pid=$!
  delay=$(( RANDOM % span_ms ))
  sleep "$((delay / 1000)).$(printf %03d $((delay % 1000)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if cmp -s "$out" "$work/in/old.out"; then old=$((old + 1))
  elif cmp -s "$out" "$work/in/new.out"; then new=$((new + 1))
  elif [ ! -s "$out" ]; then empty=$((empty + 1))
  else partial=$((partial + 1))
  fi
  for file in "$work/out"/* "$work/out"/.[!.]*; do
    [ -e "$file" ] && [ "$file" != "$out" ] && { stray=$((stray + 1)); rm -f "$file"; }
  done
done

echo "SIGKILL trials $trials (run about $((span_ms * 5 / 6)) ms): old intact $old, complete new $new," \
  "empty $empty, partial $partial, stray files $stray"
[ $((empty + partial + stray)) -eq 0 ]
