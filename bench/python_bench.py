#!/usr/bin/python3
"""Times the Python module circthresh against OpenCV, scikit-image and numpy on
the same arrays, in paired rounds in one process, then a chunked dask array
thresholded globally under the threaded scheduler and on a LocalCluster of two
worker processes, against the in-memory call. Not part of the test suite.

usage: PYTHONPATH=build-python/python /usr/bin/python3 bench/python_bench.py
           [--rounds N] [--dask-size N] [--dask-rounds N] [--no-dask]

Run with Debian's /usr/bin/python3 (python3-numpy, python3-opencv,
python3-skimage, python3-dask, python3-distributed). Each round runs every
contender of a table once, starting one place further along the list each
round, so that drifts of a shared machine hit all of them alike. Each row gives
the median wall time of one call, the median process CPU time (all threads),
and the median with the smallest and largest of the per-round ratios of wall
time to the table's reference. Every contender's result is checked against the
module's first. The dask part makes its chunks where they are used (on the
workers for the cluster), checks the results against the in-memory call bit for
bit (outside the timing) and gives the median and range of its rounds.
Installs nothing; the cluster's scratch folder is removed at the end.
"""
import argparse
import os
import platform
import statistics
import sys
import tempfile
import time

try:
    import numpy as np
    import cv2
    import skimage.filters
    import circthresh
    from circthresh import _checks
except ImportError as missing:
    sys.exit("bench/python_bench.py: missing %s (bash tools/install-bench-deps.sh installs "
             "the Debian packages; circthresh from PYTHONPATH=build-python/python)" % missing.name)

CHUNK = 2000


def hue_like(rows, columns, seed):
    """An object of levels 236..255 and 0..20 (wrapping through 0) on a background near 128."""
    rng = np.random.default_rng(seed)
    image = rng.integers(100, 156, (rows, columns), dtype=np.uint8)
    y, x = np.ogrid[:rows, :columns]
    disc = (y - rows / 2) ** 2 + (x - columns / 3) ** 2 < (min(rows, columns) / 3) ** 2
    image[disc] = rng.integers(-20, 21, int(disc.sum())).astype(np.uint8)
    return image


def spread(values, scale=1.0):
    return "%.2f (%.2f-%.2f)" % tuple(scale * v for v in (statistics.median(values), min(values),
                                                         max(values)))


def time_call(call):
    wall, cpu = time.perf_counter(), time.process_time()
    call()
    return time.perf_counter() - wall, time.process_time() - cpu


def table(title, contenders, reference, rounds):
    """contenders: (name, call) pairs; prints a markdown table, ratios to reference."""
    print("\n%s, %d rounds\n" % (title, rounds))
    print("| call | median wall time | median CPU time | ratio to %s: median (min-max) |"
          % reference)
    print("|---|---|---|---|")
    walls = {name: [] for name, _ in contenders}
    cpus = {name: [] for name, _ in contenders}
    for round_number in range(rounds):
        start = round_number % len(contenders)
        for name, call in contenders[start:] + contenders[:start]:
            wall, cpu = time_call(call)
            walls[name].append(wall)
            cpus[name].append(cpu)
    for name, _ in contenders:
        ratios = [w / r for w, r in zip(walls[name], walls[reference])]
        print("| %s | %.2f ms | %.2f ms | %s |" % (name, 1e3 * statistics.median(walls[name]),
                                                  1e3 * statistics.median(cpus[name]),
                                                  spread(ratios)))


def check(name, got, expected):
    if not np.array_equal(got, expected):
        sys.exit("bench/python_bench.py: %s gives another result than the module" % name)


def whole_image_table(rounds):
    image = hue_like(5000, 5000, 1)
    t, _, binary = circthresh.threshold(image)
    counts = circthresh.histogram(image)
    # OpenCV and scikit-image cut the line, not the circle: their binaries are
    # their own, checked only for shape; the numpy glue must match exactly.
    lut = circthresh.apply_threshold(np.arange(256, dtype=np.uint8), t)

    def numpy_glue():
        found, _ = circthresh.threshold_histogram(np.bincount(image.ravel(), minlength=256))
        return lut[image] if found == t else None

    check("numpy glue", numpy_glue(), binary)
    check("counts", np.bincount(image.ravel(), minlength=256), counts)
    contenders = [
        ("circthresh.threshold (threads=None: %d)" % _checks.thread_count(None, image.size),
         lambda: circthresh.threshold(image)),
        ("circthresh.threshold (threads=1)", lambda: circthresh.threshold(image, threads=1)),
        ("cv2.threshold(THRESH_BINARY or THRESH_OTSU)",
         lambda: cv2.threshold(image, 0, 255, cv2.THRESH_BINARY | cv2.THRESH_OTSU)),
        ("skimage threshold_otsu + comparison",
         lambda: image > skimage.filters.threshold_otsu(image)),
        ("numpy: np.bincount + threshold_histogram + look-up table", numpy_glue),
    ]
    table("threshold of a 5000 x 5000 uint8 image", contenders,
          "cv2.threshold(THRESH_BINARY or THRESH_OTSU)", rounds)


def chunk_table(rounds):
    chunk = hue_like(CHUNK, CHUNK, 2)
    counts = circthresh.histogram(chunk)
    check("np.bincount", np.bincount(chunk.ravel(), minlength=256), counts)
    t, _ = circthresh.threshold_histogram(counts)
    lut = circthresh.apply_threshold(np.arange(256, dtype=np.uint8), t)
    check("look-up table", lut[chunk], circthresh.apply_threshold(chunk, t))
    contenders = [
        ("circthresh.histogram (threads=None: %d)" % _checks.thread_count(None, chunk.size),
         lambda: circthresh.histogram(chunk)),
        ("circthresh.histogram (threads=1)", lambda: circthresh.histogram(chunk, threads=1)),
        ("np.bincount(chunk.ravel(), minlength=256)",
         lambda: np.bincount(chunk.ravel(), minlength=256)),
        ("cv2.calcHist", lambda: cv2.calcHist([chunk], [0], None, [256], [0, 256])),
        ("circthresh.apply_threshold (threads=1)",
         lambda: circthresh.apply_threshold(chunk, t, threads=1)),
        ("numpy look-up table lut[chunk]", lambda: lut[chunk]),
    ]
    table("%d x %d chunk: counting and binarising" % (CHUNK, CHUNK), contenders,
          "np.bincount(chunk.ravel(), minlength=256)", rounds)


def make_chunk(block_info=None):
    """The chunk at its place in the big array, the same wherever it is made."""
    (row, _), (column, _) = block_info[None]["array-location"]
    rows, columns = block_info[None]["chunk-shape"]
    return hue_like(rows, columns, (row * 7919 + column) % 2**32)


def threshold_chunks(image):
    """The global threshold of a dask array and its binary chunks, kept where they are."""
    import dask
    parts = [dask.delayed(circthresh.histogram)(block, threads=1)
             for block in image.to_delayed().ravel()]
    t, sigma_w = circthresh.threshold_histogram(dask.delayed(sum)(parts).compute())
    binary = image.map_blocks(circthresh.apply_threshold, t, threads=1, dtype=np.uint8)
    return t, sigma_w, binary.persist()


def dask_table(size, rounds):
    try:
        import dask
        import dask.array as da
        import distributed
    except ImportError as missing:
        sys.exit("bench/python_bench.py: missing %s (Debian: python3-dask python3-distributed); "
                 "--no-dask leaves the dask runs out" % missing.name)
    print("\n%d x %d uint8 (%d MB), chunks of %d x %d, %d rounds each\n"
          % (size, size, size * size // 10**6, CHUNK, CHUNK, rounds))
    generated = da.map_blocks(make_chunk, chunks=((CHUNK,) * (size // CHUNK),) * 2,
                              dtype=np.uint8)
    whole = generated.compute(scheduler="threads")
    expected = circthresh.threshold(whole)
    times = {}
    in_memory = [time_call(lambda: circthresh.threshold(whole))[0] for _ in range(rounds)]
    in_memory_one = [time_call(lambda: circthresh.threshold(whole, threads=1))[0]
                     for _ in range(rounds)]

    chunked = da.from_array(whole, chunks=CHUNK)
    with dask.config.set(scheduler="threads"):
        times["threaded"] = []
        for _ in range(rounds):
            start = time.perf_counter()
            result = threshold_chunks(chunked)
            times["threaded"].append(time.perf_counter() - start)
        same(result, expected, "threaded")
        del result

    with tempfile.TemporaryDirectory(prefix="circthresh-bench-") as scratch:
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None, local_directory=scratch) as cluster:
            with distributed.Client(cluster) as client:
                on_workers = generated.persist()
                distributed.wait(on_workers)
                times["distributed"] = []
                for _ in range(rounds):
                    start = time.perf_counter()
                    result = threshold_chunks(on_workers)
                    distributed.wait(result[2])
                    times["distributed"].append(time.perf_counter() - start)
                same((result[0], result[1], result[2].compute()), expected, "distributed")
                del result, on_workers
    print("| run | median wall time (min-max), ms |")
    print("|---|---|")
    print("| in memory: circthresh.threshold(array) (threads=None: %d) | %s |"
          % (_checks.thread_count(None, whole.size), spread(in_memory, 1e3)))
    print("| in memory: circthresh.threshold(array, threads=1) | %s |" % spread(in_memory_one, 1e3))
    print("| dask, threaded scheduler (2 threads), chunks in this process | %s |"
          % spread(times["threaded"], 1e3))
    print("| dask.distributed LocalCluster, 2 worker processes of 1 thread, chunks on the "
          "workers | %s |" % spread(times["distributed"], 1e3))


def same(result, expected, name):
    t, sigma_w, binary = result
    binary = np.asarray(binary)
    if (t, sigma_w) != expected[:2] or not np.array_equal(binary, expected[2]):
        sys.exit("bench/python_bench.py: the %s dask run differs from the in-memory call" % name)
    print("%s dask run: threshold %d, sigma_W %f, the same as in memory bit for bit"
          % (name, t, sigma_w))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=30)
    parser.add_argument("--dask-size", type=int, default=20000,
                        help="side of the square dask array, a multiple of %d" % CHUNK)
    parser.add_argument("--dask-rounds", type=int, default=5)
    parser.add_argument("--no-dask", action="store_true")
    options = parser.parse_args()
    if options.rounds < 1 or options.dask_rounds < 1 or options.dask_size % CHUNK or \
            options.dask_size < CHUNK:
        parser.error("rounds must be positive and --dask-size a positive multiple of %d" % CHUNK)
    print("machine: %s, %d cores available to this process, Linux %s; Python %s, numpy %s, "
          "OpenCV %s (%d threads), scikit-image %s, circthresh %s"
          % (cpu_model(), len(os.sched_getaffinity(0)), platform.release(),
             platform.python_version(), np.__version__, cv2.__version__, cv2.getNumThreads(),
             skimage.__version__, circthresh.__version__))
    print("OPENBLAS_CORETYPE=%s; load average at start: %s"
          % (os.environ.get("OPENBLAS_CORETYPE", "(not set)"), load_average()))
    whole_image_table(options.rounds)
    chunk_table(options.rounds)
    if not options.no_dask:
        dask_table(options.dask_size, options.dask_rounds)
    print("\nload average at the end: %s" % load_average())


def cpu_model():
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.machine()


def load_average():
    with open("/proc/loadavg") as loads:
        return " ".join(loads.read().split()[:3])


if __name__ == "__main__":
    main()
