#!/usr/bin/env bash
# The QGIS plugin headless, unpacked from its zip into a scratch profile as "Install from ZIP"
# does, enabled by qgis_process: tests/qgis/algorithm_test.py runs its algorithm against the module.
# usage: tests/qgis/run.sh [BUILD_DIR, default build-python]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONPATH=$(cd "${1:-$here/../../build-python}" && pwd)/python:/usr/share/qgis/python/plugins
/usr/bin/python3 -c 'import circthresh, osgeo.gdal, qgis.core, processing' 2>/dev/null && command -v qgis_process.bin >/dev/null ||
  { echo "missing: the circthresh module (in ${1:-build-python}/python), python3-gdal, python3-qgis or qgis"; exit 1; }
scratch=$(mktemp -d /tmp/circthresh-qgis.XXXXXX) && trap 'rm -rf "$scratch"' EXIT
bash "$here/../../qgis/build_zip.sh" "$scratch" && /usr/bin/python3 -m zipfile -e "$scratch/circthresh_qgis.zip" "$scratch"
said=$(PYTHONPATH=$scratch /usr/bin/python3 -c 'import sys; sys.modules["circthresh"] = None
import circthresh_qgis; circthresh_qgis.classFactory(None)' 2>&1) || true
[[ $said == *"python3-circthresh, or pip install circthresh"* ]] || { echo "FAIL: without the module: $said"; exit 1; }
# QGIS writes a profile into HOME, Qt its runtime and temporary files: the
# scratch folder, so that nothing is left in /tmp. The plugin goes into that
# profile as into a user's, and qgis_process enables it there.
export HOME=$scratch XDG_RUNTIME_DIR=$scratch TMPDIR=$scratch QT_QPA_PLATFORM=offscreen PYTHONDONTWRITEBYTECODE=1
plugins=$scratch/.local/share/QGIS/QGIS3/profiles/default/python/plugins
mkdir -p "$plugins" && chmod 700 "$scratch" && mv "$scratch/circthresh_qgis" "$plugins/"
qgis_process.bin plugins enable circthresh_qgis >/dev/null 2>&1 || { echo "FAIL: qgis_process plugins enable circthresh_qgis"; exit 1; }
# The full-disk row: a tmpfs too small for the mask, unmounted on the way out.
full=()
if [ "$(id -u)" != 0 ]; then
  echo "qgis: the full-disk row skipped: mounting a small tmpfs needs root"
elif mkdir "$scratch/full" && mount -t tmpfs -o size=64k circthresh-full "$scratch/full"; then
  full=("$scratch/full") && trap 'umount "$scratch/full"; rm -rf "$scratch"' EXIT
else
  echo "qgis: the full-disk row skipped: mount -t tmpfs failed"
fi
cd "$scratch" && PYTHONPATH=$plugins:$PYTHONPATH /usr/bin/python3 "$here/algorithm_test.py" "${full[@]}"
