#!/usr/bin/env bash
# The manual page's EXAMPLES are the README's recipes, shortened: every command
# line in them must be a line of a recipe file (with photo.png standing for
# examples/flag.png), so that they cannot drift apart. The recipes write into
# out/, the manual page's examples into the current folder: out/ is dropped
# from both before they are compared.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need awk sed
make_scratch manpage

# The example lines: between .nf and .fi in the EXAMPLES section, roff escapes undone.
awk '/^\.SH /{ inside = ($2 == "EXAMPLES") } inside && /^\.nf/{ keep = 1; next } /^\.fi/{ keep = 0 } inside && keep' \
    "$ROOT/man/circthresh.1" |
  sed -e 's/\\-/-/g' -e 's/\\(aq/'"'"'/g' -e 's/\\e/\\/g' -e 's/^ *//' -e 's|out/||g' > examples.txt
cat "$RECIPES"/*.sh | grep -v '^ *#' | sed -e 's/^ *//' -e 's|examples/flag\.png|photo.png|g' -e 's|out/||g' > recipe-lines.txt
# The one example that is no recipe: the plain run of the synopsis.
echo 'circthresh hue.pgm hue-binary.pgm' >> recipe-lines.txt

count=0
while IFS= read -r line; do
  grep -qxF -- "$line" recipe-lines.txt || fail "man page example line is in no recipe: $line"
  count=$((count + 1))
done < examples.txt
[ "$count" -ge 10 ] || fail "only $count example lines found in the man page"
echo "test_manpage: $count example lines, each a line of a recipe"
