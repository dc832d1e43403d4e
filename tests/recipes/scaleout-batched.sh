# The static binary travels with the jobs (with the package installed on every
# host, drop --basefile and call circthresh instead of ./circthresh).
cp "$(command -v circthresh)" .

# Batches of 50 images, one archive each: batch-0000.tar, batch-0001.tar, ...
find images -name '*.pgm' | split -d -a 4 -l 50 - batch-
for list in batch-????; do tar -cf "$list.tar" -T "$list" && rm "$list"; done

# One job per batch, on whichever host has a free slot: the archive goes there,
# the masks and reports come back in batch-NNNN-out.tar. A failed image names
# itself on standard error and makes its job exit 1: circthresh's own 255 is
# what ssh exits with when it cannot reach a host.
ls batch-????.tar |
  parallel --sshloginfile hosts.txt --basefile circthresh \
    --transferfile {} --return {.}-out.tar --cleanup --joblog scaleout.log '
      mkdir {.} {.}/out && tar -xf {} -C {.} && tar -tf {} > {.}/list || exit 2
      status=0
      while IFS= read -r f; do
        ./circthresh "{.}/$f" "{.}/out/${f##*/}" > "{.}/out/${f##*/}.txt" ||
          { echo "failed: $f" >&2; status=1; }
      done < {.}/list
      tar -cf {.}-out.tar -C {.} out && rm -r {.} && exit $status'
echo "status $?"

# Masks and reports side by side: out/NAME.pgm, out/NAME.pgm.txt.
for result in batch-????-out.tar; do tar -xf "$result"; done
