# A chunked dask array thresholded globally, as docs/python.md shows it: the
# counts of every chunk summed, one threshold, each chunk binarised. Under the
# threaded scheduler and on a LocalCluster of two worker processes, the result
# must be the in-memory call's, bit for bit.
import numpy as np
import pytest

import circthresh

da = pytest.importorskip("dask.array", reason="needs dask (Debian: python3-dask)")
import dask  # noqa: E402

IMAGE = np.random.default_rng(23).integers(0, 256, (700, 900), dtype=np.uint8)
# A wrapped object (levels 236..255 and 0..20) on a background near 128, so the
# cut is not the first one tried.
IMAGE[100:400, 200:600] = (IMAGE[100:400, 200:600] % 41 - 20).astype(np.uint8)
MASK = IMAGE % 7 != 0


def threshold_chunked(image, mask, **compute_options):
    """The global threshold of a dask array and its binary image, one chunk at a time."""
    parts = [dask.delayed(circthresh.histogram)(block, selection, threads=1)
             for block, selection in zip(image.to_delayed().ravel(), mask.to_delayed().ravel())]
    counts = dask.delayed(sum)(parts).compute(**compute_options)
    t, sigma_w = circthresh.threshold_histogram(counts)
    binary = image.map_blocks(circthresh.apply_threshold, t, dtype=np.uint8)
    return t, sigma_w, binary.compute(**compute_options)


def check_same_as_in_memory(**compute_options):
    chunks = (128, 200)  # uneven at the edges on purpose
    result = threshold_chunked(da.from_array(IMAGE, chunks=chunks),
                               da.from_array(MASK, chunks=chunks), **compute_options)
    t, sigma_w, binary = circthresh.threshold(IMAGE, MASK)
    assert result[:2] == (t, sigma_w) and t not in (-1, 0)
    assert result[2].dtype == np.uint8 and np.array_equal(result[2], binary)


def test_threaded_scheduler():
    check_same_as_in_memory(scheduler="threads")


def test_local_cluster_of_two_processes(scratch):
    distributed = pytest.importorskip("distributed", reason="needs dask.distributed "
                                      "(Debian: python3-distributed)")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, local_directory=scratch) as cluster:
        with distributed.Client(cluster) as client:
            check_same_as_in_memory(scheduler=client)
