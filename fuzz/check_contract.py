#!/usr/bin/env python3
"""Runs circthresh on each input file and checks what it promises for any input.

Either it exits 0 with exactly the two report lines on stdout, nothing on
stderr, and a valid binary PGM of 0s and 255s as output; or it exits 255 with
nothing on stdout, exactly one known message on stderr, and no output file.
It must finish within the time limit and never die from a signal (a sanitizer
report exits 1, which is neither status).

usage: check_contract.py BINARY SECONDS FILE...
"""
import os
import re
import subprocess
import sys
import tempfile

REPORT = re.compile(rb"thresholding at (-1|\d+)\nsigma_W -?\d+\.\d{6}\n\Z")
MESSAGES = re.compile(
    rb"(ERROR: image is not correct PGM format|ERROR: Maximum image size is 5000 x 5000"
    rb"|ERROR: depth = -?\d+; \(instead of 255\)|ERROR: premature end of file"
    rb"|ERROR: extra characters in file)\n\Z")
HEADER = re.compile(rb"P5\n#created by Quenbarlit\n(-?\d+) (-?\d+)\n255\n")


def check(binary, seconds, path, scratch):
    out_path = os.path.join(scratch, "out.pgm")
    if os.path.exists(out_path):
        os.remove(out_path)
    try:
        run = subprocess.run([binary, path, out_path], capture_output=True, timeout=seconds)
    except subprocess.TimeoutExpired:
        return "hang"
    if run.returncode == 0:
        if not REPORT.match(run.stdout) or run.stderr:
            return "success with output %r / %r" % (run.stdout, run.stderr)
        data = open(out_path, "rb").read()
        header = HEADER.match(data)
        if not header:
            return "bad output header"
        w, h = int(header.group(1)), int(header.group(2))
        raster = data[header.end():]
        if len(raster) != max(w, 0) * max(h, 0) * (w > 0 and h > 0) or set(raster) - {0, 255}:
            return "bad output raster"
        return None
    if run.returncode == 255:
        if run.stdout or not MESSAGES.match(run.stderr):
            return "failure with output %r / %r" % (run.stdout, run.stderr)
        if os.path.exists(out_path):
            return "output written for a bad input"
        return None
    return "status %d: %r" % (run.returncode, run.stderr[-2000:])


def main():
    binary, seconds, files = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for path in files:
            problem = check(binary, seconds, path, scratch)
            if problem:
                failures += 1
                print("%s: %s" % (path, problem))
    print("%d inputs checked, %d broke the contract" % (len(files), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
