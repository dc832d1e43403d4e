#!/usr/bin/env bash
# The README shows the recipes that the other tests run: each block after a
# "<!-- recipe: PATH -->" line must be that file byte for byte, and every recipe
# file must be shown.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need awk
make_scratch readme

# Writes each marked block of the README into a file named after its recipe.
awk -v out="$SCRATCH" '
  /^<!-- recipe: tests\/recipes\/[^ ]+ -->$/ { name = $3; sub(/.*\//, "", name); want = 1; next }
  want == 1 && /^```/ { want = 2; file = out "/" name; printf "" > file; next }
  want == 2 && /^```$/ { want = 0; close(file); next }
  want == 2 { print >> file }
' "$ROOT/README.md"

shown=0
for recipe in "$RECIPES"/*.sh "$RECIPES"/*.py; do
  name=$(basename "$recipe")
  case $name in test_*|common.sh|run.sh) continue ;; esac
  [ -e "$name" ] || fail "README does not show $name"
  cmp -s "$name" "$recipe" || { diff "$recipe" "$name" | head -n 10 || true; fail "README's $name differs from tests/recipes/$name"; }
  shown=$((shown + 1))
done
for block in *; do
  [ -e "$RECIPES/$block" ] || fail "README shows a recipe block for $block, which tests/recipes/ does not hold"
done
echo "test_readme: $shown recipe blocks equal to their files"
