#!/usr/bin/env bash
# The page's tests: builds the site (web/build.sh), checks its WebAssembly core
# against the command in node, its hue against OpenCV's, and the page itself in
# headless chromium. Offline; the page is served on 127.0.0.1 only.
#
# usage: bash tests/web/run.sh BUILD [SCREENSHOT]
#   BUILD: a build folder holding the command (build/circthresh)
#   SCREENSHOT: where to write a PNG of the page on the default photo
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command=$(cd "$1" && pwd)/circthresh
screenshot=${2:+$(cd "$(dirname "$2")" && pwd)/$(basename "$2")}

missing=()
[ -x "$command" ] || missing+=("the command $command")
[ -x /usr/bin/node ] || missing+=(nodejs)
command -v chromium >/dev/null || missing+=(chromium)
[ -x /usr/bin/python3 ] && (cd / && /usr/bin/python3 -c 'import cv2, numpy') 2>/dev/null ||
  missing+=("python3-opencv/python3-numpy for /usr/bin/python3")
if [ ${#missing[@]} -ne 0 ]; then
  echo "tests/web/run.sh: missing ${missing[*]} (bash tools/install-web-deps.sh installs the packages)" >&2
  exit 1
fi

# The tests import chromium.py from here: no __pycache__ left beside it.
export PYTHONDONTWRITEBYTECODE=1
scratch=$(mktemp -d /tmp/circthresh-web-test.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM

bash "$root/web/build.sh" "$scratch/site"
size=$(du -cb "$scratch/site"/* | tail -1 | cut -f1)
echo "site: $size bytes, gzipped $(cat "$scratch/site"/* | gzip -9 | wc -c) bytes"
# A page to open in a minute: the whole site stays under 300 KB.
if [ "$size" -ge 300000 ]; then
  echo "tests/web/run.sh: the site has grown to $size bytes, over 300 KB" >&2
  exit 1
fi
# Both builds of the module, without and with vectors: the same results.
for module in circthresh.js circthresh-simd.js; do
  echo "module $module:"
  /usr/bin/node "$here/core_test.js" "$scratch/site/$module" "$command" "$scratch"
  /usr/bin/python3 "$here/hue_test.py" "$scratch/site/$module" "$scratch"
done
/usr/bin/python3 "$here/page_test.py" "$scratch/site" "$command" "$scratch" ${screenshot:+"$screenshot"}
