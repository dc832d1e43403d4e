#!/usr/bin/env bash
# The aspect recipe on a DEM made here (a hill with a flat top, a no-data border):
# its mask against the command on the levels of the cells with data.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh gdaldem
export PYTHONPATH=$(dirname "$(command -v circthresh)")/python:$ROOT/build-python/python  # else installed
"$PY" -c 'import circthresh, osgeo.gdal' 2>/dev/null || fail "missing: the circthresh module or python3-gdal"
make_scratch gis && start_clone clone && cd clone && mkdir out
"$PY" -c 'import numpy as np; from osgeo import gdal, gdal_array
y, x = np.mgrid[0:60, 0:70]   # 4200 cells: one column of a PGM (at most 5000)
dem = np.minimum(400 * np.exp(-(x - 35) ** 2 / 300 - (y - 30) ** 2 / 100) + x / 2, 300)
dem[:, :4] = dem[-3:] = -32768
gdal.Translate("out/dem.tif", gdal_array.OpenArray(dem), noData=-32768, outputSRS="EPSG:32632",
               outputBounds=[6e5, 48e5, 6e5 + 2100, 48e5 - 1800])'
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
echo "test_gis: passed ($(head -n 1 ../report.txt))"
