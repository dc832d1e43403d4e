#!/usr/bin/env bash
# Installs, on Debian, what building and testing need and the machine lacks:
# g++, CMake and make to build; GoogleTest for the unit tests, netpbm for the
# one that reads the output with another tool; dpkg-dev, file and lintian for
# the package check. Not root, it installs through sudo and says so;
# it installs nothing when nothing is missing.
set -euo pipefail

need=()
command -v g++ >/dev/null || need+=(g++)
command -v cmake >/dev/null || need+=(cmake)
command -v make >/dev/null || need+=(make)
[ -f /usr/include/gtest/gtest.h ] || [ -f /usr/local/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v pamfile >/dev/null || need+=(netpbm)
command -v dpkg-shlibdeps >/dev/null || need+=(dpkg-dev)
command -v file >/dev/null || need+=(file)
command -v lintian >/dev/null || need+=(lintian)
[ ${#need[@]} -eq 0 ] && exit 0

stop() {
  echo "install-deps: $1; install these as root, then run it again: apt-get install ${need[*]}" >&2
  exit 1
}
if [ "$(id -u)" = 0 ]; then
  as_root=()
  echo "install-deps: installing ${need[*]}"
elif command -v sudo >/dev/null; then
  as_root=(sudo)
  echo "install-deps: not root, so installing ${need[*]} through sudo"
  sudo true || stop "sudo did not work"
else
  stop "not root and no sudo"
fi
command -v apt-get >/dev/null || stop "no apt-get on this machine"
"${as_root[@]}" apt-get -qq -o DPkg::Lock::Timeout=600 update || stop "apt-get update failed"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600 \
  install -y --no-install-recommends "${need[@]}" || stop "apt-get install failed"
