#!/usr/bin/python3
"""Times the module's lazy path on dask arrays against its peers, in paired
rounds in one process. Not part of the test suite.

usage: PYTHONPATH=build-python/python /usr/bin/python3 bench/lazy_bench.py
           [--rounds N] [--size N] [--cluster-rounds N] [--scratch DIR] [--no-cluster]

1. In memory: `threshold` of an 8200 x 6600 dask array in chunks of 2000 x 2000
   and `compute()` of its mask under the threaded scheduler, against
   `threshold` of the same numpy array, beside the floor of any lazy result in
   the input's chunks: each chunk copied and the copies joined by `compute()`.
2. A zarr store of SIZE x SIZE levels (default 24000, chunks of 1000 x 1000)
   thresholded on LocalClusters whose workers' memory limits add up to less
   than the data (2 workers of 256 MiB, 4 of 128 MiB), the mask written with
   `to_zarr`, against `da.from_zarr(...).to_zarr(...)` of the same store on
   the same cluster; all four in the same rounds.

Every result is checked bit for bit before the timed rounds: the in-memory mask
against the numpy call's, the cluster's threshold and every chunk of its mask
against a reference made a chunk at a time in this process, the copy against
the store. A worker paused or restarted for memory (its log, or a new address)
fails the run. Run with Debian's /usr/bin/python3 (python3-dask,
python3-distributed, python3-zarr); installs nothing; the scratch stores are
removed at the end.
"""
import argparse
import os
import platform
import shutil
import signal
import statistics
import sys
import tempfile
import threading
import warnings

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# A LocalCluster's worker processes import this file first, as __mp_main__. Debian's
# distributed 2022.12 then imports pandas in each of them only to report its version to the
# scheduler: about 28 MiB, which holds a worker of 128 MiB above its pause fraction at rest.
# Nothing the workers run here needs pandas.
# Such a worker also holds more than distributed's target fraction (60%) at rest, which it
# logs every 100 ms ("Unmanaged memory use is high"): those lines are dropped, the pause and
# restart lines the run checks for are kept.
if __name__ == "__mp_main__":
    import logging
    sys.modules["pandas"] = None
    logging.getLogger("distributed.worker.memory").addFilter(
        lambda record: "Unmanaged memory use is high" not in record.getMessage())
from rounds import alternating_rounds, spread  # noqa: E402

try:
    import numpy as np
    import dask
    import dask.array as da
    import zarr
    import circthresh
except ImportError as missing:
    sys.exit("bench/lazy_bench.py: missing %s (Debian: python3-dask python3-distributed "
             "python3-zarr; circthresh from PYTHONPATH=build-python/python)" % missing.name)

CHUNK = 2000
# The store's chunks on the clusters: a task holds a few of them at once (read, decompressed,
# binarised, compressed), which must stay under the pause fraction of 128 MiB beside the
# worker's own 83 MiB at rest.
CLUSTER_CHUNK = 1000
MiB = 2 ** 20
# (workers, memory limit of each): both add up to less than the default store's 576 MB.
CLUSTERS = ((2, 256 * MiB), (4, 128 * MiB))
# What distributed logs when it pauses a worker or its nanny restarts one for memory.
MEMORY_EVENTS = ("Pausing worker", "memory budget", "Restarting")


def fail(message):
    sys.exit("bench/lazy_bench.py: " + message)


def load_average():
    return "%.2f %.2f %.2f" % os.getloadavg()


def levels_chunk(block_info=None):
    """The chunk at its place in the whole: noise near 128 with a disc of
    levels 236..255 and 0..20 (wrapping through 0), the same wherever it is made."""
    info = block_info[None]
    (top, bottom), (left, right) = info["array-location"]
    rows, columns = info["shape"]
    rng = np.random.default_rng([top, left])
    chunk = rng.integers(100, 156, (bottom - top, right - left), dtype=np.uint8)
    y, x = np.ogrid[top:bottom, left:right]
    disc = (y - rows / 2) ** 2 + (x - columns / 3) ** 2 < (min(rows, columns) / 3) ** 2
    chunk[disc] = rng.integers(-20, 21, int(disc.sum())).astype(np.uint8)
    return chunk


def levels(rows, columns, chunk=CHUNK):
    chunks = tuple(tuple(min(chunk, n - start) for start in range(0, n, chunk)) for n in (rows, columns))
    return da.map_blocks(levels_chunk, chunks=chunks, dtype=np.uint8)


def in_memory(rounds):
    with dask.config.set(scheduler="threads"):
        image = levels(8200, 6600).compute()
        lazy = da.from_array(image, chunks=CHUNK)

        def numpy_call():
            return circthresh.threshold(image)

        def dask_call():
            t, sigma_w, binary = circthresh.threshold(lazy)
            return t, sigma_w, binary.compute()

        # The least a lazy result of the input's chunks costs in dask: a new
        # array a chunk, the chunks joined into one by compute(). No counting.
        def copy_call():
            return lazy.map_blocks(np.copy, dtype=np.uint8).compute()

        (t, sigma_w, expected), got = numpy_call(), dask_call()
        if got[:2] != (t, sigma_w) or not np.array_equal(got[2], expected):
            fail("the dask threshold or mask differs from the numpy call's")
        print("8200 x 6600 in memory: threshold %d, sigma_W %f, the dask mask the numpy call's "
              "bit for bit" % (t, sigma_w))
        print("load average before: %s" % load_average())
        times = alternating_rounds({"numpy": numpy_call, "dask": dask_call, "copy": copy_call},
                                   rounds)
    print("load average after: %s\n" % load_average())
    ratios, copy_ratios = ([d / n for d, n in zip(times[name], times["numpy"])]
                           for name in ("dask", "copy"))
    print("| 8200 x 6600 levels, %d rounds | median wall time | ratio to the numpy call: "
          "median (min-max) |" % rounds)
    print("|---|---|---|")
    print("| circthresh.threshold(numpy array) | %.1f ms | 1.00 |"
          % (1e3 * statistics.median(times["numpy"])))
    print("| circthresh.threshold(dask array, chunks of %d x %d) + compute() of the mask, "
          "threaded scheduler | %.1f ms | %s |"
          % (CHUNK, CHUNK, 1e3 * statistics.median(times["dask"]), spread(ratios)))
    print("| the floor: map_blocks(np.copy) of the same dask array + compute(), no counting "
          "| %.1f ms | %s |" % (1e3 * statistics.median(times["copy"]), spread(copy_ratios)))
    print("\nat most 2x the numpy call: %s" % ("yes" if statistics.median(ratios) <= 2 else "NO"))


def windows(array):
    """The slices of each chunk of a 2-D zarr array, row by row."""
    for top in range(0, array.shape[0], array.chunks[0]):
        for left in range(0, array.shape[1], array.chunks[1]):
            yield slice(top, top + array.chunks[0]), slice(left, left + array.chunks[1])


def chunk_reference(path):
    """(t, sigma_w) of the store from its chunks' counts, one chunk at a time."""
    store = zarr.open(path, "r")
    return circthresh.threshold_histogram(sum(circthresh.histogram(store[w]) for w in windows(store)))


def check_chunks(path, written, make_expected, name):
    """Every chunk of the store at written equals make_expected(the same chunk of path)."""
    source, result = zarr.open(path, "r"), zarr.open(written, "r")
    if result.shape != source.shape or result.chunks != source.chunks:
        fail("%s: %s has shape %s and chunks %s" % (name, written, result.shape, result.chunks))
    for window in windows(source):
        if not np.array_equal(result[window], make_expected(source[window])):
            fail("%s: the chunk at %d, %d differs from the reference"
                 % (name, window[0].start, window[1].start))


def keep_short_log(dask_worker):
    """The worker's log of task transitions, kept 100,000 long by distributed 2022.12 and
    growing with every run here until then, cut to its last 10,000."""
    import collections
    dask_worker.state.log = collections.deque(dask_worker.state.log, maxlen=10_000)


def worker_memory(client):
    """{worker address: resident MiB} of the cluster's worker processes."""
    def resident():
        import psutil
        return psutil.Process().memory_info().rss / MiB
    return client.run(resident)


def memory_events(client):
    """Log lines of workers and nannies that tell of a pause or a restart for memory."""
    lines = []
    for logs in (client.get_worker_logs(), client.get_worker_logs(nanny=True)):
        for address, log in logs.items():
            lines += ["%s: %s" % (address, message) for _, message in log
                      if any(event in message for event in MEMORY_EVENTS)]
    return lines


class PeakMemory:
    """The most any worker process of each cluster held, sampled while inside."""

    def __init__(self, pids):
        import psutil
        self.processes = {name: [psutil.Process(pid) for pid in group] for name, group in pids.items()}
        self.most = dict.fromkeys(pids, 0.0)
        self.done = threading.Event()

    def sample(self):
        while not self.done.wait(0.02):
            for name, processes in self.processes.items():
                held = max(process.memory_info().rss for process in processes) / MiB
                self.most[name] = max(self.most[name], held)

    def __enter__(self):
        self.thread = threading.Thread(target=self.sample)
        self.thread.start()

    def __exit__(self, *_):
        self.done.set()
        self.thread.join()


def on_clusters(size, rounds, scratch):
    from distributed import Client, LocalCluster
    from distributed.versions import VersionMismatchWarning
    # The workers report no pandas version (above); nothing here uses pandas.
    warnings.simplefilter("ignore", VersionMismatchWarning)

    source = os.path.join(scratch, "levels.zarr")
    with dask.config.set(scheduler="threads"):
        levels(size, size, CLUSTER_CHUNK).to_zarr(source, overwrite=True)
    t, sigma_w = chunk_reference(source)
    megabytes = size * size / 1e6
    print("\n%d x %d levels in a zarr store of chunks %d x %d (%.0f MB of levels, %.0f MB on disk): "
          "threshold %d, sigma_W %f from the chunks one at a time"
          % (size, size, CLUSTER_CHUNK, CLUSTER_CHUNK, megabytes, store_size(source) / 1e6, t, sigma_w))

    clusters, jobs = {}, {}
    # Each worker's statistical profiler keeps an hour of profiles: with it on (and the short
    # log below), a worker of 4 grew by about 3 MiB a run, towards the pause fraction of
    # 128 MiB. Off, for the workers start with the config in force now.
    quiet = dask.config.set({"distributed.worker.profile.enabled": False})
    try:
        for workers, limit in CLUSTERS:
            name = "%d workers of %d MiB" % (workers, limit // MiB)
            cluster = LocalCluster(n_workers=workers, threads_per_worker=1, memory_limit=limit,
                                   processes=True, dashboard_address=":0",
                                   local_directory=os.path.join(scratch, "workers"))
            client = Client(cluster, set_as_default=False)
            clusters[name] = (cluster, client)
            client.run(keep_short_log)
            # A worker above the pause fraction at rest would never run a task.
            pause = dask.config.get("distributed.worker.memory.pause")
            idle = worker_memory(client)
            if max(idle.values()) >= pause * limit / MiB:
                fail("%s: a worker at rest holds %s MiB, above the %.0f%% at which distributed "
                     "pauses it" % (name, ", ".join("%.0f" % m for m in idle.values()), 100 * pause))
            mask, copy = (os.path.join(scratch, "%s-%d.zarr" % (kind, workers)) for kind in ("mask", "copy"))

            def threshold(client=client, mask=mask):
                with dask.config.set(scheduler=client.get):
                    found = circthresh.threshold(da.from_zarr(source))
                    found[2].to_zarr(mask, overwrite=True)
                return found[:2]

            def copy_store(client=client, copy=copy):
                with dask.config.set(scheduler=client.get):
                    da.from_zarr(source).to_zarr(copy, overwrite=True)

            if threshold() != (t, sigma_w):
                fail("%s: the threshold differs from the chunks' reference" % name)
            check_chunks(source, mask, lambda chunk: circthresh.apply_threshold(chunk, t), name)
            copy_store()
            check_chunks(source, copy, lambda chunk: chunk, name + " (copy)")
            print("%s: threshold and every mask chunk equal to the reference, the copy to the store"
                  % name)
            jobs[name + ": threshold + to_zarr"] = threshold
            jobs[name + ": from_zarr + to_zarr"] = copy_store

        addresses = {name: sorted(worker_memory(client)) for name, (_, client) in clusters.items()}
        peaks = PeakMemory({name: client.run(os.getpid).values() for name, (_, client) in clusters.items()})
        print("load average before: %s" % load_average())
        with peaks:
            times = alternating_rounds(jobs, rounds)
        print("load average after: %s" % load_average())
        for name, (_, client) in clusters.items():
            if sorted(worker_memory(client)) != addresses[name]:
                fail("%s: workers were replaced during the rounds" % name)
            events = memory_events(client)
            if events:
                fail("%s: %s" % (name, "; ".join(events[:3])))
            print("%s: no worker paused or restarted for memory; the most a worker held, sampled "
                  "every 20 ms: %.0f MiB" % (name, peaks.most[name]))
    finally:
        for cluster, client in clusters.values():
            client.close()
            cluster.close()
        quiet.__exit__(None, None, None)

    print("\n| %d x %d levels, %d rounds | median wall time (min-max) | MB/s | ratio to the copy on "
          "the same cluster: median (min-max) |" % (size, size, rounds))
    print("|---|---|---|---|")
    for name in jobs:
        peer = name.replace("threshold + to_zarr", "from_zarr + to_zarr")
        ratios = [a / b for a, b in zip(times[name], times[peer])]
        print("| %s | %s s | %.0f | %s |" % (name, spread(times[name]),
                                            megabytes / statistics.median(times[name]), spread(ratios)))
    names = list(jobs)
    two, four = names[0], names[2]
    growth = [b / a for a, b in zip(times[two], times[four])]
    print("\n%s against %s, per round: %s" % (four.split(":")[0], two.split(":")[0], spread(growth)))
    for name in names[::2]:
        peer = name.replace("threshold + to_zarr", "from_zarr + to_zarr")
        ratio = statistics.median([a / b for a, b in zip(times[name], times[peer])])
        print("%s at most 1.6x the copy: %s" % (name.split(":")[0], "yes" if ratio <= 1.6 else "NO"))
    print("four workers no slower than two: %s" % ("yes" if statistics.median(growth) <= 1 else "NO"))


def store_size(path):
    return sum(os.path.getsize(os.path.join(folder, name))
               for folder, _, names in os.walk(path) for name in names)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--size", type=int, default=24000,
                        help="side of the square zarr store, at least %d" % CHUNK)
    parser.add_argument("--cluster-rounds", type=int, default=4)
    parser.add_argument("--scratch", help="folder for the stores (default: a new one in $TMPDIR)")
    parser.add_argument("--no-cluster", action="store_true")
    options = parser.parse_args()
    # A stopped run still removes its stores.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("bench/lazy_bench.py: stopped"))
    if options.rounds < 1 or options.cluster_rounds < 1 or options.size < CHUNK:
        parser.error("rounds must be positive and --size at least %d" % CHUNK)
    print("%s, %d cores, Python %s, numpy %s, dask %s, zarr %s"
          % (platform.machine(), os.cpu_count(), platform.python_version(), np.__version__,
             dask.__version__, zarr.__version__))
    in_memory(options.rounds)
    if not options.no_cluster:
        scratch = tempfile.mkdtemp(prefix="circthresh-lazy-bench.", dir=options.scratch)
        try:
            on_clusters(options.size, options.cluster_rounds, scratch)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
