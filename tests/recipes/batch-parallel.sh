# Nothing is made, and it says so, where there is no image (another folder, say).
if find images -name '*.pgm' 2>/dev/null | grep -q .; then
  mkdir -p out
  find images -name '*.pgm' -print0 |
    parallel -0 --joblog out/batch.log \
      'circthresh {} out/{/} > out/{/}.txt || { echo "failed: "{} >&2; exit 1; }'
  echo "status $?"
  # The commands that failed, from the log (column 7 is the exit status).
  awk -F '\t' 'NR > 1 && $7 != 0 { print $9 }' out/batch.log
else
  echo "no images: no .pgm file under images/ here; nothing done" >&2
fi
