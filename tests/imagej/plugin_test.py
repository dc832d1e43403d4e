"""The ImageJ plugin against the command: one table of images and macro options
run in one ImageJ under a virtual display, each row's Log and pixels compared
with the command's (the module's where a selection or a saturation floor picks
the pixels counted). JAR_DIR: imagej/build.sh's; BUILD: -DCIRCTHRESH_PYTHON=ON's.
usage: /usr/bin/python3 tests/imagej/plugin_test.py JAR_DIR BUILD"""
import importlib.util
import os
import shutil
import struct
import subprocess
import sys
import tempfile
from collections import namedtuple

IMAGEJ, JAR = "/usr/share/java/ij.jar", "Circular_Threshold.jar"
if __name__ == "__main__":  # what the test needs, before anything needs it
    missing = [what for what, there in [
        (JAR + " (bash imagej/build.sh DIR)", os.path.isfile(os.path.join(sys.argv[1], JAR))),
        ("the command and module (-DCIRCTHRESH_PYTHON=ON)", os.path.isdir(os.path.join(sys.argv[2], "python"))),
        ("default-jdk-headless", shutil.which("java")), ("imagej", os.path.isfile(IMAGEJ)),
        ("xvfb", shutil.which("xvfb-run")), ("xauth", shutil.which("xauth")), ("python3-numpy", importlib.util.find_spec("numpy"))] if not there]
    if missing:
        sys.exit("plugin_test.py: missing %s (tools/install-imagej-deps.sh)" % ", ".join(missing))
import numpy as np  # noqa: E402

# No __pycache__ left in tests/ by the shared helpers' import (nor by the module's, later).
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from circthresh_reference import run_command  # noqa: E402


# pixels: (slices, rows, columns) uint8, uint16 or float32 (angles), or a PNG for RGB;
# options: never empty (an empty string opens the dialog); roi: macro code that makes
# a selection; undo: Edit>Undo afterwards must bring the input back; refused: the
# one Log line, nothing changed or made; virtual: opened as a virtual stack.
Row = namedtuple("Row", "name pixels options roi undo refused virtual", defaults=(" ", None, False, None, False))


def angles(rows, columns, offset=0):  # levels that go round the centre, through 255 to 0
    y, x = np.mgrid[0:rows, 0:columns]
    return ((np.arctan2(y - rows / 2, x - columns / 2) / (2 * np.pi) * 256 + offset) % 256).astype(np.uint8)


def field(rows, columns, turn, start=0.0):  # angles in any unit going round the centre
    y, x = np.mgrid[0:rows, 0:columns]
    return (np.arctan2(y - rows / 2, x - columns / 2) / (2 * np.pi) * turn + start).astype(np.float32)


ANGLES = angles(48, 64, 200)[None]
DEGREES = field(48, 64, 360, 20)[None]
DEGREES.flat[::37], DEGREES.flat[5::101], DEGREES.flat[9::211] = np.nan, np.inf, -np.inf
FIELDS = np.stack([field(40, 50, 360, o) for o in (0, 90, 170)])
STACK = np.stack([angles(40, 50, o) for o in (0, 90, 170)])
PHOTO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "flag.png")
ROWS = [
    Row("angles, undone", ANGLES, undo=True),
    Row("-0.000000: 36 of level 40, 2 of 177", np.repeat(np.uint8([40, 177]), [36, 2])[None, None]),
    Row("one level: threshold -1 and 9e20", np.full((1, 5, 10), 200, np.uint8)),
    Row("two levels, 0 and 255", np.repeat(np.uint8([0, 255]), [7, 5])[None, None]),
    Row("stack, slice by slice", STACK),
    Row("stack, one histogram", STACK, "stack"),
    Row("set", ANGLES, "set"),
    Row("set, threshold -1", np.full((1, 3, 3), 3, np.uint8), "set"),
    Row("oval selection", ANGLES, roi="makeOval(5, 4, 30, 22);"),
    Row("rectangle over the edge", ANGLES, roi="makeRectangle(40, -5, 40, 30);"),
    Row("16-bit, the defaults: period 360", (np.arange(600, dtype=np.uint16) * 97).reshape(1, 20, 30)),
    Row("16-bit, period 36000", (field(40, 50, 36000) % 36000).astype(np.uint16)[None], "period=36000"),
    Row("32-bit degrees, NaN and infinities", DEGREES, "period=360 offset=30"),
    Row("32-bit orientation", field(48, 64, 180, -90)[None], "period=180 offset=-90"),
    Row("32-bit stack, slice by slice", FIELDS, "offset=5"),
    Row("32-bit stack, one histogram", FIELDS, "stack"),
    Row("32-bit virtual stack", FIELDS, virtual=True),
    Row("32-bit, oval selection", DEGREES, roi="makeOval(5, 4, 30, 22);"),
    Row("32-bit, period=0", DEGREES, "period=0", refused="period must be a finite number greater than 0, got 0.0"),
    Row("32-bit, set", DEGREES, "set", refused="set is for 8-bit and RGB images: ImageJ's threshold on "
        "angles cuts a line, not the circle"),
    Row("8-bit virtual stack", STACK, virtual=True, refused="a virtual stack cannot be binarised in place: "
        "use set, or Image > Duplicate first"),
    Row("selection off the image", ANGLES, roi="makeRectangle(100, 100, 10, 10);",
        refused="the selection holds no pixel of the image; nothing was changed"),
    Row("photo, default floor", PHOTO),
    Row("photo, floor 60", PHOTO, "saturation=60"),
    Row("photo, floor 0, oval", PHOTO, "saturation=0", roi="makeOval(10, 20, 70, 150);"),
]
# C's "%f": halves (k/128) round to even, tiny negatives keep "-", large values get every digit.
PRINTF = [0.0078125, 0.0234375, -0.0078125, -1e-300, -0.0, 9e20, 0.1, 2.5e-7, 1e22, 5e-324, 1364.0]


def macro_for(rows, scratch):
    # A last dialog's floor and period, which a macro must not get: its defaults are 25 and 360.
    lines = ['call("ij.Prefs.set", "circthresh.saturation", "60"); call("ij.Prefs.set", "circthresh.period", "100");']
    for i, row in enumerate(rows):
        base = os.path.join(scratch, str(i))
        lines.append('print("row %d");' % i)
        if isinstance(row.pixels, str):
            lines.append('open("%s"); saveAs("Raw Data", "%s.in");' % (row.pixels, base))
        else:
            kind = {"u1": "8-bit", "u2": "[16-bit Unsigned]", "f4": "[32-bit Real]"}[row.pixels.dtype.str[1:]]
            row.pixels.astype(row.pixels.dtype.newbyteorder(">")).tofile(base + ".in")
            lines.append('run("Raw...", "open=%s.in image=%s width=%d height=%d number=%d%s");'
                         % ((base, kind) + row.pixels.shape[::-1] + (" use" * row.virtual,)))
        lines.append("id = getImageID();")
        if row.roi and row.refused:
            lines.append(row.roi)
        elif row.roi:
            lines.append('%s run("Create Mask"); saveAs("Raw Data", "%s.mask");'
                         ' close(); selectImage(id); %s' % (row.roi, base, row.roi))
        # As a user's batch macro runs it: an error must be a Log line, not a dialog.
        lines.append('run("Circular Threshold", "%s"); saveAs("Raw Data", "%s.out");'
                     'selectImage(id); saveAs("Raw Data", "%s.kept");' % (row.options, base, base))
        if "set" in row.options.split() and not row.refused:
            lines.append('getThreshold(lo, hi); print("threshold " + lo + " " + hi);')
        undo = 'run("Undo"); saveAs("Raw Data", "%s.undone");' % base if row.undo else ""
        lines.append(undo + 'run("Close All");')
    lines += ['print("printf " + call("circthresh.Report.fixed", "%r"));' % v for v in PRINTF]
    return "\n".join(lines) + '\nprint("row end");\n'


def expected(row, base, command, scratch, circthresh):
    """The row's Log lines and output pixels, from the command or the module."""
    options, pixels = row.options.split(), row.pixels
    if row.refused:
        return ["Circular Threshold: " + row.refused], pixels
    if not isinstance(pixels, str) and pixels.dtype != np.uint8:
        return expected_angles(row, base, circthresh)
    if isinstance(pixels, str) or row.roi:
        if isinstance(pixels, str):
            with open(pixels, "rb") as png:  # a PNG's width and height
                width, height = struct.unpack(">II", png.read(24)[16:])
            rgb = np.fromfile(base + ".in", np.uint8).reshape(height, width, 3)
            floor = [int(o[len("saturation="):]) for o in options if o.startswith("saturation=")]
            hue = circthresh.hue(rgb, min_saturation=(floor or [25])[0])
            levels, counted = np.ma.getdata(hue), ~np.ma.getmaskarray(hue)
        else:
            levels, counted = pixels[0], np.ones(pixels.shape[1:], bool)
        if row.roi:
            counted &= np.fromfile(base + ".mask", np.uint8).reshape(levels.shape) != 0
        t, sigma, binary = circthresh.threshold(levels, counted)
        return ["thresholding at %d" % t, "sigma_W %f" % sigma], binary
    if len(pixels) > 1 and "stack" not in options:
        runs = [run_command(command, level, scratch) for level in pixels]
        log = sum((["slice %d" % s] + report.splitlines() for s, (report, _) in enumerate(runs, 1)), [])
        return log, np.stack([raster for _, raster in runs])
    # One histogram over every slice: the command on the slices one above another.
    report, raster = run_command(command, pixels.reshape(-1, pixels.shape[2]), scratch)
    report = report.splitlines()
    t = int(report[0].split()[-1])
    if "set" not in options:
        return report, raster
    if t < 0:
        return report + ["Circular Threshold: no cut has two non-empty classes, so no threshold is set",
                         "threshold -1 -1"], pixels
    return report + ["threshold %d %d" % (t, t + 127)], pixels


def expected_angles(row, base, circthresh):
    """The module's levels, threshold and binarisation on the same angles, NaN and infinities not counted."""
    option = dict(o.split("=") for o in row.options.split() if "=" in o)
    period, offset = float(option.get("period", 360)), float(option.get("offset", 0))
    has_level = np.isfinite(row.pixels)
    levels = circthresh.angles_to_levels(np.where(has_level, row.pixels, offset), period, offset)
    counted = has_level & (np.fromfile(base + ".mask", np.uint8).reshape(has_level.shape[1:]) != 0 if row.roi else True)
    log, masks = [], []
    for part in [slice(None)] if "stack" in row.options.split() or len(levels) == 1 else range(len(levels)):
        t, sigma, binary = circthresh.threshold(levels[part], counted[part])
        black = (offset + (t - 0.5) * (period / 256), offset + (t + 127.5) * (period / 256), t % 256, t + 127)
        log += (["slice %d" % (part + 1)] if isinstance(part, int) else []) + [
            "thresholding at %d" % t, "sigma_W %f" % sigma, "black: angles from %f up to %f, levels %d..%d" % black]
        masks.append(np.where(has_level[part], binary, 255).astype(np.uint8).reshape(-1, *levels.shape[1:]))
    return log, np.concatenate(masks)


def main(jar_dir, build, scratch):
    sys.path.insert(0, os.path.join(build, "python"))
    import circthresh
    os.mkdir(os.path.join(scratch, "plugins"))
    shutil.copy(os.path.join(jar_dir, JAR), os.path.join(scratch, "plugins"))
    macro = os.path.join(scratch, "rows.ijm")
    with open(macro, "w") as out:
        out.write(macro_for(ROWS, scratch))
    # user.home: ImageJ's preferences go to the scratch folder, not the user's.
    done = subprocess.run(["xvfb-run", "-a", "java", "-XX:-UsePerfData", "-Duser.home=" + scratch, "-Dplugins.dir=" + scratch,
                           "-jar", IMAGEJ, "-batch", macro],
                          capture_output=True, text=True, timeout=600)
    # The refused row's abort reaches the macro as an exception, whose trace
    # (and a blank line) ImageJ prints; the macro goes on.
    log = [line for line in done.stdout.splitlines()
           if line and not line.startswith(("java.lang.RuntimeException: Macro canceled", "\tat "))]
    if "row end" not in log:
        return print(done.stdout + done.stderr) or 1
    marks, failures = [log.index("row %d" % i) for i in range(len(ROWS))] + [len(log) - len(PRINTF) - 1], 0
    for i, row in enumerate(ROWS):
        base, lines = os.path.join(scratch, str(i)), log[marks[i] + 1:marks[i + 1]]
        want_log, want = expected(row, base, os.path.join(build, "circthresh"), scratch, circthresh)
        same = lines == want_log and np.array_equal(
            np.fromfile(base + ".out", want.dtype.newbyteorder(">")).reshape(want.shape), want, equal_nan=True)
        same &= not row.undo or np.array_equal(np.fromfile(base + ".undone", np.uint8), row.pixels.reshape(-1))
        if isinstance(row.pixels, str) or row.pixels.dtype != np.uint8 or row.refused or "set" in row.options.split():
            same &= open(base + ".kept", "rb").read() == open(base + ".in", "rb").read()  # input as it was
        print("%-40s %s  %s" % (row.name, "same" if same else "DIFFERENT", " | ".join(lines)),
              "" if same else "\n  expected: " + " | ".join(want_log))
        failures += not same
    printed, wanted = log[marks[-1]:-1], ["printf %f" % value for value in PRINTF]
    print("printf table: %s" % ("same as C's %f" if printed == wanted else "DIFFERENT: %s" % printed))
    return 1 if failures or printed != wanted else 0


if __name__ == "__main__":
    with tempfile.TemporaryDirectory(prefix="circthresh-imagej-test.") as folder:
        sys.exit(main(sys.argv[1], sys.argv[2], folder))
