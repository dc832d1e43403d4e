#!/usr/bin/env bash
# Installs, on Debian, what the benchmarks need and the machine lacks:
# bench/run.sh's time (for /usr/bin/time), g++, CMake, make, diffutils and git,
# with netpbm and ImageMagick, the peers it times where installed; and
# bench/python_bench.py's numpy, OpenCV, scikit-image, dask and
# dask.distributed for Debian's /usr/bin/python3. The module it times is built
# as tools/install-python-deps.sh prepares; bench/web_timing.py needs what
# tools/install-web-deps.sh installs. Not root, it installs through sudo and
# says so; it installs nothing when nothing is missing.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
# What Python imports is checked from /: in the top of a clone, a folder named
# like a package would import in its place.
cd /
need=()
[ -x /usr/bin/time ] || need+=(time)
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v cmp >/dev/null || need+=(diffutils)
command -v git >/dev/null || need+=(git)
command -v pamthreshold >/dev/null || need+=(netpbm)
/usr/bin/convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
python=/usr/bin/python3
[ -x "$python" ] || need+=(python3)
for module in numpy:python3-numpy cv2:python3-opencv skimage.filters:python3-skimage \
              dask.array:python3-dask distributed:python3-distributed; do
  [ -x "$python" ] && "$python" -c "import ${module%%:*}" 2>/dev/null || need+=("${module#*:}")
done
install_packages install-bench-deps
