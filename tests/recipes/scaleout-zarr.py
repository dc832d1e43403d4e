import os
import shutil

import dask.array as da  # Debian's python3-dask and python3-zarr: run with /usr/bin/python3

import circthresh

# Frames x rows x columns of levels, read a chunk at a time by each task.
stack = da.from_zarr("out/stack.zarr")
# One histogram over every frame: counted a chunk a task, summed, and the threshold found on the sum.
t, sigma_w, binary = circthresh.threshold(stack)
print("thresholding at %d\nsigma_W %f" % (t, sigma_w))
# The mask, a dask array of the stack's chunks, written chunk by chunk beside the old one, which
# it replaces once every chunk is written.
binary.to_zarr("out/stack-mask.zarr.partial", overwrite=True)
# The old mask set aside, not removed, until the new one is in its place: a folder cannot
# be renamed over one that holds files.
shutil.rmtree("out/stack-mask.zarr.old", ignore_errors=True)
if os.path.exists("out/stack-mask.zarr"):
    os.rename("out/stack-mask.zarr", "out/stack-mask.zarr.old")
os.rename("out/stack-mask.zarr.partial", "out/stack-mask.zarr")
shutil.rmtree("out/stack-mask.zarr.old", ignore_errors=True)
