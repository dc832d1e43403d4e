#!/usr/bin/env bash
# Builds the ImageJ plugin: one jar, Circular_Threshold.jar, with its
# plugins.config, compiled for Java 8 against Debian's ImageJ.
#
# usage: bash imagej/build.sh OUTDIR
#   OUTDIR: where the jar goes (made if missing)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ij=${IMAGEJ_JAR:-/usr/share/java/ij.jar}
[ $# -eq 1 ] || { echo "usage: bash imagej/build.sh OUTDIR" >&2; exit 1; }
missing=()
command -v javac >/dev/null && command -v jar >/dev/null || missing+=("javac and jar (default-jdk-headless)")
[ -f "$ij" ] || missing+=("$ij (imagej)")
if [ ${#missing[@]} -ne 0 ]; then
  echo "imagej/build.sh: missing ${missing[*]} (bash tools/install-imagej-deps.sh installs them)" >&2
  exit 1
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
classes=$(mktemp -d /tmp/circthresh-imagej-build.XXXXXX)
trap 'rm -rf "$classes"' EXIT
# Java 8 classes run in every ImageJ and Fiji of today; -Werror keeps the
# sources free of warnings, but for javac 17's note that strictfp is the rule
# now: the search needs it on a Java 8 runtime. No performance file in /tmp.
javac -J-XX:-UsePerfData --release 8 -Xlint:all,-strictfp -Werror -encoding UTF-8 -cp "$ij" -d "$classes" "$here"/circthresh/*.java
cp "$here/plugins.config" "$classes/"
# ImageJ installs a jar's commands only when its name holds an underscore.
jar -J-XX:-UsePerfData cf "$out/Circular_Threshold.jar" -C "$classes" .
echo "imagej/build.sh: $out/Circular_Threshold.jar"
