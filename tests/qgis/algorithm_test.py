"""The algorithm circthresh:circularthreshold headless, against circthresh.threshold of the same levels.
Run by tests/qgis/run.sh in a scratch folder, with the plugin installed in a scratch profile.
usage: algorithm_test.py [FULL_FOLDER]  (a folder on a small tmpfs, for the full-disk row)"""
import json, os, subprocess, sys  # noqa: E401
import numpy as np
import circthresh
from osgeo import gdal, gdal_array
from qgis.core import QgsApplication, QgsProcessingException
app = QgsApplication([], False)
app.initQgis()
import processing, circthresh_qgis, circthresh_qgis.algorithm  # noqa: E401,E402 (after initQgis)
from processing.core.Processing import Processing  # noqa: E402
Processing.initialize()
plugin = circthresh_qgis.classFactory(None)
plugin.initProcessing()
circthresh_qgis.algorithm.STRIP_CELLS = 1000  # several strips per raster
full = sys.argv[1] if len(sys.argv) > 1 else None
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
    if data_type == gdal.GDT_Float32 and nodata:  # once: qgis_process, the shell's way, gives the same
        shell = json.loads(subprocess.run(["qgis_process.bin", "--json", "run", "circthresh:circularthreshold", "--",
                                           "INPUT=in.tif", "OUTPUT=shell.tif"], capture_output=True, check=True).stdout)
        checks["qgis_process"] = shell["results"] == {**got, "OUTPUT": "shell.tif"} and np.array_equal(
            gdal.Open("shell.tif").ReadAsArray(), mask.ReadAsArray())
    failed += ["%s (PERIOD %s, OFFSET %s): %s" % (name, period, offset, got) for name, ok in checks.items() if not ok]
    source = mask = None  # closed before exitQgis

# Refused, with a message holding the words: an old file at OUTPUT stays byte for byte, nothing left beside it
# (big.tif: a 120 KB mask, more than the 64 KB tmpfs holds).
gdal.Translate("big.tif", gdal_array.OpenArray(np.tile(aspect, (5, 5))), outputType=gdal.GDT_Float32, outputBounds=[0, 1, 1, 0])
gdal.Translate("huge.tif", gdal_array.OpenArray(np.full((4, 4), 1e308)), outputType=gdal.GDT_Float64, outputBounds=[0, 1, 1, 0])
refusals = [({"INPUT": "in.tif", "OUTPUT": "mask.vrt"}, "cannot create and write VRT rasters"),
            ({"INPUT": "in.tif", "OUTPUT": "mask.tif", "PERIOD": 1e-310}, "PERIOD 1e-310"),
            ({"INPUT": "huge.tif", "OUTPUT": "mask.tif", "PERIOD": 1}, "PERIOD 1.0")]
if full:  # else run.sh said why not
    refusals.append(({"INPUT": "big.tif", "OUTPUT": full + "/mask.tif"}, "No space left on device"))
beside = lambda path: sorted(os.listdir(os.path.dirname(os.path.abspath(path))))  # noqa: E731
for parameters, words in refusals:
    with open(parameters["OUTPUT"], "wb") as old:
        old.write(b"the old mask\n")
    folder = beside(parameters["OUTPUT"])
    try:
        said = "returned %s" % processing.run("circthresh:circularthreshold", parameters)
    except QgsProcessingException as error:
        said = str(error)
    with open(parameters["OUTPUT"], "rb") as old:
        kept = old.read() == b"the old mask\n"
    if words not in said or "Traceback" in said or not kept or beside(parameters["OUTPUT"]) != folder:
        failed.append("%s: %s (old file kept: %s)" % (parameters, said, kept))
app.exitQgis()
print("\n".join("FAIL: " + line for line in failed) or "qgis: passed")
sys.exit(1 if failed else 0)
