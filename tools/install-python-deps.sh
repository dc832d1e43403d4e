#!/usr/bin/env bash
# Installs what the Python module needs to build and test, where the machine
# lacks it (Debian): pybind11, and the headers, numpy and pytest of Debian's own
# /usr/bin/python3, the interpreter the build uses by default, with dask and
# dask.distributed, on which the tests run the module over chunked arrays. Not root, it
# installs through sudo and says so.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
python=/usr/bin/python3
need=()
[ -f /usr/include/pybind11/pybind11.h ] || need+=(pybind11-dev)
if [ -x "$python" ]; then
  "$python" -c 'import os, sys, sysconfig
sys.exit(not os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")))' ||
    need+=(python3-dev)
  "$python" -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
  "$python" -c 'import pytest' 2>/dev/null || need+=(python3-pytest)
  "$python" -c 'import dask.array' 2>/dev/null || need+=(python3-dask)
  "$python" -c 'import distributed' 2>/dev/null || need+=(python3-distributed)
else
  need+=(python3 python3-dev python3-numpy python3-pytest python3-dask python3-distributed)
fi
install_packages install-python-deps
