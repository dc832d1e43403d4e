import os
import shutil

import dask.array as da  # Debian's python3-dask, python3-distributed and python3-zarr:
from dask.distributed import Client, LocalCluster  # run with /usr/bin/python3

import circthresh

# The workers are processes that import this file: the work starts under this guard only.
if __name__ == "__main__":
    # Two worker processes of one thread, each held to 1 GiB; Client(...) makes the cluster the
    # scheduler of every compute inside. For a cluster of other machines, Client("tcp://host:8786").
    with LocalCluster(n_workers=2, threads_per_worker=1, memory_limit="1GiB",
                      dashboard_address=None) as cluster, Client(cluster):
        stack = da.from_zarr("out/stack.zarr")
        # The chunks are read and counted on the workers; only 256 counts a chunk come back.
        t, sigma_w, binary = circthresh.threshold(stack)
        print("thresholding at %d\nsigma_W %f" % (t, sigma_w))
        # Each worker writes the mask chunks it makes (a shared folder for workers on other machines).
        binary.to_zarr("out/stack-mask.zarr.partial", overwrite=True)
    # The old mask set aside, not removed, until the new one is in its place: a folder cannot
    # be renamed over one that holds files.
    shutil.rmtree("out/stack-mask.zarr.old", ignore_errors=True)
    if os.path.exists("out/stack-mask.zarr"):
        os.rename("out/stack-mask.zarr", "out/stack-mask.zarr.old")
    os.rename("out/stack-mask.zarr.partial", "out/stack-mask.zarr")
    shutil.rmtree("out/stack-mask.zarr.old", ignore_errors=True)
