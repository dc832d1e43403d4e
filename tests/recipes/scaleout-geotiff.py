import os
import threading

import rioxarray  # Debian's python3-rioxarray: run with /usr/bin/python3

import circthresh

# Read lazily in chunks of 2048 x 2048 cells, whole tiles of the file's; masked=True makes the
# band's no-data value (and any NaN) NaN.
angles = rioxarray.open_rasterio("out/directions.tif", chunks={"y": 2048, "x": 2048}, masked=True).sel(band=1)
has_data = angles.notnull()

# Cells without data stay out of the histogram, and are no-data (128) in the mask.
levels = circthresh.angles_to_levels(angles.fillna(0), 360)
t, sigma_w, binary = circthresh.threshold(levels, mask=has_data)
print("thresholding at %d\nsigma_W %f" % (t, sigma_w))
mask = binary.where(has_data, 128).astype("uint8").rio.write_nodata(128)

# Tiled, with the input's CRS and transform, written a chunk at a time beside the old file,
# which it replaces once every chunk is written. Without a lock rioxarray would compute the
# whole mask in memory first.
mask.rio.to_raster("out/directions-mask.tif.partial", driver="GTiff", tiled=True, blockxsize=512,
                   blockysize=512, compress="deflate", lock=threading.Lock())
os.replace("out/directions-mask.tif.partial", "out/directions-mask.tif")
# Level k holds the directions within half a step of k steps, a step being 360/256 degrees.
print("black: %.3f to %.3f degrees" % ((t - 0.5) * 360 / 256, (t + 127.5) * 360 / 256))
