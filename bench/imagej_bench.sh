#!/usr/bin/env bash
# Times the ImageJ plugin against ImageJ's own Otsu threshold on a 5000 x 5000
# 8-bit image (bench/make_image.cpp), in one ImageJ under a virtual display:
# rounds alternate Circular Threshold with setAutoThreshold("Otsu dark") and
# Convert to Mask, each on a fresh copy, timed with the macro's getTime(); then the
# same image as 32-bit degrees (level x 360 / 256): Circular Threshold with
# period=360 against the path a user takes without it, 8-bit conversion,
# setAutoThreshold("Otsu dark") and Convert to Mask. Prints, for each, the first
# round (before the JIT has compiled the loops), the median of the others with
# their smallest and largest, and their ratio. Not a test.
#
# usage: bash bench/imagej_bench.sh [ROUNDS]   (ROUNDS default 11)
set -euo pipefail
rounds=${1:-11}
root=$(cd "$(dirname "$0")/.." && pwd)
missing=()
command -v g++ >/dev/null || missing+=(g++)
command -v javac >/dev/null && command -v java >/dev/null || missing+=(default-jdk-headless)
[ -f /usr/share/java/ij.jar ] || missing+=(imagej)
command -v xvfb-run >/dev/null || missing+=(xvfb)
[ -x /usr/bin/python3 ] || missing+=(python3)
if [ ${#missing[@]} -ne 0 ]; then
  echo "bench/imagej_bench.sh: missing ${missing[*]} (bash tools/install-imagej-deps.sh installs ImageJ's)" >&2
  exit 1
fi
case $rounds in '' | *[!0-9]* | 0 | 1) echo "bench/imagej_bench.sh: ROUNDS is a whole number of 2 or more" >&2; exit 1 ;; esac

scratch=$(mktemp -d /tmp/circthresh-imagej-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM
bash "$root/imagej/build.sh" "$scratch/plugins" >/dev/null
g++ -O2 -o "$scratch/make_image" "$root/bench/make_image.cpp"
"$scratch/make_image" 5000 5000 "$scratch/image.pgm"
cat > "$scratch/bench.ijm" <<MACRO
open("$scratch/image.pgm");
source = getImageID();
for (r = 1; r <= $rounds; r++) {
  selectImage(source); run("Duplicate...", "title=circular");
  start = getTime(); run("Circular Threshold", " "); circular = getTime() - start;
  close();
  selectImage(source); run("Duplicate...", "title=otsu");
  start = getTime(); setAutoThreshold("Otsu dark"); run("Convert to Mask"); otsu = getTime() - start;
  close();
  print("round 8-bit " + circular + " " + otsu);
}
selectImage(source); run("Duplicate...", "title=degrees"); run("32-bit");
run("Multiply...", "value=1.40625");
degrees = getImageID();
for (r = 1; r <= $rounds; r++) {
  selectImage(degrees);
  start = getTime(); run("Circular Threshold", "period=360 offset=0"); circular = getTime() - start;
  close();
  selectImage(degrees); run("Duplicate...", "title=otsu");
  start = getTime(); run("8-bit"); setAutoThreshold("Otsu dark"); run("Convert to Mask"); otsu = getTime() - start;
  close();
  print("round 32-bit " + circular + " " + otsu);
}
MACRO
timeout 1800 xvfb-run -a java -Xmx2g -Duser.home="$scratch" -Dplugins.dir="$scratch" -jar /usr/share/java/ij.jar \
  -batch "$scratch/bench.ijm" > "$scratch/log.txt"
/usr/bin/python3 - "$scratch/log.txt" <<'PY'
import statistics, sys
lines = [line.split() for line in open(sys.argv[1]) if line.startswith("round ")]
for kind, peer in (("8-bit", "Otsu + Convert to Mask"), ("32-bit", "8-bit + Otsu + Convert to Mask")):
    times = [tuple(map(int, f[2:])) for f in lines if f[1] == kind]
    (first_c, first_o), rest = times[0], times[1:]
    c, o = [t[0] for t in rest], [t[1] for t in rest]
    print("5000 x 5000 %s, ms; first round: Circular Threshold %d, %s %d" % (kind, first_c, peer, first_o))
    print("median of %d more rounds: Circular Threshold %g (%d..%d), %s %g (%d..%d), ratio %.2f"
          % (len(rest), statistics.median(c), min(c), max(c), peer, statistics.median(o), min(o), max(o),
             statistics.median(c) / statistics.median(o)))
PY
