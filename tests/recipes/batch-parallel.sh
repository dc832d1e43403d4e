mkdir -p out
find images -name '*.pgm' -print0 |
  parallel -0 --joblog out/batch.log \
    'circthresh {} out/{/} > out/{/}.txt || { echo "failed: "{} >&2; exit 1; }'
echo "status $?"
# Later, from the log: the commands that failed (column 7 is the exit status).
awk -F '\t' 'NR > 1 && $7 != 0 { print $9 }' out/batch.log
