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
#    venv, imports, and passes the module's tests.
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
  [ -x "$python" ] && "$python" -c "import ${need%%:*}" 2>/dev/null || missing+=("${need#*:}")
done
for tool in git cmake g++; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[ -x "$build_dir/circthresh" ] || missing+=("the command $build_dir/circthresh (build it first)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "python_packaging: missing ${missing[*]} (bash tools/install-python-deps.sh)" >&2
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
version=$(sed -n 's/^project(circthresh VERSION \([0-9.]*\).*/\1/p' "$clone/CMakeLists.txt")

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
git -C "$clone" ls-files CMakeLists.txt LICENSE README.md MANIFEST.in pyproject.toml setup.py \
  src include man packaging python | sort >"$scratch/wanted-files"
diff "$scratch/wanted-files" "$scratch/sdist-files" || { echo "the sdist's files differ (< wanted, > in the sdist)" >&2; exit 1; }
echo "sdist: $(wc -l <"$scratch/sdist-files") files of the repository;" \
  "top level: $(cut -d/ -f1 "$scratch/sdist-files" | sort -u | tr '\n' ' ')"
echo "wheel: ${wheels[*]##*/}"
make_venv "$scratch/venv-wheel"
"$scratch/venv-wheel/bin/pip" install --no-index "${wheels[@]}"
check_import "$scratch/venv-wheel"
run_module_tests "$scratch/venv-wheel"
