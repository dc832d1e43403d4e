#!/usr/bin/env python3
"""Times commands against `cp` of the same file in alternating runs.

usage: timing.py ROUNDS INPUT SCRATCH NAME=COMMAND...

Each round runs `cp INPUT SCRATCH/cp.out`, then every command once, in turn, so
that drifts of the machine hit all of them alike. COMMAND may use {in} and
{out}. Prints one markdown row per command: median wall time and the median of
the per-round ratios to cp.
"""
import os
import statistics
import sys
import time


def run(argv):
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: %s" % " ".join(argv))
    return elapsed


def main():
    rounds, source, scratch = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    commands = []
    for entry in sys.argv[4:]:
        name, command = entry.split("=", 1)
        out = os.path.join(scratch, name.replace(" ", "_") + ".out.pgm")
        commands.append((name, command.format(**{"in": source, "out": out}).split()))
    copy = ["cp", source, os.path.join(scratch, "cp.out")]
    times = {name: [] for name, _ in commands}
    ratios = {name: [] for name, _ in commands}
    cp_times = []
    for _ in range(2):  # warm the caches
        run(copy)
        for _, argv in commands:
            run(argv)
    for _ in range(rounds):
        cp_time = run(copy)
        cp_times.append(cp_time)
        for name, argv in commands:
            elapsed = run(argv)
            times[name].append(elapsed)
            ratios[name].append(elapsed / cp_time)
    image = os.path.basename(source)
    print("| %s | `cp` | %.1f ms | 1.00 |" % (image, 1000 * statistics.median(cp_times)))
    for name, _ in commands:
        print("| %s | %s | %.1f ms | %.2f |" % (
            image, name, 1000 * statistics.median(times[name]), statistics.median(ratios[name])))


if __name__ == "__main__":
    main()
