#!/usr/bin/env bash
# The ImageJ plugin's test: builds the jar (imagej/build.sh) and runs one table
# of images and macro options through ImageJ under a virtual display, comparing
# the Log and the pixels with the command and the module of a build.
#
# usage: bash tests/imagej/run.sh BUILD
#   BUILD: a build folder with the command and the Python module
#          (cmake -DCIRCTHRESH_PYTHON=ON: BUILD/circthresh, BUILD/python)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)

missing=()
[ -x "$build/circthresh" ] || missing+=("the command $build/circthresh")
[ -d "$build/python/circthresh" ] || missing+=("the module in $build/python (-DCIRCTHRESH_PYTHON=ON)")
command -v javac >/dev/null && command -v java >/dev/null || missing+=(default-jdk-headless)
[ -f /usr/share/java/ij.jar ] || missing+=(imagej)
command -v xvfb-run >/dev/null || missing+=(xvfb)
/usr/bin/python3 -c 'import numpy' 2>/dev/null || missing+=("python3-numpy for /usr/bin/python3")
if [ ${#missing[@]} -ne 0 ]; then
  echo "tests/imagej/run.sh: missing ${missing[*]} (bash tools/install-imagej-deps.sh installs the packages)" >&2
  exit 1
fi

scratch=$(mktemp -d /tmp/circthresh-imagej-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM
bash "$root/imagej/build.sh" "$scratch/plugins"
mkdir "$scratch/rows"
PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 "$here/plugin_test.py" "$scratch" "$build" "$scratch/rows"
