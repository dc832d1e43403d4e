#!/usr/bin/env bash
# Installs, from Debian's packages, what the README's recipes and their tests use
# (tests/recipes/run.sh): ImageMagick, netpbm, OpenCV and numpy for Debian's
# /usr/bin/python3, GNU parallel, OpenSSH server and client, rsync.
set -euo pipefail
need=()
command -v convert >/dev/null || need+=(imagemagick)
command -v pnmtopng >/dev/null && command -v pamarith >/dev/null || need+=(netpbm)
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import cv2, numpy' 2>/dev/null || need+=(python3-opencv python3-numpy)
command -v parallel >/dev/null || need+=(parallel)
[ -x /usr/sbin/sshd ] || need+=(openssh-server)
command -v ssh >/dev/null && command -v ssh-keygen >/dev/null || need+=(openssh-client)
command -v rsync >/dev/null || need+=(rsync)
if [ ${#need[@]} -eq 0 ]; then
  echo "recipe tools: all present"
  exit 0
fi
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
  echo "installing with apt-get: ${need[*]}"
else
  command -v sudo >/dev/null || { echo "missing: ${need[*]}, and sudo to install them (run as root)"; exit 1; }
  as_root=(sudo)
  echo "installing with sudo apt-get: ${need[*]}"
fi
"${as_root[@]}" apt-get update -qq
# openssh-server must not start a system sshd listening on the network: the
# tests start their own on 127.0.0.1. Debian's policy-rc.d hook, where none is
# in place, refuses service starts for the length of the install.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  echo "writing $policy for the install (no service starts), removed after it"
  trap '"${as_root[@]}" rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' | "${as_root[@]}" tee "$policy" >/dev/null
  "${as_root[@]}" chmod 755 "$policy"
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}"
