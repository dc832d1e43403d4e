"""The page's time on 5000 x 5000 images in headless chromium, each figure
beside its peer on this machine in the same run. Not part of the test suite.

usage: /usr/bin/python3 bench/web_timing.py BUILD [ROUNDS]   (ROUNDS default 5)
  BUILD: a build folder holding the command (build/circthresh)

Builds the site (web/build.sh) and two images in a scratch folder removed at the
end: bench/make_image.cpp's hue-like 5000 x 5000 PGM, and examples/flag.png
scaled to 5000 x 5000 (nearest neighbour, so its colours stay) as a PNG. Loads
the page on each in chromium ROUNDS times, reading the page's own timings
(performance.measure): "read" (the file to pixels in the module's memory: the
PGM parsed, or the PNG checked, inflated and unfiltered), "run" (hue where a
photo, counting, search and binarisation, the page's first run on the image),
"run again" (the same three times more, the floor changed: the module's
memory and code are warm), "draw" (the pictures and the histogram) and "done" (from the
page's navigation to the end of the first run); on the PNG's page, "inflation alone" as well
(its image data through the browser's DecompressionStream, nothing kept: the read's floor), the
browser's own decoding of the file (ImageDecoder, its pixels copied out as RGBA) and the first touch
of fresh memory as large as the pixels the page keeps (a byte a page of a new WebAssembly memory). Then times the module's run
alone in node on the PGM's levels (bench/web_core_timing.js, both builds of the
module: its first round and the median of 10 x ROUNDS), the same functions
built natively on BUILD's C library (bench/web_core_timing.cpp, likewise), OpenCV's cv2.imread on each file
(libpng for the PNG), and the command ROUNDS times on the PGM (wall time of the
process, file reading and writing included). Prints medians with the smallest
and largest figure, then each page and node figure against its peer.
Needs g++, chromium, nodejs, and numpy and OpenCV for Debian's /usr/bin/python3.
"""
import os
import re
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
  return {report: window.circthreshResult.report, core: window.circthreshCore, read: last('circthresh read').duration,
          run: run.duration, draw: last('circthresh draw').duration, done: run.startTime + run.duration};
})()"""

# The bytes of the page's file (its ?src=), inside an async function.
SRC_BYTES = "new Uint8Array(await (await fetch(new URLSearchParams(location.search).get('src'))).arrayBuffer())"

# The browser's inflation alone of the page's PNG (its IDAT chunks through
# DecompressionStream, the pieces dropped): the floor of the page's PNG read.
INFLATE_ONLY = """(async () => {
  const bytes = """ + SRC_BYTES + """;
  const view = new DataView(bytes.buffer), data = [];
  for (let at = 8; at + 12 <= bytes.length; at += 12 + view.getUint32(at))
    if (String.fromCharCode(...bytes.subarray(at + 4, at + 8)) === 'IDAT')
      data.push(bytes.subarray(at + 8, at + 8 + view.getUint32(at)));
  const started = performance.now();
  const reader = new Blob(data).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
  while (!(await reader.read()).done);
  return performance.now() - started;
})()"""

# The browser's own decoding of the page's PNG, in the same page: ImageDecoder
# with no colour conversion, its frame copied out as RGBA (the module's
# layout); null where chromium has no ImageDecoder.
DECODER_ONLY = """(async () => {
  if (typeof ImageDecoder === 'undefined') return null;
  const bytes = """ + SRC_BYTES + """;
  const started = performance.now();
  const decoder = new ImageDecoder({data: bytes, type: 'image/png', colorSpaceConversion: 'none',
                                   premultiplyAlpha: 'none'});
  const {image} = await decoder.decode();
  await image.copyTo(new Uint8Array(image.allocationSize({format: 'RGBA'})), {format: 'RGBA'});
  image.close();
  decoder.close();
  return performance.now() - started;
})()"""

# The first touch of as many bytes of fresh memory as the page keeps for the
# PNG's pixels (3 a pixel): a new WebAssembly memory grown to hold them, one
# byte written a 4 KiB page. What any decoder's output costs before its first
# byte is decoded.
FRESH_MEMORY = """(() => {
  const bytes = 3 * 5000 * 5000, memory = new WebAssembly.Memory({initial: 1, maximum: 65536});
  const started = performance.now();
  const at = memory.grow(Math.ceil(bytes / 65536)) * 65536, view = new Uint8Array(memory.buffer, at, bytes);
  for (let i = 0; i < bytes; i += 4096) view[i] = 1;
  return performance.now() - started;
})()"""

# The same image run once more with another floor, a quarter of a second after
# the last (chromium paints the last pictures on other threads meanwhile, which
# node does not); resolves to that run's time.
RUN_AGAIN = """new Promise((resolve) => setTimeout(() => {
  const floor = document.getElementById('saturation');
  window.circthreshResult = undefined;
  floor.value = String(Number(floor.value) + 1);
  floor.dispatchEvent(new Event('input'));
  const wait = () => (window.circthreshResult
    ? resolve(performance.getEntriesByName('circthresh run').at(-1).duration) : setTimeout(wait, 5));
  wait();
}, 250))"""


def summary(values):
    return f"{statistics.median(values):8.1f} ms ({min(values):.1f}-{max(values):.1f})"


def timed_run(args):
    """Runs a timing program; prints what it prints and returns its "first" and
    "run" figures (ms) by name."""
    said = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    print(said, end="")
    return {name: float(value) for name, value in re.findall(r"^  (first|run) +([0-9.]+) ms", said, re.M)}


def opencv_read(path, rounds):
    walls = []
    for _ in range(rounds):
        started = time.perf_counter()
        if cv2.imread(path, cv2.IMREAD_UNCHANGED) is None:
            sys.exit(f"bench/web_timing.py: OpenCV could not read {path}")
        walls.append((time.perf_counter() - started) * 1000)
    return walls


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
        page = {}
        try:
            for image in ("hue-5000x5000.pgm", "flag-5000x5000.png"):
                times = []
                for _ in range(rounds):
                    times.append(browser.open(base + image, timeout=300, read=READ_TIMES))
                    times[-1]["again"] = [browser.evaluate(RUN_AGAIN) for _ in range(3)]
                    if image.endswith(".png"):
                        times[-1]["inflate"] = browser.evaluate(INFLATE_ONLY)
                        times[-1]["decoder"] = browser.evaluate(DECODER_ONLY)
                        times[-1]["fresh"] = browser.evaluate(FRESH_MEMORY)
                print(f"page ({times[0]['core']} module), {image}: {times[0]['report'].replace(chr(10), ' ').strip()}")
                figures = {key: [t[key] for t in times] for key in ("read", "run", "draw", "done")}
                figures["again"] = [again for t in times for again in t["again"]]
                for key, name in (("read", "read"), ("run", "run"), ("again", "run again"), ("draw", "draw"),
                                  ("done", "done")):
                    print(f"  {name:9} {summary(figures[key])}")
                if image.endswith(".png"):
                    for key, name in (("inflate", "inflation alone"), ("decoder", "ImageDecoder"),
                                      ("fresh", "fresh memory")):
                        if None in (found := [t[key] for t in times]):
                            continue  # a figure this chromium cannot give (no ImageDecoder)
                        figures[key] = found
                        print(f"  {name:9} {summary(found)}")
                page[image] = {key: statistics.median(values) for key, values in figures.items()}
                page[image]["core"] = times[0]["core"]
        finally:
            browser.close()
            server.shutdown()

        pgm = os.path.join(scratch, "hue-5000x5000.pgm")
        png = os.path.join(scratch, "flag-5000x5000.png")
        # The core alone takes milliseconds: ten times the rounds, for medians
        # that a busy machine moves less.
        core_rounds = 10 * rounds
        node = {module: timed_run(["/usr/bin/node", os.path.join(ROOT, "bench", "web_core_timing.js"),
                                   os.path.join(site, module), pgm, str(core_rounds)])
                for module in ("circthresh.js", "circthresh-simd.js")}

        native = os.path.join(scratch, "web_core_timing")
        build_folder = os.path.abspath(build)
        subprocess.run(["g++", "-O2", "-std=c++17", "-ffp-contract=off", "-o", native,
                        os.path.join(ROOT, "bench", "web_core_timing.cpp"),
                        os.path.join(ROOT, "web", "circthresh_web.cpp"),
                        os.path.join(ROOT, "src", "threshold", "level_counts.cpp"),
                        "-I" + os.path.join(ROOT, "src"), "-I" + os.path.join(ROOT, "include"), "-I" + os.path.join(build_folder, "include"),
                        "-L" + build_folder, "-lcircthresh", "-Wl,-rpath," + build_folder], check=True)
        native_times = timed_run([native, pgm, str(core_rounds)])

        opencv = {}
        for name, path in (("PGM", pgm), ("PNG", png)):
            opencv[name] = opencv_read(path, rounds)
            print(f"OpenCV cv2.imread, {os.path.basename(path)}:\n  read      {summary(opencv[name])}")

        walls = []
        for _ in range(rounds):
            started = time.perf_counter()
            report = subprocess.run([command, os.path.join(scratch, "hue-5000x5000.pgm"),
                                     os.path.join(scratch, "mask.pgm")], check=True,
                                    capture_output=True, text=True).stdout
            walls.append((time.perf_counter() - started) * 1000)
        print(f"command, hue-5000x5000.pgm: {report.replace(chr(10), ' ').strip()}")
        print(f"  whole run {summary(walls)}")

        # Each figure against its peer, medians of this run.
        pgm_page, png_page = page["hue-5000x5000.pgm"], page["flag-5000x5000.png"]
        simd = node["circthresh-simd.js"]
        # The page's peer is the build it ran.
        page_core = simd if pgm_page["core"] == "simd" else node["circthresh.js"]
        pairs = [("page run, PGM (first)", pgm_page["run"], "core in node, first round", page_core["first"]),
                 ("page run again, PGM", pgm_page["again"], "core in node, median", page_core["run"]),
                 ("core in node, plain module", node["circthresh.js"]["run"], "native", native_times["run"]),
                 ("core in node, SIMD module", simd["run"], "native", native_times["run"]),
                 ("page read, PNG", png_page["read"], "OpenCV's cv2.imread", statistics.median(opencv["PNG"])),
                 ("page read, PNG", png_page["read"], "its inflation alone (page)", png_page["inflate"]),
                 *([("page read, PNG", png_page["read"], "ImageDecoder (page)", png_page["decoder"])]
                   if "decoder" in png_page else []),
                 ("page read, PNG", png_page["read"], "fresh memory alone (page)", png_page["fresh"]),
                 ("page read, PGM", pgm_page["read"], "OpenCV's cv2.imread", statistics.median(opencv["PGM"]))]
        print("against the peers (medians):")
        for name, value, peer, peer_value in pairs:
            print(f"  {name:28} {value:8.1f} ms  {peer:26} {peer_value:8.1f} ms  ratio {value / peer_value:5.2f}")
        print(f"load average at the end: {os.getloadavg()[0]:.2f}")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 5)
