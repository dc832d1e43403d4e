#!/usr/bin/env bash
# The QGIS plugin headless, unpacked from its zip as "Install from ZIP" does: its algorithm run
# by processing.run against circthresh.threshold of the same levels, one row per raster of angles.
# usage: tests/qgis/run.sh [BUILD_DIR, default build-python]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export PYTHONPATH=$(cd "${1:-$here/../../build-python}" && pwd)/python:/usr/share/qgis/python/plugins
/usr/bin/python3 -c 'import circthresh, osgeo.gdal, qgis.core, processing' 2>/dev/null ||
  { echo "missing: the circthresh module (in ${1:-build-python}/python), python3-gdal or python3-qgis"; exit 1; }
scratch=$(mktemp -d /tmp/circthresh-qgis.XXXXXX) && trap 'rm -rf "$scratch"' EXIT
bash "$here/../../qgis/build_zip.sh" "$scratch" && /usr/bin/python3 -m zipfile -e "$scratch/circthresh_qgis.zip" "$scratch"
said=$(PYTHONPATH=$scratch /usr/bin/python3 -c 'import sys; sys.modules["circthresh"] = None
import circthresh_qgis; circthresh_qgis.classFactory(None)' 2>&1) || true
[[ $said == *"python3-circthresh, or pip install circthresh"* ]] || { echo "FAIL: without the module: $said"; exit 1; }
# QGIS writes a profile into HOME, Qt its runtime and temporary files: the
# scratch folder, so that nothing is left in /tmp.
cd "$scratch" && HOME=$scratch XDG_RUNTIME_DIR=$scratch TMPDIR=$scratch QT_QPA_PLATFORM=offscreen PYTHONDONTWRITEBYTECODE=1 PYTHONPATH=$scratch:$PYTHONPATH \
  /usr/bin/python3 - <<'PY'
import sys, numpy as np, circthresh
from osgeo import gdal, gdal_array
from qgis.core import QgsApplication
app = QgsApplication([], False)
app.initQgis()
import processing, circthresh_qgis, circthresh_qgis.algorithm  # noqa: E401,E402 (after initQgis)
from processing.core.Processing import Processing  # noqa: E402
Processing.initialize()
plugin = circthresh_qgis.classFactory(None)
plugin.initProcessing()
circthresh_qgis.algorithm.STRIP_CELLS = 1000  # several strips per raster
y, x = np.mgrid[0:60, 0:80]
# One cluster across 0 = 360, one around 150; no-data (-9999, 81 degrees if counted), NaN, 1e30.
aspect = np.where(x < 40, (350 + 30 * np.sin(y / 3)) % 360, 150 + 25 * np.cos(x / 4))
aspect[(x - 60) ** 2 + (y - 40) ** 2 < 300], aspect[::7, ::5], aspect[:, 3] = -9999, np.nan, 1e30
failed = []
for data_type, nodata, band, period, offset, angles in [  # the other band: the angles upside down
        (gdal.GDT_Float32, -9999, 1, 360, 0, aspect),
        (gdal.GDT_Float64, -9999, 2, 180, 0, np.where(aspect == -9999, aspect, aspect % 180)),
        (gdal.GDT_Int16, -9999, 1, 360, 100.5, np.nan_to_num(aspect, nan=-9999, posinf=-9999)),
        (gdal.GDT_Float32, None, 1, 360, -180, aspect - 180)]:
    gdal.Translate("in.tif", gdal_array.OpenArray(np.stack([angles, angles[::-1]])), outputType=data_type,
                   noData=nodata, outputSRS="EPSG:32633", outputBounds=[5e5, 52e5, 502e3, 51985e2])
    source = gdal.Open("in.tif")
    stored = source.GetRasterBand(band).ReadAsArray()
    has_data = np.isfinite(stored) & (stored != nodata)
    t, sigma_w, binary = circthresh.threshold(
        circthresh.angles_to_levels(np.where(has_data, stored, 0), period, offset), has_data)
    got = processing.run("circthresh:circularthreshold", {"INPUT": "in.tif", "OUTPUT": "mask.tif", **(
        {} if (band, period, offset) == (1, 360, 0) else {"BAND": band, "PERIOD": period, "OFFSET": offset})})
    mask = gdal.Open(got["OUTPUT"])
    ends = circthresh.angles_to_levels([got["BLACK_FROM"] + 1e-6, got["BLACK_TO"] - 1e-6], period, offset)
    checks = {"t, sigma_W, black ends": (got["THRESHOLD"], got["SIGMA_W"], list(ends)) == (t, sigma_w, [t % 256, t + 127]),
              "cells": np.array_equal(mask.ReadAsArray(), np.where(has_data, binary, 128)),
              "Byte, no-data 128, transform, CRS": (mask.GetRasterBand(1).DataType, mask.GetRasterBand(1).GetNoDataValue(),
              mask.GetGeoTransform(), mask.GetProjection()) == (gdal.GDT_Byte, 128, source.GetGeoTransform(), source.GetProjection())}
    failed += ["%s (PERIOD %s, OFFSET %s): %s" % (name, period, offset, got) for name, ok in checks.items() if not ok]
    source = mask = None  # closed before exitQgis
app.exitQgis()
print("\n".join("FAIL: " + line for line in failed) or "qgis: passed")
sys.exit(1 if failed else 0)
PY
