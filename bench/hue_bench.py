#!/usr/bin/python3
"""Times circthresh.hue on a 4000 x 3000 photo against OpenCV's
cv2.cvtColor(..., COLOR_BGR2HSV_FULL), in paired rounds in one process, as
bench/python_bench.py times the threshold. Not part of the test suite.

usage: PYTHONPATH=build-python/python /usr/bin/python3 bench/hue_bench.py [--rounds N]

The photo is examples/flag.png scaled up (bicubic) with a little noise, so that
neighbouring pixels differ as in a camera's picture. Both read the same BGR
array, the module through the reversed view bgr[..., ::-1], in place. OpenCV's
hue is checked to be within one level of the module's around the circle (it
rounds from approximate reciprocals); the module's with threads against one
thread, bit for bit. Installs nothing.
"""
import argparse
import os
import statistics
import sys
import time

try:
    import numpy as np
    import cv2
    import circthresh
except ImportError as missing:
    sys.exit("bench/hue_bench.py: missing %s (Debian: python3-numpy python3-opencv; circthresh "
             "from PYTHONPATH=build-python/python)" % missing.name)


def table(title, contenders, reference, rounds):
    """Each round calls every contender once, starting one further along each
    round; prints median wall and CPU times and the ratios to reference."""
    walls = {name: [] for name, _ in contenders}
    cpus = {name: [] for name, _ in contenders}
    for round_number in range(rounds):
        start = round_number % len(contenders)
        for name, call in contenders[start:] + contenders[:start]:
            wall, cpu = time.perf_counter(), time.process_time()
            call()
            walls[name].append(time.perf_counter() - wall)
            cpus[name].append(time.process_time() - cpu)
    print("\n%s, %d rounds\n" % (title, rounds))
    print("| call | median wall time | median CPU time | ratio to OpenCV: median (min-max) |")
    print("|---|---|---|---|")
    for name, _ in contenders:
        ratios = [w / r for w, r in zip(walls[name], walls[reference])]
        print("| %s | %.1f ms | %.1f ms | %.2f (%.2f-%.2f) |"
              % (name, 1e3 * statistics.median(walls[name]), 1e3 * statistics.median(cpus[name]),
                 statistics.median(ratios), min(ratios), max(ratios)))


def load_average():
    with open("/proc/loadavg") as loads:
        return " ".join(loads.read().split()[:3])


def photo(rows, columns):
    here = os.path.dirname(os.path.abspath(__file__))
    flag = cv2.imread(os.path.join(here, "..", "examples", "flag.png"))
    if flag is None:
        sys.exit("bench/hue_bench.py: cannot read examples/flag.png")
    big = cv2.resize(flag, (columns, rows), interpolation=cv2.INTER_CUBIC).astype(np.int16)
    noise = np.random.default_rng(3).integers(-4, 5, big.shape, dtype=np.int16)
    return np.clip(big + noise, 0, 255).astype(np.uint8)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=20)
    rounds = parser.parse_args().rounds
    bgr = photo(3000, 4000)
    rgb = bgr[..., ::-1]
    hue = circthresh.hue(rgb, threads=1)
    if not np.array_equal(circthresh.hue(rgb), hue):
        sys.exit("bench/hue_bench.py: the module's hue depends on its threads")
    apart = (cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV_FULL)[..., 0].astype(np.int16) - hue) % 256
    if np.any((apart > 1) & (apart < 255)):
        sys.exit("bench/hue_bench.py: OpenCV's hue is more than one level from the module's")
    print("%d cores available; OpenCV %s (%d threads), circthresh %s; load average at start: %s"
          % (len(os.sched_getaffinity(0)), cv2.__version__,
                            cv2.getNumThreads(), circthresh.__version__, load_average()))
    print("OpenCV's hue one level from the module's on %.2f%% of the pixels"
          % (100 * np.count_nonzero(apart) / apart.size))
    threads = cv2.getNumThreads()

    def opencv(count):
        cv2.setNumThreads(count)
        cv2.cvtColor(bgr, cv2.COLOR_BGR2HSV_FULL)
        cv2.setNumThreads(threads)

    contenders = [
        ("circthresh.hue(bgr[..., ::-1]) (threads=None: %d)" % circthresh._thread_count(None, hue.size),
         lambda: circthresh.hue(rgb)),
        ("circthresh.hue(bgr[..., ::-1], threads=1)", lambda: circthresh.hue(rgb, threads=1)),
        ("circthresh.hue(bgr[..., ::-1], min_saturation=25)",
         lambda: circthresh.hue(rgb, min_saturation=25)),
        ("cv2.cvtColor(bgr, COLOR_BGR2HSV_FULL) (%d threads)" % threads, lambda: opencv(threads)),
        ("cv2.cvtColor(bgr, COLOR_BGR2HSV_FULL) (1 thread)", lambda: opencv(1)),
    ]
    table("hue of a 4000 x 3000 photo", contenders,
          "cv2.cvtColor(bgr, COLOR_BGR2HSV_FULL) (%d threads)" % threads, rounds)
    print("\nload average at the end: %s" % load_average())


if __name__ == "__main__":
    main()
