#!/usr/bin/env bash
# Installs what the Python module needs to build and test, where the machine
# lacks it (Debian): pybind11, and the headers, numpy and pytest of Debian's own
# /usr/bin/python3, the interpreter the build uses by default, with dask and
# dask.distributed, xarray, rioxarray and zarr, on which the tests run the module
# over chunked arrays and rasters; and
# for `pip install .` and `python3 -m build` offline (tests/python_packaging.sh):
# venv, build, setuptools and wheel for that Python, and git for the clean clone
# the test builds from. Not root, it installs through sudo and says so.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
# What Python imports is checked from /: in the top of a clone, CMake's build/
# folder would import as a package named build.
cd /
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
  # Rasters and stores as the lazy arrays' tests and the scale-out recipes read them.
  "$python" -c 'import xarray' 2>/dev/null || need+=(python3-xarray)
  "$python" -c 'import rioxarray' 2>/dev/null || need+=(python3-rioxarray)
  "$python" -c 'import zarr' 2>/dev/null || need+=(python3-zarr)
  # The photo recipe's test reads and writes its files with OpenCV.
  "$python" -c 'import cv2' 2>/dev/null || need+=(python3-opencv)
  # Debian's venv makes a venv with pip only with python3-venv (ensurepip).
  "$python" -c 'import ensurepip' 2>/dev/null || need+=(python3-venv)
  "$python" -c 'import build' 2>/dev/null || need+=(python3-build)
  "$python" -c 'import setuptools' 2>/dev/null || need+=(python3-setuptools)
  "$python" -c 'import wheel' 2>/dev/null || need+=(python3-wheel)
else
  need+=(python3 python3-dev python3-numpy python3-pytest python3-dask python3-distributed
         python3-xarray python3-rioxarray python3-zarr python3-opencv python3-venv python3-build python3-setuptools python3-wheel)
fi
command -v git >/dev/null || need+=(git)
install_packages install-python-deps
