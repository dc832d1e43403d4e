import subprocess

import numpy as np
from osgeo import gdal  # Debian's python3-gdal: run with /usr/bin/python3

import circthresh

gdal.UseExceptions()
# Aspect in degrees from north; -9999 (its no-data) where flat or where the DEM has none.
subprocess.run(["gdaldem", "aspect", "-compute_edges", "-q", "out/dem.tif", "out/aspect.tif"], check=True)
aspect = gdal.Open("out/aspect.tif")
angles = aspect.ReadAsArray()
has_data = angles != aspect.GetRasterBand(1).GetNoDataValue()

# Cells without data stay out of the histogram, and are no-data (128) in the mask.
levels = circthresh.angles_to_levels(np.where(has_data, angles, 0), 360)
t, sigma_w, binary = circthresh.threshold(levels, mask=has_data)
binary[~has_data] = 128
# A Byte copy of the aspect raster (its size, geotransform and CRS), overwritten.
mask = gdal.Translate("out/aspect-mask.tif", aspect, outputType=gdal.GDT_Byte, noData=128)
mask.GetRasterBand(1).WriteArray(binary)
mask = aspect = None  # closing writes the file
print("thresholding at %d\nsigma_W %f" % (t, sigma_w))
# Level k holds the aspects within half a step of k steps, a step being 360/256 degrees.
print("black: aspect %.3f to %.3f degrees" % ((t - 0.5) * 360 / 256, (t + 127.5) * 360 / 256))
