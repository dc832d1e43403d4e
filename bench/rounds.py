#!/usr/bin/python3
"""Timing in alternating rounds: `alternating_rounds` and `spread` for any
benchmark that imports them, and, run as a script, commands against `cp` of the
same file and against each other. Standard library only.

usage: timing.py [--loop N] [--against NAME] ROUNDS INPUT SCRATCH NAME=COMMAND...

Each round runs `cp INPUT SCRATCH/cp.out` and every command once (or N times in
a row with --loop), starting each round one place further along the list, so
that drifts of the machine and the order of the runs hit all of them alike.
COMMAND may use {in} and {out}. For each command it prints one markdown row:
the median wall time of one run, then the ratio to cp and, with --against, the
ratio to the command NAME, each as the median of the per-round ratios with the
smallest and largest of them, and the number of rounds.
"""
import argparse
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


def run_loop(argv, count):
    start = time.perf_counter()
    for _ in range(count):
        run(argv)
    return (time.perf_counter() - start) / count


def spread(ratios):
    return "%.2f (%.2f-%.2f)" % (statistics.median(ratios), min(ratios), max(ratios))


def alternating_rounds(jobs, rounds):
    """{name: [seconds per round]} of the callables in jobs ({name: callable}),
    each run once a round, each round starting one place further along, so that
    drifts of the machine hit all of them alike."""
    names = list(jobs)
    times = {name: [] for name in names}
    for round_number in range(rounds):
        start = round_number % len(names)
        for name in names[start:] + names[:start]:
            began = time.perf_counter()
            jobs[name]()
            times[name].append(time.perf_counter() - began)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--loop", type=int, default=1)
    parser.add_argument("--against")
    parser.add_argument("rounds", type=int)
    parser.add_argument("source")
    parser.add_argument("scratch")
    parser.add_argument("commands", nargs="+")
    args = parser.parse_args()

    commands = [("`cp`", ["cp", args.source, os.path.join(args.scratch, "cp.out")])]
    for entry in args.commands:
        name, command = entry.split("=", 1)
        out = os.path.join(args.scratch, "%d.out.pgm" % len(commands))
        commands.append((name, command.format(**{"in": args.source, "out": out}).split()))
    names = [name for name, _ in commands]
    if args.against is not None and args.against not in names:
        sys.exit("no command named %s" % args.against)

    for _, argv in commands:  # warm the caches
        run_loop(argv, min(args.loop, 50))
    times = alternating_rounds({name: (lambda argv=argv: run_loop(argv, args.loop))
                                for name, argv in commands}, args.rounds)
    times = {name: [t / args.loop for t in rounds] for name, rounds in times.items()}

    image = os.path.basename(args.source)
    if args.loop > 1:
        image += " (loop of %d runs)" % args.loop
    for name in names:
        ratio_to_cp = [t / c for t, c in zip(times[name], times["`cp`"])]
        row = "| %s | %s | %.2f ms | %s |" % (
            image, name, 1000 * statistics.median(times[name]), spread(ratio_to_cp))
        if args.against is not None:
            ratio = [t / b for t, b in zip(times[name], times[args.against])]
            row += " %s |" % spread(ratio)
        print(row + " %d |" % args.rounds, flush=True)


if __name__ == "__main__":
    main()
