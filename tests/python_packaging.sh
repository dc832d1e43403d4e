#!/usr/bin/env bash
# usage: bash tests/python_packaging.sh BUILD_DIR
#
# The Python package as its users get it, built from a clean clone of this
# repository (its committed files only, so no build tree or scratch of the
# working copy comes along) with Debian's /usr/bin/python3 and no package index:
#  - pip: `pip install --no-build-isolation --no-index .` into a fresh venv that
#    sees the system's packages; the package imports from outside the clone,
#    and the module's tests pass against it;
#  - build: `python3 -m build --no-isolation` makes an sdist holding exactly the
#    build's sources, and from it a wheel, which installs into another fresh
#    venv, imports, and passes the module's tests;
#  - Debian: one cpack run of a package build with the module makes circthresh,
#    libcircthresh1, libcircthresh-dev and python3-circthresh, each with the
#    files it must hold, and lintian reports nothing on them; as root, apt
#    installs circthresh and python3-circthresh, /usr/bin/python3 imports the
#    module with no PYTHONPATH, its tests pass against both, and the two
#    packages are purged again (skipped, saying why, when not root or when
#    circthresh is installed already).
# The module's tests compare it with BUILD_DIR/circthresh, the command.
# Scratch goes in /tmp, removed on success and kept (and named) on failure.
set -euo pipefail
build_dir=$(realpath "${1:?usage: bash tests/python_packaging.sh BUILD_DIR}")
top=$(realpath "$(dirname "$0")/..")
python=/usr/bin/python3

missing=()
[ -x "$python" ] || missing+=(python3)
# module:Debian package (ensurepip makes a venv's pip)
for need in ensurepip:python3-venv build:python3-build setuptools:python3-setuptools \
            wheel:python3-wheel pytest:python3-pytest numpy:python3-numpy; do
  # From /: in the top of the clone, CMake's build/ would import as "build".
  [ -x "$python" ] && (cd / && "$python" -c "import ${need%%:*}") 2>/dev/null || missing+=("${need#*:}")
done
for tool in git cmake cpack g++ dpkg-deb dpkg-shlibdeps file lintian; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
[ -x "$build_dir/circthresh" ] || missing+=("the command $build_dir/circthresh (build it first)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "python_packaging: missing ${missing[*]} (bash tools/install-deps.sh; bash tools/install-python-deps.sh)" >&2
  exit 1
fi

# Only Debian's packages may satisfy the dependencies: no wheel folder either.
unset PIP_FIND_LINKS
scratch=$(mktemp -d /tmp/circthresh-python-packaging.XXXXXX)
finish() {
  local status=$?
  if [ $status -eq 0 ]; then rm -rf "$scratch"; else echo "python_packaging: FAILED (scratch kept in $scratch)" >&2; fi
}
trap finish EXIT
clone=$scratch/clone
git clone --quiet "$top" "$clone"
version=$(cat "$clone/VERSION")

# A fresh venv on /usr/bin/python3 that also sees Debian's numpy and pytest.
make_venv() {
  "$python" -m venv --system-site-packages "$1"
}

# The installed package, imported from outside the clone, is the venv's copy,
# of the project's version.
check_import() {
  (cd "$scratch" && "$1/bin/python" -c '
import importlib.metadata, os, sys
import circthresh
where = os.path.realpath(circthresh.__file__)
assert where.startswith(os.path.realpath(sys.prefix) + os.sep), where
assert circthresh.__version__ == importlib.metadata.version("circthresh") == sys.argv[1], \
    (circthresh.__version__, sys.argv[1])
print("imported circthresh", circthresh.__version__, "from", where)' "$version")
}

# The module's tests against the installed package, run from outside the clone.
run_module_tests() {
  (cd "$scratch" && CIRCTHRESH_COMMAND="$build_dir/circthresh" PYTHONDONTWRITEBYTECODE=1 \
    "$1/bin/python" -m pytest -q -p no:cacheprovider "$clone/python/tests")
}

echo "== pip install --no-build-isolation --no-index . (from a clean clone)"
make_venv "$scratch/venv-pip"
(cd "$clone" && "$scratch/venv-pip/bin/pip" install --no-build-isolation --no-index .)
check_import "$scratch/venv-pip"
run_module_tests "$scratch/venv-pip"

echo "== python3 -m build --no-isolation (sdist, and the wheel from it)"
rm -rf "$clone/build-setuptools" "$clone/python/circthresh.egg-info"
(cd "$clone" && "$python" -m build --no-isolation --outdir "$scratch/dist" .)
sdist=$scratch/dist/circthresh-$version.tar.gz
wheels=("$scratch"/dist/circthresh-"$version"-*.whl)
# The sdist holds the committed files the build needs, with the metadata
# setuptools adds, and nothing else.
tar -tzf "$sdist" | sed -n "s|^circthresh-$version/||p" | grep -v -e '/$' -e '^$' |
  grep -v -x -e PKG-INFO -e setup.cfg -e 'python/circthresh\.egg-info/.*' | sort >"$scratch/sdist-files"
git -C "$clone" ls-files CMakeLists.txt LICENSE README.md VERSION MANIFEST.in pyproject.toml setup.py \
  src include man packaging python | sort >"$scratch/wanted-files"
diff "$scratch/wanted-files" "$scratch/sdist-files" || { echo "the sdist's files differ (< wanted, > in the sdist)" >&2; exit 1; }
echo "sdist: $(wc -l <"$scratch/sdist-files") files of the repository;" \
  "top level: $(cut -d/ -f1 "$scratch/sdist-files" | sort -u | tr '\n' ' ')"
echo "wheel: ${wheels[*]##*/}"
make_venv "$scratch/venv-wheel"
"$scratch/venv-wheel/bin/pip" install --no-index "${wheels[@]}"
check_import "$scratch/venv-wheel"
run_module_tests "$scratch/venv-wheel"

echo "== cpack: the Debian packages of a build with the module"
# As the README's Install section makes them, with the module on.
if ! { cmake -S "$clone" -B "$scratch/deb-build" -DCIRCTHRESH_PYTHON=ON -DCIRCTHRESH_STATIC=OFF \
         -DCIRCTHRESH_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr &&
       cmake --build "$scratch/deb-build" -j2 &&
       (cd "$scratch/deb-build" && cpack -B "$scratch/debs"); } >"$scratch/deb-build.log" 2>&1; then
  cat "$scratch/deb-build.log" >&2
  exit 1
fi
grep 'generated\.$' "$scratch/deb-build.log"
debs=$scratch/debs
names=$(cd "$debs" && printf '%s ' *.deb | sed 's/_[^ ]*//g')
[ "$names" = "circthresh libcircthresh-dev libcircthresh1 python3-circthresh " ] ||
  { echo "packages made: $names" >&2; exit 1; }
# Each package's files, but for folders, against the list it must hold.
check_files() {
  local package=$1; shift
  diff <(printf '%s\n' "$@" | sort) <(dpkg-deb -c "$debs/${package}"_*.deb | awk '$1 !~ /^d/ {print $6}' | sort) ||
    { echo "$package: files differ (< wanted, > in the package)" >&2; exit 1; }
}
site=./usr/lib/python3/dist-packages/circthresh
check_files python3-circthresh "$site/__init__.py" "$site/_checks.py" "$site/two_classes.py" \
  "$site/classes.py" "$site/levels.py" "$site/_lazy.py" "$site/_core.pyi" "$site/py.typed" \
  "$site/_core$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')" \
  ./usr/share/doc/python3-circthresh/copyright ./usr/share/doc/python3-circthresh/changelog.gz
# The command's package is what it was without the module.
check_files circthresh ./usr/bin/circthresh ./usr/share/man/man1/circthresh.1.gz \
  ./usr/share/doc/circthresh/copyright ./usr/share/doc/circthresh/changelog.gz
depends=$(dpkg-deb -f "$debs"/python3-circthresh_*.deb Depends)
wanted=$("$python" -c 'import sys; v = sys.version_info
print("python3 (>= %d.%d~), python3 (<< %d.%d), python3-numpy" % (v[0], v[1], v[0], v[1] + 1))')
[[ "$depends" == *"$wanted"* ]] || { echo "python3-circthresh depends on '$depends', not '$wanted'" >&2; exit 1; }
synopses=$(for deb in "$debs"/*.deb; do dpkg-deb -f "$deb" Description | sed -n 1p; done)
[ -z "$(sort <<<"$synopses" | uniq -d)" ] || { echo "packages share a synopsis: $synopses" >&2; exit 1; }

echo "== lintian $(cd "$debs" && echo -- *.deb)"
# As root lintian advises against it on standard error; that is all it may print.
mkdir "$scratch/tmp"
if ! TMPDIR=$scratch/tmp lintian "$debs"/*.deb >"$scratch/lintian.log" 2>&1 ||
   grep -v -x 'running with root privileges is not recommended!' "$scratch/lintian.log"; then
  echo "lintian found the above" >&2
  exit 1
fi
echo "lintian: nothing to report"

echo "== apt-get install ./circthresh_*.deb ./python3-circthresh_*.deb, then purge"
packages=(circthresh python3-circthresh)
if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: installing packages needs root (CI runs as root)"
  exit 0
fi
installed_module=/usr/lib/python3/dist-packages/circthresh
if dpkg-query -W -f '${db:Status-Status}\n' "${packages[@]}" 2>/dev/null | grep -q -v -x not-installed ||
   [ -e "$installed_module" ] || [ -e /usr/bin/circthresh ]; then
  echo "SKIPPED: circthresh is already installed on this machine (${packages[*]}, $installed_module" \
    "or /usr/bin/circthresh), and left as it is"
  exit 0
fi
# Whatever happens next, the machine is left without the two packages, as found.
purge() {
  apt-get -qq -o DPkg::Lock::Timeout=600 purge -y "${packages[@]}" >/dev/null
}
trap 'status=$?; purge; (exit $status); finish' EXIT
apt-get -q -o DPkg::Lock::Timeout=600 install -y --no-install-recommends \
  "$debs"/circthresh_*.deb "$debs"/python3-circthresh_*.deb
# Debian's python3 finds the module with no PYTHONPATH, from anywhere; the
# module's tests pass against it and the installed command.
# Byte-compiling allowed, as on most machines: the package's removal must
# take what that writes too.
(cd / && env -u PYTHONPATH -u PYTHONDONTWRITEBYTECODE /usr/bin/python3 -c '
import sys, circthresh
assert circthresh.__file__ == sys.argv[1] + "/__init__.py", circthresh.__file__
print("imported circthresh", circthresh.__version__, "from", circthresh.__file__)' "$installed_module")
(cd "$scratch" && env -u PYTHONPATH CIRCTHRESH_COMMAND=/usr/bin/circthresh PYTHONDONTWRITEBYTECODE=1 \
  /usr/bin/python3 -m pytest -q -p no:cacheprovider "$clone/python/tests")
purge
trap finish EXIT
if dpkg-query -W -f '${db:Status-Status}\n' "${packages[@]}" 2>/dev/null | grep -q -v -x not-installed; then
  echo "${packages[*]} still installed after the purge" >&2
  exit 1
fi
[ ! -e "$installed_module" ] || { echo "the purge left $installed_module: $(ls -A "$installed_module")" >&2; exit 1; }
echo "purged ${packages[*]} again"
