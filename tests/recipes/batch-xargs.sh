# Nothing is made, and it says so, where there is no image (another folder, say).
if find images -name '*.pgm' 2>/dev/null | grep -q .; then
  mkdir -p out
  find images -name '*.pgm' -print0 |
    xargs -0 -n 1 -P 2 sh -c 'circthresh "$1" "out/${1##*/}" > "out/${1##*/}.txt" ||
                              { echo "failed: $1" >&2; exit 1; }' sh
  echo "status $?"
else
  echo "no images: no .pgm file under images/ here; nothing done" >&2
fi
