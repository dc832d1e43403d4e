# shellcheck shell=bash
# Sourced by the tools/install-*.sh scripts: installs the Debian packages listed
# in the array need, as root or through sudo, saying which, or stops with one
# line that names them.
#
# usage: install_packages WHO [BEFORE_INSTALL]
#   WHO opens every message; BEFORE_INSTALL, a function, runs after the package
#   lists are updated and before the install, with as_root set (empty or sudo).

# need is the calling script's array.
# shellcheck disable=SC2154
install_packages() {
  local who=$1 before_install=${2:-}
  [ ${#need[@]} -eq 0 ] && return 0
  stop() {
    echo "$who: $1; install these as root, then run it again: apt-get install ${need[*]}" >&2
    exit 1
  }
  as_root=()
  if [ "$(id -u)" = 0 ]; then
    echo "$who: installing ${need[*]}"
  elif command -v sudo >/dev/null; then
    as_root=(sudo)
    echo "$who: not root, so installing ${need[*]} through sudo"
    sudo true || stop "sudo did not work"
  else
    stop "not root and no sudo"
  fi
  command -v apt-get >/dev/null || stop "no apt-get on this machine"
  "${as_root[@]}" apt-get -qq -o DPkg::Lock::Timeout=600 update || stop "apt-get update failed"
  [ -z "$before_install" ] || "$before_install"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -qq -o DPkg::Lock::Timeout=600 \
    install -y --no-install-recommends "${need[@]}" || stop "apt-get install failed"
}
