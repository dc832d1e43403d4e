#!/usr/bin/env bash
# The recipe pages (docs/*.md, and the README) show the recipes that the other
# tests run: each block after a "<!-- recipe: PATH -->" line must be that file
# byte for byte, and every recipe file must be shown, once.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need awk
make_scratch readme

# Writes each marked block into a file named after its recipe; a recipe shown
# twice is named in shown-twice.txt.
pages=("$ROOT/README.md" "$ROOT"/docs/*.md)
mkdir blocks
awk -v out="$SCRATCH/blocks" '
  /^<!-- recipe: tests\/recipes\/[^ ]+ -->$/ { name = $3; sub(/.*\//, "", name); want = 1; next }
  want == 1 && /^```/ {
    want = 2; file = out "/" name
    if (file in seen) print name > "shown-twice.txt"
    seen[file] = 1; printf "" > file; next
  }
  want == 2 && /^```$/ { want = 0; close(file); next }
  want == 2 { print >> file }
' "${pages[@]}"
cd blocks

shown=0
for recipe in "$RECIPES"/*.sh "$RECIPES"/*.py; do
  name=$(basename "$recipe")
  case $name in test_*|common.sh|run.sh) continue ;; esac
  [ -e "$name" ] || fail "no page shows $name"
  cmp -s "$name" "$recipe" || { diff "$recipe" "$name" | head -n 10 || true; fail "the page's $name differs from tests/recipes/$name"; }
  shown=$((shown + 1))
done
for block in *; do
  [ -e "$RECIPES/$block" ] || fail "a page shows a recipe block for $block, which tests/recipes/ does not hold"
done
[ ! -e ../shown-twice.txt ] || fail "shown more than once: $(cat ../shown-twice.txt)"
echo "test_readme: $shown recipe blocks in README.md and docs/ equal to their files"
