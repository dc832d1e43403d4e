#!/usr/bin/env bash
# Runs the README's recipes and checks their results: every test_*.sh here, with
# the circthresh of BUILD_DIR (default build) first on PATH.
# usage: tests/recipes/run.sh [BUILD_DIR]
set -uo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$RECIPES/../../build}" 2>/dev/null && pwd) || build=
if [ -z "$build" ] || [ ! -x "$build/circthresh" ]; then
  echo "missing: circthresh in ${1:-build} (build it: cmake -S . -B build && cmake --build build -j2)"
  exit 1
fi
export PATH="$build:$PATH"

# The tests work in scratch folders: what git shows of this clone must be the
# same after them as before (a clone with changes of its own keeps them).
root=$(cd "$RECIPES/../.." && pwd)
git_status() { git -C "$root" status --porcelain 2>/dev/null || echo "(not a git checkout)"; }
before=$(git_status)

passed=0 failed=0
for test in "$RECIPES"/test_*.sh; do
  name=$(basename "$test" .sh)
  echo "== $name"
  if bash "$test"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "== $name FAILED"; fi
done
after=$(git_status)
if [ "$after" != "$before" ]; then
  echo "== the tests changed what git shows of $root:"
  diff <(echo "$before") <(echo "$after") || true
  failed=$((failed + 1))
fi
echo "recipes: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
