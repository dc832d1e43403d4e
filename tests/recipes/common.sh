# Shared by the recipe tests: tool checks, a scratch folder that goes away, and
# image comparisons. Sourced, with RECIPES set to this folder and circthresh on PATH.

ROOT=$(cd "$RECIPES/../.." && pwd)
PY=/usr/bin/python3   # Debian's interpreter: numpy and OpenCV come from apt for it

# Stops with one line naming every missing command.
need() {
  local missing=() tool
  for tool in "$@"; do
    if [ "$tool" = cv2 ]; then
      [ -x "$PY" ] && (cd / && "$PY" -c 'import cv2, numpy') 2>/dev/null || missing+=("python3-opencv/python3-numpy for $PY")
    elif [ "$tool" = convert ]; then
      # Another program of that name may come first on PATH.
      convert -version 2>/dev/null | grep -q ImageMagick || missing+=("ImageMagick's convert")
    else
      command -v "$tool" >/dev/null || missing+=("$tool")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "missing: ${missing[*]} (bash tools/install-recipe-deps.sh installs them)"
    exit 1
  fi
}

# A scratch folder of the test's own, removed on every way out.
make_scratch() {
  SCRATCH=$(mktemp -d "/tmp/circthresh-recipes-$1.XXXXXX")
  trap 'rm -rf "$SCRATCH"' EXIT
  trap 'exit 1' INT TERM
  cd "$SCRATCH"
  keep_temporary_files_in "$SCRATCH"
}

# Temporary files of the tools (ImageMagick leaves one behind when a pipe
# closes under it) go into the scratch folder, and so away with it.
keep_temporary_files_in() {
  mkdir -p "$1/.tmp"
  export TMPDIR="$1/.tmp" MAGICK_TEMPORARY_PATH="$1/.tmp"
}

# Makes FOLDER stand for the top of a clone: the project's .gitignore and the
# example photo, with whatever FOLDER holds already, committed to a repository
# of its own, so that run_recipe there can tell whether a recipe wrote anything
# that git would show.
start_clone() {
  mkdir -p "$1/examples"
  cp "$ROOT/.gitignore" "$1/"
  cp "$ROOT/examples/flag.png" "$1/examples/"
  git -C "$1" init -q &&
    git -C "$1" add -A &&
    git -C "$1" -c user.name=recipes -c user.email=recipes@circthresh.invalid commit -qm "as cloned"
}

fail() {
  echo "FAIL: $*"
  exit 1
}

# Same pixels (and size) in two PGM, PBM or PNG files, whatever their headers say:
# pnmtopng writes a two-level image as a 1-bit PNG.
same_pixels() {
  cmp -s <(convert "$1" -strip -depth 8 pgm:-) <(convert "$2" -strip -depth 8 pgm:-)
}

# Runs a recipe file as written, in the current folder, as a user would paste it:
# without -e, so that a batch reports its status; the checks after it catch
# faults. In a folder made by start_clone, git must see no change afterwards.
run_recipe() {
  local status=0 changes
  case $1 in
    *.py) "$PY" "$RECIPES/$1" || status=$? ;;
    *) bash "$RECIPES/$1" || status=$? ;;
  esac
  if [ -d .git ]; then
    changes=$(git status --porcelain) || fail "git status failed after $1"
    [ -z "$changes" ] || fail "$1 wrote where git sees it: $(echo $changes)"
  fi
  return "$status"
}
