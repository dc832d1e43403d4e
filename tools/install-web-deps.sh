#!/usr/bin/env bash
# Installs, on Debian, what the page's build and tests need (web/build.sh,
# tests/web/run.sh): emscripten with CMake and make to build the WebAssembly
# module, nodejs to test it, chromium to test the page, and OpenCV and numpy
# for Debian's /usr/bin/python3 to check the page's hue. Not root, it installs
# through sudo and says so; it installs nothing when nothing is missing.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
# What Python imports is checked from /: in the top of a clone, a folder named
# cv2/ or numpy/ would import in place of the package.
cd /
need=()
command -v emcmake >/dev/null && command -v emcc >/dev/null || need+=(emscripten)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
[ -x /usr/bin/node ] || need+=(nodejs)
command -v chromium >/dev/null || need+=(chromium)
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import cv2, numpy' 2>/dev/null || need+=(python3-opencv python3-numpy)
install_packages install-web-deps
