mkdir -p out
find images -name '*.pgm' -print0 |
  xargs -0 -n 1 -P 2 sh -c 'circthresh "$1" "out/${1##*/}" > "out/${1##*/}.txt" ||
                            { echo "failed: $1" >&2; exit 1; }' sh
echo "status $?"
