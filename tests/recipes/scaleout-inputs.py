# Inputs to try the chunked recipes on, in out/: stack.zarr, 4 frames of 1200 x 2000 levels (an
# object of levels 236..255 and 0..20, wrapping through 0, on a background near 128), and
# directions.tif, 3000 x 4000 wind directions in degrees (Float32, UTM zone 32N, tiles of
# 512 x 512): northerlies (around 0 degrees) in the north and southerlies in the south, with
# -9999, the no-data value, on the sea to the west of a wavy coast.
import os

import numpy as np
import dask.array as da  # Debian's python3-dask, python3-zarr, python3-rioxarray:
import xarray as xr      # run with /usr/bin/python3
import rioxarray  # noqa: F401 (the .rio methods)

os.makedirs("out", exist_ok=True)
rng = np.random.default_rng(1)
stack = rng.integers(100, 156, (4, 1200, 2000), dtype=np.uint8)
z, y, x = np.ogrid[:4, :1200, :2000]
disc = (y - 600) ** 2 + (x - 500 - 300 * z) ** 2 < 400 ** 2
stack[disc] = rng.integers(-20, 21, int(disc.sum())).astype(np.uint8)
da.from_array(stack, chunks=(1, 600, 500)).to_zarr("out/stack.zarr", overwrite=True)

y, x = np.mgrid[0:3000, 0:4000]
south = y > 1500 + 300 * np.sin(x / 600)
directions = (np.where(south, 180, 0) + rng.normal(0, 10, y.shape)) % 360
directions[x < 600 + 200 * np.cos(y / 400)] = -9999
grid = xr.DataArray(directions.astype(np.float32), dims=("y", "x"),
                    coords={"y": 52e5 - 25 * np.arange(3000) - 12.5, "x": 4e5 + 25 * np.arange(4000) + 12.5})
grid.rio.write_crs("EPSG:32632").rio.write_nodata(-9999).rio.to_raster(
    "out/directions.tif", tiled=True, blockxsize=512, blockysize=512)
print("wrote out/stack.zarr and out/directions.tif")
