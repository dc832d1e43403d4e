#!/usr/bin/env bash
# Installs, on Debian, what building and testing need and the machine lacks:
# g++, CMake and make to build, gcc for the C library's tests in C; GoogleTest
# for the unit tests, netpbm for the one that reads the output with another
# tool; pkg-config to build the C example as the README shows; dpkg-dev, file
# and lintian for the package check; acl and attr for the tests that set ACLs
# and attributes on the file an output replaces; clang-format for the layout
# check (tools/check-format.sh). Not root, it installs through
# sudo and says so; it installs nothing when nothing is missing.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"

need=()
command -v g++ >/dev/null || need+=(g++)
command -v gcc >/dev/null || need+=(gcc)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || [ -f /usr/local/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v pamfile >/dev/null || need+=(netpbm)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v pkg-config >/dev/null || need+=(pkg-config)
command -v file >/dev/null || need+=(file)
command -v lintian >/dev/null || need+=(lintian)
command -v setfacl >/dev/null || need+=(acl)
command -v setfattr >/dev/null || need+=(attr)
command -v clang-format >/dev/null || need+=(clang-format)
install_packages install-deps
