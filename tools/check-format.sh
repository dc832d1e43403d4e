#!/usr/bin/env bash
# Checks that every C, C++ and Java source of the tree is laid out as
# .clang-format says, with Debian's clang-format 14 (another version lays some
# lines out otherwise): names each file that differs and fails; changes nothing.
# `clang-format -i FILE` lays a file out.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v clang-format >/dev/null || {
  echo "check-format: clang-format is missing (Debian package clang-format; tools/install-deps.sh installs it)" >&2
  exit 1
}
version=$(clang-format --version)
case $version in
  *" version 14."*) ;;
  *) echo "check-format: needs clang-format 14, the version the layout is made with; this one is: $version" >&2
     exit 1 ;;
esac

folders=(src include tests python web fuzz bench examples imagej)
sources='\.(c|cc|cpp|h|hpp|java)$'
# The files git tracks; outside a git checkout (a release tarball), every file there.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- "${folders[@]}" | grep -E "$sources")
else
  mapfile -t files < <(find "${folders[@]}" -type f 2>/dev/null | grep -E "$sources" | sort)
fi
[ ${#files[@]} -gt 0 ] || { echo "check-format: no C, C++ or Java source found" >&2; exit 1; }

differ=0
for file in "${files[@]}"; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "check-format: $file differs from .clang-format's layout (clang-format -i $file)" >&2
    differ=$((differ + 1))
  fi
done
if [ "$differ" -gt 0 ]; then
  echo "check-format: $differ of ${#files[@]} files differ" >&2
  exit 1
fi
echo "check-format: all ${#files[@]} C, C++ and Java sources as .clang-format lays them out"
