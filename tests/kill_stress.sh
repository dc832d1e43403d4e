#!/usr/bin/env bash
# Kills circthresh with SIGKILL at random moments while it replaces an existing
# 5000 x 5000 output, and checks after each trial that the path holds either the
# old file or the complete new one, and that nothing else was left beside it
# but, from a kill in the instant of the swap of names, the hidden temporary
# name holding the other of the two complete images (counted, nothing lost).
# Then the same where no temporary file can be made: with no descriptor to
# spare (ulimit -n 4), and, as root, on a tmpfs with no free inode; there the
# run must fail at once and leave the old file.
# Not a unit test: a stress run of a few seconds that CI runs after the suite.
#
# usage: tests/kill_stress.sh TOOL [TRIALS]   (default 40; a quarter as many for each resource)
# Prints the counts; exits 1 when any trial lost the file or left a stray file.
set -euo pipefail
tool=${1:?usage: tests/kill_stress.sh TOOL [TRIALS]}
trials=${2:-40}
for need in cmp head sleep date; do
  command -v "$need" >/dev/null || { echo "kill_stress.sh needs $need (apt-get install coreutils diffutils)" >&2; exit 2; }
done
[ -x "$tool" ] || { echo "kill_stress.sh: no executable tool at $tool (build it first)" >&2; exit 2; }

work=$(mktemp -d /tmp/circthresh-kill.XXXXXX)
trap 'umount "$work/full" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out" "$work/full"

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

# trials LABEL COUNT DIR [LIMIT]: runs the tool on DIR/out.pgm, holding the old
# file, under ulimit -n LIMIT if given, killed at random moments, and prints the
# counts; DIR's file "filler" is not a stray.
lost=0
trials() {
  local label=$1 count=$2 dir=$3 limit=${4:-}
  local old=0 new=0 empty=0 partial=0 hidden=0 stray=0 out=$3/out.pgm
  for ((trial = 0; trial < count; trial++)); do
    cp "$work/in/old.out" "$out"
    if [ -n "$limit" ]; then
      bash -c 'ulimit -n "$1" && exec "$2" "$3" "$4"' sh "$limit" "$tool" "$work/in/new.pgm" "$out" > /dev/null 2>&1 &
    else
      "$tool" "$work/in/new.pgm" "$out" > /dev/null 2>&1 &
    fi
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
    for file in "$dir"/* "$dir"/.[!.]*; do
      [ -e "$file" ] && [ "$file" != "$out" ] && [ "$file" != "$dir/filler" ] || continue
      # Killed after the temporary file was named and before the old file's
      # removal: the path and the hidden name hold the old and the new image.
      if [[ ${file##*/} == .circthresh-* ]] &&
         { { cmp -s "$out" "$work/in/old.out" && cmp -s "$file" "$work/in/new.out"; } ||
           { cmp -s "$out" "$work/in/new.out" && cmp -s "$file" "$work/in/old.out"; }; }; then
        hidden=$((hidden + 1))
      else
        stray=$((stray + 1))
      fi
      rm -f "$file"
    done
  done
  echo "$label: old intact $old, complete new $new, empty $empty, partial $partial," \
    "hidden name left with the other image $hidden, stray files $stray"
  lost=$((lost + empty + partial + stray))
}

trials "SIGKILL trials $trials (run about $((span_ms * 5 / 6)) ms)" "$trials" "$work/out"
# Descriptors 0, 1, 2 and one more: the input, then the old file, nothing else.
trials "no descriptor to spare, $((trials / 4 + 1)) trials" $((trials / 4 + 1)) "$work/out" 4
# A tmpfs whose three inodes hold its root, out.pgm and a filler: plenty of room, no inode.
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=64m,nr_inodes=3,mode=755 none "$work/full" 2>/dev/null; then
  : > "$work/full/filler"
  trials "no free inode, $((trials / 4 + 1)) trials" $((trials / 4 + 1)) "$work/full"
else
  echo "no free inode: not tried (needs root and a tmpfs mount)"
fi
[ "$lost" -eq 0 ]
