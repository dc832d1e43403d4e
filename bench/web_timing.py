"""The page's time on 5000 x 5000 images in headless chromium, against the
command's on the same levels. Not part of the test suite.

usage: /usr/bin/python3 bench/web_timing.py BUILD [ROUNDS]   (ROUNDS default 5)
  BUILD: a build folder holding the command (build/circthresh)

Builds the site (web/build.sh) and two images in a scratch folder removed at the
end: bench/make_image.cpp's hue-like 5000 x 5000 PGM, and examples/flag.png
scaled to 5000 x 5000 (nearest neighbour, so its colours stay) as a PNG. Loads
the page on each in chromium ROUNDS times, reading the page's own timings
(performance.measure): "read" (the file to pixels: the PGM parsed, or the PNG
decoded), "run" (hue where a photo, counting, search, binarisation, copies in
and out of the module) and "done" (from the page's navigation to the end of the
run: loading the page and starting the module, fetching and reading the image
and the run; the drawing after it is not counted). Then times the module's
run alone in node on the PGM's levels (bench/web_core_timing.js) and the same
function built natively on BUILD's C library (bench/web_core_timing.cpp), and the
command ROUNDS times on the PGM (wall time of the process, file reading and
writing included). Prints medians with the smallest and largest figure.
Needs g++, chromium, nodejs, and numpy and OpenCV for Debian's /usr/bin/python3.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

try:
    import cv2
except ImportError:
    sys.exit("bench/web_timing.py: missing OpenCV for /usr/bin/python3 (apt-get install python3-opencv)")

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "web"))
sys.dont_write_bytecode = True  # no __pycache__ left in tests/web
from chromium import Chromium, serve  # noqa: E402

READ_TIMES = """(() => {
  if (!window.circthreshResult) return null;
  const last = (name) => performance.getEntriesByName(name).at(-1);
  const run = last('circthresh run');
  return {report: window.circthreshResult.report, read: last('circthresh read').duration,
          run: run.duration, done: run.startTime + run.duration};
})()"""


def summary(values):
    return f"{statistics.median(values):8.1f} ms ({min(values):.1f}-{max(values):.1f})"


def main(build, rounds):
    command = os.path.join(os.path.abspath(build), "circthresh")
    missing = [name for name, found in [(command, os.access(command, os.X_OK)),
                                        ("g++", shutil.which("g++")),
                                        ("chromium", shutil.which("chromium")),
                                        ("nodejs", os.access("/usr/bin/node", os.X_OK))] if not found]
    if missing:
        sys.exit(f"bench/web_timing.py: missing {', '.join(missing)} (tools/install-web-deps.sh installs "
                 "the packages)")
    scratch = tempfile.mkdtemp(prefix="circthresh-web-timing-")
    try:
        site = os.path.join(scratch, "site")
        subprocess.run(["bash", os.path.join(ROOT, "web", "build.sh"), site], check=True)
        maker = os.path.join(scratch, "make_image")
        subprocess.run(["g++", "-O2", "-o", maker, os.path.join(ROOT, "bench", "make_image.cpp")],
                       check=True)
        subprocess.run([maker, "5000", "5000", os.path.join(scratch, "hue-5000x5000.pgm")], check=True)
        photo = cv2.resize(cv2.imread(os.path.join(ROOT, "examples", "flag.png")), (5000, 5000),
                           interpolation=cv2.INTER_NEAREST)
        cv2.imwrite(os.path.join(scratch, "flag-5000x5000.png"), photo)

        server = serve(scratch)
        base = f"http://127.0.0.1:{server.server_address[1]}/site/index.html?src=../"
        browser = Chromium(scratch)
        try:
            for image in ("hue-5000x5000.pgm", "flag-5000x5000.png"):
                times = [browser.open(base + image, timeout=300, read=READ_TIMES) for _ in range(rounds)]
                print(f"page, {image}: {times[0]['report'].replace(chr(10), ' ').strip()}")
                for key in ("read", "run", "done"):
                    print(f"  {key:5} {summary([t[key] for t in times])}")
        finally:
            browser.close()
            server.shutdown()

        subprocess.run(["/usr/bin/node", os.path.join(ROOT, "bench", "web_core_timing.js"),
                        os.path.join(site, "circthresh.js"), os.path.join(scratch, "hue-5000x5000.pgm"),
                        str(rounds)], check=True)

        native = os.path.join(scratch, "web_core_timing")
        build_folder = os.path.abspath(build)
        subprocess.run(["g++", "-O2", "-std=c++17", "-ffp-contract=off", "-o", native,
                        os.path.join(ROOT, "bench", "web_core_timing.cpp"),
                        os.path.join(ROOT, "web", "circthresh_web.cpp"),
                        "-I" + os.path.join(ROOT, "include"), "-I" + os.path.join(build_folder, "include"),
                        "-L" + build_folder, "-lcircthresh", "-Wl,-rpath," + build_folder], check=True)
        subprocess.run([native, os.path.join(scratch, "hue-5000x5000.pgm"), str(rounds)], check=True)

        walls = []
        for _ in range(rounds):
            started = time.perf_counter()
            report = subprocess.run([command, os.path.join(scratch, "hue-5000x5000.pgm"),
                                     os.path.join(scratch, "mask.pgm")], check=True,
                                    capture_output=True, text=True).stdout
            walls.append((time.perf_counter() - started) * 1000)
        print(f"command, hue-5000x5000.pgm: {report.replace(chr(10), ' ').strip()}")
        print(f"  whole run {summary(walls)}")
        print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5)
