#!/usr/bin/env bash
# Installs, from Debian's packages, what the recipes (docs/recipes.md,
# docs/scale-out.md) and their tests (tests/recipes/run.sh) use: ImageMagick,
# netpbm, OpenCV and numpy for Debian's /usr/bin/python3, GNU parallel, OpenSSH
# server and client, rsync, git. Not root, it installs through sudo and says so.
# Its last line says whether it installed the ssh server, which it leaves
# disabled at boot.
set -euo pipefail
. "$(dirname "$0")/apt-packages.sh"
# What Python imports is checked from /: in the top of a clone, a folder named
# cv2/ or numpy/ would import in place of the package.
cd /
need=()
# ImageMagick's own convert: another program of that name may come first on PATH.
convert -version 2>/dev/null | grep -q ImageMagick || need+=(imagemagick)
command -v pnmtopng >/dev/null && command -v pamarith >/dev/null || need+=(netpbm)
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import cv2, numpy' 2>/dev/null || need+=(python3-opencv python3-numpy)
command -v parallel >/dev/null || need+=(parallel)
[ -x /usr/sbin/sshd ] || need+=(openssh-server)
command -v ssh >/dev/null && command -v ssh-keygen >/dev/null || need+=(openssh-client)
command -v rsync >/dev/null || need+=(rsync)
command -v git >/dev/null || need+=(git)
if [ ${#need[@]} -eq 0 ]; then
  echo "recipe tools: all present"
  exit 0
fi

# openssh-server must not start a system sshd listening on the network: the
# tests start their own on 127.0.0.1. Debian's policy-rc.d hook, where none is
# in place, refuses service starts for the length of the install.
policy=/usr/sbin/policy-rc.d
refuse_service_starts() {
  [ ! -e "$policy" ] || return 0
  echo "install-recipe-deps: writing $policy for the install (no service starts), removed after it"
  trap '"${as_root[@]}" rm -f "$policy"' EXIT
  printf '#!/bin/sh\nexit 101\n' | "${as_root[@]}" tee "$policy" >/dev/null
  "${as_root[@]}" chmod 755 "$policy"
}
install_packages install-recipe-deps refuse_service_starts

# Installing openssh-server also enables its sshd at boot, for systemd, SysV
# init and runit alike; the tests need no system sshd, so all three are undone.
# Each works on the link files, with or without an init system running, and
# stays in force through upgrades of the package.
disable_ssh_at_boot() {
  if command -v systemctl >/dev/null; then
    "${as_root[@]}" systemctl --quiet --root=/ disable ssh.service
  else
    # Without systemd the links that enabling made are all there is to undo
    # (deb-systemd-helper works only when dpkg calls it).
    "${as_root[@]}" rm -f /etc/systemd/system/multi-user.target.wants/ssh.service /etc/systemd/system/sshd.service
  fi
  "${as_root[@]}" update-rc.d ssh disable >/dev/null
  local runit_link=/etc/runit/runsvdir/default/ssh
  if [ -L "$runit_link" ]; then
    # runit's link renamed with a dot in front is how it stays off.
    "${as_root[@]}" mv "$runit_link" "${runit_link%/*}/.ssh"
  fi
}
if [[ " ${need[*]} " == *" openssh-server "* ]]; then
  disable_ssh_at_boot
  echo "install-recipe-deps: openssh-server installed, its ssh service not started and disabled at boot again"
else
  echo "install-recipe-deps: done (openssh-server was there before: its boot setting left as it was)"
fi
