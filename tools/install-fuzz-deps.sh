#!/usr/bin/env bash
# Installs, on Debian, what the clang build and the fuzzer (fuzz/run.sh) need:
# clang, AFL++ with its clang wrappers, CMake and make, g++ for the sanitizer
# build of the replay, and Debian's /usr/bin/python3 for the contract check.
# Not root, it installs through sudo and says so; it installs nothing when
# nothing is missing.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
need=()
command -v clang++ >/dev/null || need+=(clang)
command -v afl-fuzz >/dev/null && command -v afl-clang-fast++ >/dev/null || need+=(afl++)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
command -v g++ >/dev/null || need+=(g++)
[ -x /usr/bin/python3 ] || need+=(python3)
install_packages install-fuzz-deps
