#!/usr/bin/env bash
# Installs what the Python module needs to build and test, where the machine
# lacks it (Debian): pybind11, and the headers, numpy and pytest of Debian's own
# /usr/bin/python3, the interpreter the build uses by default.
set -euo pipefail
python=/usr/bin/python3
need=()
[ -f /usr/include/pybind11/pybind11.h ] || need+=(pybind11-dev)
if [ -x "$python" ]; then
  "$python" -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' ||
    need+=(python3-dev)
  "$python" -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
  "$python" -c 'import pytest' 2>/dev/null || need+=(python3-pytest)
else
  need+=(python3 python3-dev python3-numpy python3-pytest)
fi
[ ${#need[@]} -eq 0 ] && exit 0

command -v apt-get >/dev/null ||
  { echo "missing ${need[*]}: install them for $python with your package manager" >&2; exit 1; }
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "missing ${need[*]}: run this as root, or install sudo" >&2; exit 1; }
  sudo=(sudo)
fi
echo "installing ${need[*]} with apt-get${sudo:+ through sudo}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
