# A chunked dask array thresholded globally with docs/python.md's code: the
# counts of every chunk summed, one threshold, each chunk binarised. Under the
# threaded scheduler and on a LocalCluster of two worker processes, the result
# must be the in-memory call's, bit for bit.
import numpy as np
import pytest

import circthresh

da = pytest.importorskip("dask.array", reason="needs dask (Debian: python3-dask)")
import dask  # noqa: E402

IMAGE = np.random.default_rng(23).integers(0, 256, (700, 900), dtype=np.uint8)
# A wrapped object (levels 236..255 and 0..20) on noise of every level, so the
# cut is not the first one tried.
IMAGE[100:400, 200:600] = (IMAGE[100:400, 200:600] % 41 - 20).astype(np.uint8)
MASK = IMAGE % 7 != 0


def threshold_chunked(image, mask=None):
    """Global threshold of a 2-D dask array: (t, sigma_w, binary dask array)."""
    blocks = image.to_delayed().ravel()
    masks = mask.to_delayed().ravel() if mask is not None else [None] * len(blocks)
    # One thread a chunk: dask already runs as many chunks at once as it has workers.
    parts = [dask.delayed(circthresh.histogram)(block, selection, threads=1)
             for block, selection in zip(blocks, masks)]
    t, sigma_w = circthresh.threshold_histogram(dask.delayed(sum)(parts).compute())
    return t, sigma_w, image.map_blocks(circthresh.apply_threshold, t, threads=1, dtype=np.uint8)


def check_same_as_in_memory():
    chunks = (128, 200)  # uneven at the edges on purpose
    image = da.from_array(IMAGE, chunks=chunks)
    for mask in (None, MASK):
        found = threshold_chunked(image, None if mask is None else da.from_array(mask, chunks))
        t, sigma_w, binary = circthresh.threshold(IMAGE, mask)
        assert found[:2] == (t, sigma_w) and t not in (-1, 0)
        computed = found[2].compute()
        assert computed.dtype == np.uint8 and np.array_equal(computed, binary)


def test_threaded_scheduler():
    with dask.config.set(scheduler="threads"):
        check_same_as_in_memory()


def test_local_cluster_of_two_processes(scratch):
    distributed = pytest.importorskip("distributed", reason="needs dask.distributed "
                                      "(Debian: python3-distributed)")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=scratch) as cluster:
        with distributed.Client(cluster):  # the scheduler of every compute inside
            check_same_as_in_memory()
