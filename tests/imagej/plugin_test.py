"""The ImageJ plugin against the command: one table of images and macro options,
run in one ImageJ; each row's Log lines and pixels are compared with the
command's report and output (with the module's threshold where a selection or
a saturation floor picks the counted pixels).

usage: /usr/bin/python3 tests/imagej/plugin_test.py PLUGINS_DIR BUILD SCRATCH
  PLUGINS_DIR: a folder whose plugins/ holds Circular_Threshold.jar
  BUILD: a build folder with the command and the module (build/circthresh, build/python)
"""
import os
import struct
import subprocess
import sys
from typing import NamedTuple, Optional

import numpy as np

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Row(NamedTuple):
    name: str
    pixels: object             # (slices, rows, columns) uint8 or uint16, or a PNG path for RGB
    options: str = " "         # never empty: an empty string opens the dialog
    roi: Optional[str] = None  # macro code that makes a selection
    undo: bool = False         # run Edit>Undo afterwards: the input comes back


def angles(rows, columns, offset=0):
    """Levels that go round the circle about the centre, wrapping through 0."""
    y, x = np.mgrid[0:rows, 0:columns]
    turn = np.arctan2(y - rows / 2, x - columns / 2) / (2 * np.pi)
    return ((turn * 256 + offset) % 256).astype(np.uint8)


def level_run(*pairs):
    return np.concatenate([np.full(n, v, np.uint8) for n, v in pairs]).reshape(1, 1, -1)


ANGLES = angles(48, 64, 200)[None]
STACK = np.stack([angles(40, 50, o) for o in (0, 90, 170)])
PHOTO = os.path.join(TOP, "examples", "flag.png")
ROWS = [
    Row("angles, undone", ANGLES, undo=True),
    Row("-0.000000: 36 of level 40, 2 of 177", level_run((36, 40), (2, 177))),
    Row("one level: threshold -1 and 9e20", level_run((50, 200))),
    Row("two levels, 0 and 255", level_run((7, 0), (5, 255))),
    Row("stack, slice by slice", STACK),
    Row("stack, one histogram", STACK, "stack"),
    Row("set", ANGLES, "set"),
    Row("set, threshold -1", level_run((9, 3)), "set"),
    Row("oval selection", ANGLES, roi="makeOval(5, 4, 30, 22);"),
    Row("rectangle over the edge", ANGLES, roi="makeRectangle(40, -5, 40, 30);"),
    Row("16-bit: refused", (np.arange(600, dtype=np.uint16) * 97).reshape(1, 20, 30)),
    Row("photo, default floor", PHOTO),
    Row("photo, floor 60", PHOTO, "saturation=60"),
    Row("photo, floor 0, oval", PHOTO, "saturation=0", roi="makeOval(10, 20, 70, 150);"),
]
# C's "%f" against the plugin's: exact halves (k/128) round to even, a tiny
# negative keeps its sign, and every digit of a large value is written.
PRINTF = [0.0078125, 0.0234375, -0.0078125, -1e-300, -0.0, 9e20, 0.1, 2.5e-7, 1e22, 5e-324, 1364.0]


def macro_for(rows, scratch):
    # A last dialog's floor, which a macro must not get: its default is 25.
    lines = ['call("ij.Prefs.set", "circthresh.saturation", "60");']
    for i, row in enumerate(rows):
        base = os.path.join(scratch, str(i))
        lines.append('print("row %d");' % i)
        if isinstance(row.pixels, str):
            lines.append('open("%s"); saveAs("Raw Data", "%s.in");' % (row.pixels, base))
        else:
            slices, height, width = row.pixels.shape
            kind = "8-bit" if row.pixels.dtype == np.uint8 else "[16-bit Unsigned]"
            row.pixels.astype(row.pixels.dtype.newbyteorder(">")).tofile(base + ".in")
            lines.append('run("Raw...", "open=%s.in image=%s width=%d height=%d number=%d");'
                         % (base, kind, width, height, slices))
        if row.roi:
            lines.append('id = getImageID(); %s run("Create Mask"); saveAs("Raw Data", "%s.mask");'
                         ' close(); selectImage(id); %s' % (row.roi, base, row.roi))
        # Through call(): an error is logged (redirected) and the macro goes on.
        lines.append('call("ij.IJ.redirectErrorMessages"); call("ij.IJ.run", "Circular Threshold", "%s");'
                     % row.options)
        lines.append('getThreshold(lo, hi); print("threshold " + lo + " " + hi);'
                     'print("bits " + bitDepth()); saveAs("Raw Data", "%s.out");' % base)
        if row.undo:
            lines.append('run("Undo"); saveAs("Raw Data", "%s.undone");' % base)
        lines.append('run("Close All");')
    for value in PRINTF:
        lines.append('print("printf " + call("circthresh.Report.fixed", "%r"));' % value)
    return "\n".join(lines) + '\nprint("end");\n'


def run_command(command, levels, scratch):
    """The command's report lines and output raster for a 2-D image."""
    source, target = os.path.join(scratch, "c.pgm"), os.path.join(scratch, "c.out.pgm")
    with open(source, "wb") as out:
        out.write(b"P5\n%d %d\n255\n" % levels.shape[::-1] + levels.tobytes())
    done = subprocess.run([command, source, target], capture_output=True, check=True, text=True)
    raster = np.fromfile(target, np.uint8)[-levels.size:].reshape(levels.shape)
    return done.stdout.splitlines(), raster


def page_hue(rgb, percent, circthresh):
    """The 256-level hue, masked below the saturation floor."""
    if hasattr(circthresh, "hue"):
        return circthresh.hue(rgb, min_saturation=percent)
    r, g, b = (rgb[..., i].astype(np.int64) for i in range(3))
    top = np.maximum(np.maximum(r, g), b)
    chroma = top - np.minimum(np.minimum(r, g), b)
    sixths = np.select([top == r, top == g], [g - b, b - r + 2 * chroma], r - g + 4 * chroma)
    sixths = np.where(sixths < 0, sixths + 6 * chroma, sixths)
    level = np.where(chroma == 0, 0, (512 * sixths + 6 * chroma) // np.maximum(12 * chroma, 1)) & 255
    counted = np.where(top == 0, percent == 0, 100 * chroma >= percent * top)
    return np.ma.masked_array(level.astype(np.uint8), mask=~counted)


def expected(row, base, command, scratch, circthresh):
    """The row's Log lines and output pixels, from the command (or the module)."""
    options = row.options.split()
    if isinstance(row.pixels, str):
        with open(row.pixels, "rb") as png:
            width, height = struct.unpack(">II", png.read(24)[16:])
        rgb = np.fromfile(base + ".in", np.uint8).reshape(height, width, 3)
        percent = int(next((o.split("=")[1] for o in options if o.startswith("saturation=")), 25))
        hue = page_hue(rgb, percent, circthresh)
        mask = ~np.ma.getmaskarray(hue)
        if row.roi:
            mask &= np.fromfile(base + ".mask", np.uint8).reshape(hue.shape) != 0
        t, sigma, binary = circthresh.threshold(np.ma.getdata(hue), mask)
        return ["thresholding at %d" % t, "sigma_W %f" % sigma, "threshold -1 -1", "bits 8"], binary
    pixels = row.pixels
    if pixels.dtype != np.uint8:
        return ["Circular Threshold: 8-bit and RGB images and stacks only; this image is 16-bit.",
                "threshold -1 -1", "bits 16"], pixels
    if row.roi:
        mask = np.fromfile(base + ".mask", np.uint8).reshape(pixels.shape[1:]) != 0
        t, sigma, binary = circthresh.threshold(pixels[0], mask)
        return ["thresholding at %d" % t, "sigma_W %f" % sigma, "threshold -1 -1", "bits 8"], binary
    if len(pixels) > 1 and "stack" not in options:
        log, out = [], []
        for s, level in enumerate(pixels):
            report, raster = run_command(command, level, scratch)
            log += ["slice %d" % (s + 1)] + report
            out.append(raster)
        return log + ["threshold -1 -1", "bits 8"], np.stack(out)
    # One histogram over every slice: the command on the slices one above another.
    report, raster = run_command(command, pixels.reshape(-1, pixels.shape[2]), scratch)
    if "set" not in options:
        return report + ["threshold -1 -1", "bits 8"], raster
    t = int(report[0].split()[-1])
    if t < 0:
        return report + ["Circular Threshold: no cut has two non-empty classes, so no threshold is set",
                         "threshold -1 -1", "bits 8"], pixels
    return report + ["threshold %d %d" % (t, t + 127), "bits 8"], pixels


def main(plugins, build, scratch):
    sys.path.insert(0, os.path.join(build, "python"))
    import circthresh
    command = os.path.join(build, "circthresh")
    macro = os.path.join(scratch, "rows.ijm")
    with open(macro, "w") as out:
        out.write(macro_for(ROWS, scratch))
    # user.home: ImageJ's preferences go to the scratch folder, not the user's.
    done = subprocess.run(["xvfb-run", "-a", "java", "-Duser.home=" + scratch, "-Dplugins.dir=" + plugins,
                           "-jar", "/usr/share/java/ij.jar", "-batch", macro],
                          capture_output=True, text=True, timeout=600)
    # The refused row's abort reaches the macro as an exception, whose trace
    # (and a blank line) ImageJ prints; the macro goes on.
    log = [line for line in done.stdout.splitlines()
           if line and not line.startswith(("java.lang.RuntimeException: Macro canceled", "\tat "))]
    if "end" not in log:
        print(done.stdout + done.stderr)
        return 1
    failures = 0
    for i, row in enumerate(ROWS):
        base = os.path.join(scratch, str(i))
        stop = log.index("row %d" % (i + 1)) if i + 1 < len(ROWS) else len(log) - len(PRINTF) - 1
        lines = log[log.index("row %d" % i) + 1:stop]
        want_log, want_pixels = expected(row, base, command, scratch, circthresh)
        got = np.fromfile(base + ".out", want_pixels.dtype.newbyteorder(">")).reshape(want_pixels.shape)
        same = lines == want_log and np.array_equal(got, want_pixels)
        if row.undo:
            same &= np.array_equal(np.fromfile(base + ".undone", np.uint8), row.pixels.reshape(-1))
        print("%-40s %s  %s" % (row.name, "same" if same else "DIFFERENT", " | ".join(lines[:3])))
        if not same:
            print("  expected: %s" % " | ".join(want_log))
            failures += 1
    printed = [line[len("printf "):] for line in log if line.startswith("printf ")]
    wanted = ["%f" % value for value in PRINTF]
    print("printf table: %s" % ("same as C's %f" if printed == wanted else "DIFFERENT"))
    if printed != wanted:
        print("  got %s\n  expected %s" % (printed, wanted))
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
