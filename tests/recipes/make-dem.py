# A small DEM to try the aspect recipe on: out/dem.tif, 70 x 60 cells of 30 m in UTM zone 32N,
# a hill with a flat top (cut at 300 m) on ground rising to the east, and a no-data border.
import os

import numpy as np
from osgeo import gdal, gdal_array  # Debian's python3-gdal: run with /usr/bin/python3

gdal.UseExceptions()
y, x = np.mgrid[0:60, 0:70]
dem = np.minimum(400 * np.exp(-(x - 35) ** 2 / 300 - (y - 30) ** 2 / 100) + x / 2, 300)
dem[:, :4] = dem[-3:] = -32768  # no data: the four columns on the west, the three rows on the south
os.makedirs("out", exist_ok=True)
gdal.Translate("out/dem.tif", gdal_array.OpenArray(dem), noData=-32768, outputSRS="EPSG:32632",
               outputBounds=[6e5, 48e5, 6e5 + 2100, 48e5 - 1800])
print("wrote out/dem.tif")
