#!/usr/bin/env bash
# The "beyond one machine" recipes. First the chunked ones, in a scratch clone on
# the inputs their page makes: a zarr stack under dask's threads and on a
# LocalCluster, whose reports and masks must be the command's on the stack as
# one PGM, and a GeoTIFF of directions with no-data, whose mask must be the
# module's on the cells with data, 128 elsewhere, tiled, with the input's CRS
# and transform. Then GNU parallel over two hosts: an sshd of the test's own on
# 127.0.0.1 (throwaway keys, a port of its own, a login folder of its own) and
# this machine (":"). 300 generated images, one of them bad: every output must
# equal a local run, and the job log must mark exactly the bad one.
set -euo pipefail
RECIPES=$(cd "$(dirname "$0")" && pwd)
. "$RECIPES/common.sh"
need circthresh parallel ssh ssh-keygen rsync pgmnoise timeout
[ -x /usr/sbin/sshd ] || { echo "missing: /usr/sbin/sshd (bash tools/install-recipe-deps.sh installs it)"; exit 1; }

SCRATCH=$(mktemp -d /tmp/circthresh-recipes-scaleout.XXXXXX)
SSHD_PID=
cleanup() {
  if [ -n "$SSHD_PID" ]; then kill "$SSHD_PID" 2>/dev/null || true; wait "$SSHD_PID" 2>/dev/null || true; fi
  rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
cd "$SCRATCH"
keep_temporary_files_in "$SCRATCH"

export PYTHONPATH=$(dirname "$(command -v circthresh)")/python:$ROOT/build-python/python  # else installed
"$PY" -c 'import circthresh, dask.array, distributed, zarr, rioxarray' 2>/dev/null ||
  fail "missing: the circthresh module, or python3-dask, python3-distributed, python3-zarr or python3-rioxarray"
start_clone clone
for recipe in scaleout-inputs.py scaleout-zarr.py scaleout-geotiff.py scaleout-client.py; do
  (cd clone && run_recipe $recipe > "../${recipe%.py}.txt") || fail "$recipe failed: $(cat "${recipe%.py}.txt")"
  case $recipe in scaleout-zarr.py) mv clone/out/stack-mask.zarr threaded-mask.zarr ;; esac
done
"$PY" - <<'PY' || fail "a chunked recipe's report or output differs from the command's"
import subprocess, numpy as np, rasterio, zarr, circthresh
stack = zarr.open("clone/out/stack.zarr", "r")
open("stack.pgm", "wb").write(b"P5\n%d %d\n255\n" % (stack.shape[2], stack.shape[0] * stack.shape[1]) + stack[:].tobytes())
said = subprocess.run(["circthresh", "stack.pgm", "stack-mask.pgm"], check=True, capture_output=True, text=True).stdout
binary = np.fromfile("stack-mask.pgm", np.uint8)[-stack.size:].reshape(stack.shape)
for name, store in (("zarr", "threaded-mask.zarr"), ("client", "clone/out/stack-mask.zarr")):
    assert open("scaleout-%s.txt" % name).read() == said, name
    mask = zarr.open(store, "r")
    assert mask.chunks == stack.chunks and np.array_equal(mask[:], binary), name
with rasterio.open("clone/out/directions.tif") as tif, rasterio.open("clone/out/directions-mask.tif") as out:
    angles, cells = tif.read(1), out.read(1)
    assert (out.nodata, out.crs, out.transform, out.block_shapes, out.dtypes) == (128, tif.crs, tif.transform, [(512, 512)], ("uint8",))
has_data = angles != -9999
t, sigma_w, expected = circthresh.threshold(circthresh.angles_to_levels(angles[has_data], 360))
assert open("scaleout-geotiff.txt").read() == "thresholding at %d\nsigma_W %f\nblack: %.3f to %.3f degrees\n" % (
    t, sigma_w, (t - .5) * 1.40625, (t + 127.5) * 1.40625)
assert (cells[has_data] == expected).all() and (cells[~has_data] == 128).all() and (~has_data).any()
PY
for report in scaleout-zarr.txt scaleout-geotiff.txt; do
  while read -r line; do grep -qxF "    $line" "$ROOT/docs/scale-out.md" || fail "docs/scale-out.md does not quote: $line"; done < $report
done
echo "chunked recipes: $(head -n 1 scaleout-zarr.txt) (zarr, threads and LocalCluster), $(head -n 1 scaleout-geotiff.txt) (GeoTIFF), as the command and the module"

# sshd run by root wants its privilege separation folder, which otherwise only
# the service's start-up makes. It stays: any other sshd started meanwhile (a
# second run of this test, say) needs it for every connection it accepts.
if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
  mkdir -m 755 /run/sshd
fi

mkdir keys remote
ssh-keygen -q -t ed25519 -N '' -C circthresh-test-host -f keys/host
ssh-keygen -q -t ed25519 -N '' -C circthresh-test-user -f keys/user
cp keys/user.pub keys/authorized_keys

# Start sshd on a free port: try a few random ones, keep the first that answers.
start_sshd() {
  local port=$1
  cat > sshd_config <<CONF
ListenAddress 127.0.0.1
Port $port
HostKey $SCRATCH/keys/host
AuthorizedKeysFile $SCRATCH/keys/authorized_keys
PidFile $SCRATCH/sshd.pid
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
UsePAM no
StrictModes no
# The "remote machine" logs in to a folder of its own, as another host would.
ForceCommand cd $SCRATCH/remote && eval "\$SSH_ORIGINAL_COMMAND"
CONF
  cat > ssh_config <<CONF
Host testnode
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $SCRATCH/keys/user
  IdentitiesOnly yes
  UserKnownHostsFile $SCRATCH/keys/known_hosts
  StrictHostKeyChecking accept-new
  BatchMode yes
  ConnectTimeout 10
CONF
  /usr/sbin/sshd -D -e -f sshd_config 2>> sshd.log &
  SSHD_PID=$!
  local i
  for i in $(seq 50); do
    kill -0 "$SSHD_PID" 2>/dev/null || break
    if ssh -F ssh_config testnode true 2>/dev/null; then return 0; fi
    sleep 0.2
  done
  kill "$SSHD_PID" 2>/dev/null || true
  wait "$SSHD_PID" 2>/dev/null || true
  SSHD_PID=
  return 1
}
started=
for try in 1 2 3 4 5; do
  if start_sshd $((20000 + RANDOM % 40000)); then started=1; break; fi
done
[ -n "$started" ] || { tail -n 5 sshd.log; fail "could not start sshd on 127.0.0.1"; }
[ "$(ssh -F ssh_config testnode pwd)" = "$SCRATCH/remote" ] || { tail -n 5 sshd.log; fail "the test host does not log in to its own folder"; }
echo "sshd on 127.0.0.1, pid $SSHD_PID, login folder $SCRATCH/remote"

export PARALLEL_SSH="ssh -F $SCRATCH/ssh_config"
export PARALLEL_HOME="$SCRATCH/parallel-home"   # GNU parallel's own files stay here too

# 300 small noise images (deterministic seeds); number 150 is cut short.
mkdir images local
for i in $(seq -w 1 300); do pgmnoise -randomseed="$i" 64 48 > "images/img$i.pgm" 2>/dev/null; done
head -c 100 images/img001.pgm > images/img150.pgm
BAD=images/img150.pgm
for f in images/*.pgm; do
  circthresh "$f" "local/${f##*/}" > "local/${f##*/}.txt" 2>/dev/null || true
done
[ ! -e local/img150.pgm ] || fail "the bad image was not bad"

# Every good image's mask and report in $1/out equal the local run; no mask for the bad one.
check_outputs() {
  local f name count=0
  for f in images/*.pgm; do
    name=${f##*/}
    [ "$f" = "$BAD" ] && continue
    cmp -s "$1/out/$name" "local/$name" || fail "$1: out/$name differs from the local run"
    cmp -s "$1/out/$name.txt" "local/$name.txt" || fail "$1: out/$name.txt differs from the local run"
    count=$((count + 1))
  done
  [ ! -e "$1/out/img150.pgm" ] || fail "$1: a mask came back for the bad image"
  echo "$1: $count masks and reports equal to the local run"
}

# Job log rows (without the header) whose exit status is not 0.
failed_jobs() {
  awk -F '\t' 'NR > 1 && $7 != 0' "$1"
}

# Which hosts ran jobs.
hosts_used() {
  awk -F '\t' 'NR > 1 { print $2 }' "$1" | sort -u | tr '\n' ' '
}

run() {
  local dir=$1 recipe=$2 start end
  mkdir "$dir"
  cp -r images "$dir"/
  printf 'testnode\n:\n' > "$dir/hosts.txt"
  start=$(date +%s.%N)
  (cd "$dir" && timeout 600 bash "$RECIPES/$recipe" > stdout.txt 2> stderr.txt) ||
    fail "$recipe: did not finish within 600 s"
  end=$(date +%s.%N)
  echo "$recipe: $(cat "$dir/stdout.txt" | tr '\n' ' ')in $(echo "$start $end" | awk '{ printf "%.1f", $2 - $1 }') s"
  [ "$(cat "$dir/stdout.txt")" = "status 1" ] || fail "$recipe: printed '$(cat "$dir/stdout.txt")', expected 'status 1'"
  [ "$(grep '^failed: ' "$dir/stderr.txt")" = "failed: $BAD" ] ||
    fail "$recipe: failures named: '$(grep '^failed: ' "$dir/stderr.txt" | tr '\n' ' ')'"
  [ -z "$(ls -A remote)" ] || fail "$recipe: files left on the test host: $(ls -A remote | head -n 5 | tr '\n' ' ')"
}

# Batches of 50: six jobs, of which exactly one, the batch holding the bad
# image, exits 1; both hosts take part.
run batched scaleout-batched.sh
log=batched/scaleout.log
[ "$(awk 'NR > 1' $log | wc -l)" -eq 6 ] || fail "batched: the log does not hold 6 jobs"
failed_jobs $log > batched/failed.txt
[ "$(wc -l < batched/failed.txt)" -eq 1 ] || fail "batched: $(wc -l < batched/failed.txt) jobs failed, expected 1"
[ "$(cut -f 7 batched/failed.txt)" = 1 ] || fail "batched: the failed job's status is not 1"
failed_archive=$(grep -ao 'batch-[0-9]*\.tar' batched/failed.txt | head -n 1)
holder=
for archive in batched/batch-????.tar; do
  if grep -qx "$BAD" <(tar -tf "$archive"); then holder=${archive#batched/}; fi
done
[ "$failed_archive" = "$holder" ] || fail "batched: the failed job is '$failed_archive', $BAD is in $holder"
[ "$(hosts_used $log)" = ": testnode " ] || fail "batched: jobs ran on '$(hosts_used $log)', expected both hosts"
echo "batched: 6 jobs on hosts $(hosts_used $log); the one failed job is $failed_archive's, which holds $BAD"
check_outputs batched

# One image per job: 300 jobs, exactly the bad image's exits 1.
run each scaleout-each.sh
log=each/scaleout-each.log
[ "$(awk 'NR > 1' $log | wc -l)" -eq 300 ] || fail "each: the log does not hold 300 jobs"
failed_jobs $log > each/failed.txt
[ "$(wc -l < each/failed.txt)" -eq 1 ] || fail "each: $(wc -l < each/failed.txt) jobs failed, expected 1"
[ "$(cut -f 7 each/failed.txt)" = 1 ] || fail "each: the failed job's status is not 1"
grep -q "circthresh $BAD " each/failed.txt || fail "each: the failed job is not the bad image's"
[ "$(hosts_used $log)" = ": testnode " ] || fail "each: jobs ran on '$(hosts_used $log)', expected both hosts"
echo "each: 300 jobs on hosts $(hosts_used $log); the one failed job is $BAD's"
check_outputs each
echo "test_scaleout: passed"
