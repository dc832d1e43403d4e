#!/usr/bin/env bash
# Installs, on Debian, what the ImageJ plugin's build and test need
# (imagej/build.sh, tests/imagej/plugin_test.py): a JDK to compile it, ImageJ
# to compile against and run it in, and a virtual display for ImageJ's windows
# (xvfb-run needs xauth, which xvfb only recommends).
# Not root, it installs through sudo and says so; it installs nothing when
# nothing is missing.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
cd /  # so that no folder here passes for a Python package
need=()
command -v javac >/dev/null && command -v jar >/dev/null || need+=(default-jdk-headless)
dpkg -s imagej >/dev/null 2>&1 && [ -f /usr/share/java/ij.jar ] || need+=(imagej)
command -v xvfb-run >/dev/null || need+=(xvfb)
command -v xauth >/dev/null || need+=(xauth)
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import numpy' 2>/dev/null || need+=(python3-numpy)
install_packages install-imagej-deps
