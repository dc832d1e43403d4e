#!/usr/bin/env bash
# Builds the page into OUTDIR: index.html, its scripts (page.js and the files it
# calls), circthresh.js and circthresh-simd.js (the WebAssembly module inside
# them, without and with vector instructions) and the default photo with its
# licence. Nothing on the page comes from elsewhere, so OUTDIR can be served as
# it is or opened from disk. Needs Debian's emscripten, CMake, make and base64
# (coreutils); it names what is missing in one line (tools/install-web-deps.sh
# installs it).
#
# usage: bash web/build.sh OUTDIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: bash web/build.sh OUTDIR" >&2
  exit 2
fi
web=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$web")

missing=()
command -v emcmake >/dev/null && command -v emcc >/dev/null || missing+=(emscripten)
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
command -v base64 >/dev/null || missing+=(coreutils)
[ -x /usr/bin/node ] || missing+=(nodejs)
if [ ${#missing[@]} -ne 0 ]; then
  echo "web/build.sh: missing ${missing[*]}; install with: bash tools/install-web-deps.sh" >&2
  exit 1
fi

mkdir -p "$1"
out=$(cd "$1" && pwd)
build=$(mktemp -d /tmp/circthresh-web-build.XXXXXX)
trap 'rm -rf "$build"' EXIT
# emcc runs its JavaScript steps in Debian's node, which finds Debian's acorn
# only through NODE_PATH; a node of one's own earlier on PATH is not used.
export NODE_PATH=/usr/share/nodejs EM_NODE_JS=/usr/bin/node
emcmake cmake -S "$web" -B "$build" -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || { cat "$build/build.log" >&2; exit 1; }

cp "$build/circthresh.js" "$build/circthresh-simd.js" "$web/core_calls.js" "$web/read_image.js" "$web/page.js" "$web/classes.js" "$web/draw.js" "$root/examples/flag.png" "$root/examples/flag.txt" "$out/"
# The default photo goes into the page itself as well: a page opened from disk
# may not read the pixels of a file beside it.
photo="data:image/png;base64,$(base64 -w0 "$root/examples/flag.png")"
sed "s|@DEFAULT_PHOTO@|$photo|" "$web/index.html" >"$out/index.html"
echo "web/build.sh: the page is in $out ($(du -cb "$out"/* | tail -1 | cut -f1) bytes)"
