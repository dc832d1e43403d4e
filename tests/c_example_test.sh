#!/usr/bin/env bash
# The installed C library, as a program outside this project sees it: builds
# the library with the build's compilers and flags in a scratch folder and
# installs its two components into a scratch prefix (not the build folder:
# `sudo cmake --install` leaves a root-owned install_manifest.txt there, which
# an install as the user then cannot write), checks that the library exports only the
# circthresh_* functions under the SONAME libcircthresh.so.1, builds
# examples/threshold.c against it with pkg-config and with CMake's
# find_package, and checks that both print the command's report and write the
# command's image, byte for byte, on a few images.
#
# usage: c_example_test.sh SOURCE_DIR COMMAND LIBDIR CC "CFLAGS" [CMAKE-OPTION...]
#   the options: the rest of the build's configuration (build type, C++ compiler
#   and flags, portable or not), for the library's build here
set -euo pipefail
source=$1 command=$2 libdir=$3 cc=$4 cflags=$5
shift 5

for tool in nm readelf pkg-config cmp; do
  command -v $tool >/dev/null || { echo "c_example_test: $tool not found (bash tools/install-deps.sh)"; exit 1; }
done
scratch=$(mktemp -d /tmp/circthresh-c-example.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "c_example_test: $*"; exit 1; }

prefix=$scratch/prefix
{ cmake -S "$source" -B "$scratch/library-build" -DCIRCTHRESH_TESTS=OFF -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_INSTALL_LIBDIR="$libdir" "$@" &&
  cmake --build "$scratch/library-build" -j2 --target circthresh_library &&
  cmake --install "$scratch/library-build" --prefix "$prefix" --component library &&
  cmake --install "$scratch/library-build" --prefix "$prefix" --component development; } \
  >"$scratch/library-build.log" 2>&1 ||
  fail "the library does not build or install:
$(cat "$scratch/library-build.log")"
library=$prefix/$libdir/libcircthresh.so.1
[ -f "$library" ] || fail "not installed: $libdir/libcircthresh.so.1"

# Exactly the functions the header declares, and nothing else.
declared=$(grep -o '^CIRCTHRESH_API [^(]*(' "$source/include/circthresh.h" |
           grep -o 'circthresh_[a-z_]*' | sort)
exported=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
[ -n "$declared" ] && [ "$declared" = "$exported" ] ||
  fail "exported symbols differ from the header's functions: $(echo $exported) vs $(echo $declared)"
readelf -d "$library" | grep -q 'Library soname: \[libcircthresh\.so\.1\]' ||
  fail "SONAME is not libcircthresh.so.1: $(readelf -d "$library" | grep SONAME)"

project_version=$(cat "$source/VERSION")
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --modversion circthresh)" = "$project_version" ] ||
  fail "pkg-config gives version $(pkg-config --modversion circthresh), the project is $project_version"

# The README's two ways. $cflags carries a sanitizer build's flags, without
# which a program cannot load a library built with them.
# shellcheck disable=SC2046,SC2086
"$cc" $cflags "$source/examples/threshold.c" $(pkg-config --cflags --libs circthresh) \
  -o "$scratch/threshold-pkg-config" || fail "the example does not build with pkg-config"
cmake -S "$source/tests/c_consumer" -B "$scratch/cmake-build" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLE="$source/examples/threshold.c" \
  >"$scratch/cmake.log" 2>&1 && cmake --build "$scratch/cmake-build" >>"$scratch/cmake.log" 2>&1 ||
  fail "the example does not build with find_package:
$(cat "$scratch/cmake.log")"

# Test images: the example, and ones made here for the corners of the search:
# a wide level ramp under a multi-line header with a comment, a single level
# (no cut), levels 0 and 255 only, one row, and pseudo-random levels.
images=$scratch/images
mkdir "$images"
cp "$source/examples/hue.pgm" "$images/hue.pgm"
pgm() {  # NAME WIDTH HEIGHT AWK-EXPRESSION-OF-i: the pixels' levels in file order
  { printf 'P5\n# made by c_example_test.sh\n%d %d\n255\n' "$2" "$3"
    awk -v n=$(($2 * $3)) "BEGIN { for (i = 0; i < n; i++) printf \"%c\", $4 }" ; } >"$images/$1.pgm"
}
export LC_ALL=C  # awk's %c writes bytes, not characters
pgm ramp 300 7 'int(i * 256 / 2100)'
pgm one-level 9 9 '77'
pgm black-white 16 4 '(i % 3 == 0) ? 255 : 0'
pgm one-row 1000 1 'int((i * i) % 251)'
pgm noise 123 45 '(i * 1103515245 + 12345) % 65536 % 256'

for image in "$images"/*.pgm; do
  name=$(basename "$image" .pgm)
  "$command" "$image" "$scratch/$name.command.pgm" >"$scratch/$name.command.txt" ||
    fail "the command failed on $name"
  for way in pkg-config cmake; do
    program=$scratch/threshold-$way
    [ $way = cmake ] && program=$scratch/cmake-build/threshold
    LD_LIBRARY_PATH=$prefix/$libdir "$program" "$image" "$scratch/$name.$way.pgm" \
      >"$scratch/$name.$way.txt" || fail "the example ($way) failed on $name"
    cmp -s "$scratch/$name.command.txt" "$scratch/$name.$way.txt" ||
      fail "report on $name differs ($way): $(cat "$scratch/$name.$way.txt") vs the command's $(cat "$scratch/$name.command.txt")"
    cmp -s "$scratch/$name.command.pgm" "$scratch/$name.$way.pgm" ||
      fail "image of $name differs ($way)"
  done
done
