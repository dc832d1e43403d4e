# One job per image: simple, but every job pays for its own ssh and rsync runs.
cp "$(command -v circthresh)" .
find images -name '*.pgm' |
  parallel --sshloginfile hosts.txt --basefile circthresh \
    --trc out/{/} --trc out/{/}.txt --joblog scaleout-each.log \
    'mkdir -p out && ./circthresh {} out/{/} > out/{/}.txt || { echo "failed: "{} >&2; exit 1; }'
echo "status $?"
