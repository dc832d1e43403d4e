#!/usr/bin/env bash
# Builds OUTDIR/circthresh_qgis.zip for QGIS's Plugins > Install from ZIP: the
# plugin's folder at the top of the zip, with the project's licence, and the
# project's version in its metadata.
# usage: qgis/build_zip.sh OUTDIR
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: qgis/build_zip.sh OUTDIR"; exit 2; }
[ -x /usr/bin/python3 ] || { echo "missing: /usr/bin/python3, whose zipfile makes the zip"; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
zip_path=$(cd "$1" && pwd)/circthresh_qgis.zip
version=$(cat "$here/../VERSION")
[ -n "$version" ] || { echo "build_zip: the top folder's VERSION is empty"; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/circthresh_qgis"
cp "$here"/circthresh_qgis/*.py "$here/circthresh_qgis/metadata.txt" "$here/../LICENSE" "$stage/circthresh_qgis/"
sed -i "s/^version=.*/version=$version/" "$stage/circthresh_qgis/metadata.txt"
rm -f "$zip_path"
(cd "$stage" && /usr/bin/python3 -m zipfile -c "$zip_path" circthresh_qgis)
echo "wrote $zip_path (circthresh_qgis $version)"
