#!/usr/bin/env bash
# Installs, from Debian's packages, what the GIS recipe (docs/gis.md) and the
# QGIS plugin's test (tests/qgis/run.sh) use: gdal-bin (gdaldem), python3-gdal,
# python3-qgis and qgis-providers (QGIS's Python, Processing and its raster
# providers), qgis (qgis_process, the algorithm from the shell). Not root, it installs through sudo and says so.
set -euo pipefail
. "$(cd "$(dirname "$0")" && pwd)/apt-packages.sh"
need=()
for package in gdal-bin python3-gdal python3-qgis qgis-providers qgis; do
  [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null)" = "install ok installed" ] || need+=("$package")
done
if [ ${#need[@]} -eq 0 ]; then
  echo "gis tools: all present"
  exit 0
fi
install_packages install-gis-deps
