#!/usr/bin/python3
"""Times circthresh.hue on a 4000 x 3000 photo against OpenCV's cvtColor to
HSV, in paired rounds in one process, as bench/python_bench.py times the
threshold. Not part of the test suite.

usage: PYTHONPATH=build-python/python /usr/bin/python3 bench/hue_bench.py [--rounds N]

The photo is examples/flag.png scaled up (bicubic) with a little noise, so that
neighbouring pixels differ as in a camera's picture. It is timed in three
layouts, each against the cvtColor call that reads the same array: RGB
(contiguous, COLOR_RGB2HSV_FULL), OpenCV's own BGR read by the module through
the reversed view bgr[..., ::-1] in place (COLOR_BGR2HSV_FULL), and RGBA
(COLOR_RGB2HSV_FULL, which reads four channels too). The module is timed
with and without a saturation floor. Two tables: one thread on both sides
(threads=1, cv2.setNumThreads(1)), then each side's default (threads=None,
OpenCV's own thread count). OpenCV's hue is checked to be within one level of
the module's around the circle in every layout (it rounds from approximate
reciprocals); the module's with threads against one thread, bit for bit.
Installs nothing.
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
    from circthresh import _checks
except ImportError as missing:
    sys.exit("bench/hue_bench.py: missing %s (Debian: python3-numpy python3-opencv; circthresh "
             "from PYTHONPATH=build-python/python)" % missing.name)

FLOOR = 25


def table(title, contenders, rounds):
    """contenders: (name, call, peer name or None). Each round calls every
    contender once, starting one further along each round; prints median wall
    and CPU times and the per-round ratios to each row's peer."""
    walls = {name: [] for name, _, _ in contenders}
    cpus = {name: [] for name, _, _ in contenders}
    for round_number in range(rounds):
        start = round_number % len(contenders)
        for name, call, _ in contenders[start:] + contenders[:start]:
            wall, cpu = time.perf_counter(), time.process_time()
            call()
            walls[name].append(time.perf_counter() - wall)
            cpus[name].append(time.process_time() - cpu)
    print("\n%s, %d rounds\n" % (title, rounds))
    print("| call | median wall time | median CPU time | ratio to OpenCV: median (min-max) |")
    print("|---|---|---|---|")
    for name, _, peer in contenders:
        ratios = [w / r for w, r in zip(walls[name], walls[peer or name])]
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


def layouts(bgr):
    """(name, what the module reads, what OpenCV reads, OpenCV's code, its name)."""
    rgb = np.ascontiguousarray(bgr[..., ::-1])
    rgba = np.ascontiguousarray(np.dstack([rgb, np.full(bgr.shape[:2], 255, np.uint8)]))
    return [
        ("RGB", rgb, rgb, cv2.COLOR_RGB2HSV_FULL, "cvtColor(rgb, COLOR_RGB2HSV_FULL)"),
        ("BGR reversed", bgr[..., ::-1], bgr, cv2.COLOR_BGR2HSV_FULL,
         "cvtColor(bgr, COLOR_BGR2HSV_FULL)"),
        ("RGBA", rgba, rgba, cv2.COLOR_RGB2HSV_FULL, "cvtColor(rgba, COLOR_RGB2HSV_FULL)"),
    ]


def check(name, pixels, opencv_input, code):
    hue = circthresh.hue(pixels, threads=1)
    if not np.array_equal(circthresh.hue(pixels), hue):
        sys.exit("bench/hue_bench.py: the module's hue of %s depends on its threads" % name)
    apart = (cv2.cvtColor(opencv_input, code)[..., 0].astype(np.int16) - hue) % 256
    if np.any((apart > 1) & (apart < 255)):
        sys.exit("bench/hue_bench.py: OpenCV's hue of %s is more than one level from the "
                 "module's" % name)
    return 100 * np.count_nonzero(apart) / apart.size


def contenders(cases, threads):
    rows = []
    for name, pixels, opencv_input, code, call_name in cases:
        peer = "%s: cv2.%s" % (name, call_name)
        rows += [
            ("%s: circthresh.hue" % name,
             lambda p=pixels: circthresh.hue(p, threads=threads), peer),
            ("%s: circthresh.hue, min_saturation=%d" % (name, FLOOR),
             lambda p=pixels: circthresh.hue(p, min_saturation=FLOOR, threads=threads), peer),
            (peer, lambda i=opencv_input, c=code: cv2.cvtColor(i, c), None),
        ]
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=20)
    rounds = parser.parse_args().rounds
    bgr = photo(3000, 4000)
    cases = layouts(bgr)
    apart = [check(name, pixels, opencv_input, code)
             for name, pixels, opencv_input, code, _ in cases]
    opencv_threads = cv2.getNumThreads()
    module_threads = _checks.thread_count(None, bgr.shape[0] * bgr.shape[1])
    print("%d cores available; OpenCV %s (%d threads by default), circthresh %s (%d threads by "
          "default); load average at start: %s"
          % (len(os.sched_getaffinity(0)), cv2.__version__, opencv_threads,
             circthresh.__version__, module_threads, load_average()))
    print("OpenCV's hue one level from the module's on %s of the pixels"
          % ", ".join("%.2f%% (%s)" % (share, case[0]) for share, case in zip(apart, cases)))

    cv2.setNumThreads(1)
    table("hue of a 4000 x 3000 photo, one thread (threads=1; cv2.setNumThreads(1))",
          contenders(cases, 1), rounds)
    cv2.setNumThreads(opencv_threads)
    table("hue of a 4000 x 3000 photo, default threads (threads=None: %d; OpenCV's %d)"
          % (module_threads, opencv_threads), contenders(cases, None), rounds)
    print("\nload average at the end: %s" % load_average())


if __name__ == "__main__":
    main()
