#!/usr/bin/env bash
# The aspect recipe on the DEM its page makes (a hill with a flat top, a no-data border):
# its mask against the command on the levels of the cells with data (4200, one column of a PGM
# of at most 5000), its report as the page quotes it.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh gdaldem
export PYTHONPATH=$(dirname "$(command -v circthresh)")/python:$ROOT/build-python/python  # else installed
"$PY" -c 'import circthresh, osgeo.gdal' 2>/dev/null || fail "missing: the circthresh module or python3-gdal"
make_scratch gis && start_clone clone && cd clone
run_recipe make-dem.py > ../made.txt || fail "the DEM recipe failed: $(cat ../made.txt)"
run_recipe dem-to-mask.py > ../report.txt || fail "the recipe failed: $(cat ../report.txt)"
"$PY" - <<'PY' || fail "the mask or the report differs from the command's"
import subprocess, numpy as np, circthresh
from osgeo import gdal
dem, aspect, mask = (gdal.Open("out/%s.tif" % name) for name in ("dem", "aspect", "aspect-mask"))
cells, has_data = mask.ReadAsArray(), aspect.ReadAsArray() != -9999
levels = circthresh.angles_to_levels(aspect.ReadAsArray()[has_data], 360)
open("column.pgm", "wb").write(b"P5\n1 %d\n255\n" % levels.size + levels.tobytes())
said = subprocess.run(["circthresh", "column.pgm", "binary.pgm"], check=True, capture_output=True, text=True).stdout
t = int(said.split()[2])
assert open("../report.txt").read() == said + "black: aspect %.3f to %.3f degrees\n" % ((t - .5) * 1.40625, (t + 127.5) * 1.40625)
assert (cells[has_data] == np.fromfile("binary.pgm", np.uint8)[-levels.size:]).all(), "cells"
assert (cells[~has_data] == 128).all() and (cells[dem.ReadAsArray() == -32768] == 128).all() and cells[30, 35] == 128
assert (mask.GetRasterBand(1).GetNoDataValue(), mask.GetGeoTransform(), mask.GetProjection()) == (
    128, dem.GetGeoTransform(), dem.GetProjection())
PY
while read -r line; do grep -qxF "    $line" "$ROOT/docs/gis.md" || fail "docs/gis.md does not quote: $line"; done < ../report.txt
echo "test_gis: passed ($(head -n 1 ../report.txt))"
