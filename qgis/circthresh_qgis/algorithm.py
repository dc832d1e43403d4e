"""The Processing algorithm circthresh:circularthreshold: a raster of angles cut into two half-circles."""
import os

import numpy as np
from osgeo import gdal
from qgis.core import (QgsProcessingAlgorithm, QgsProcessingException, QgsProcessingOutputNumber,
                       QgsProcessingParameterBand, QgsProcessingParameterNumber,
                       QgsProcessingParameterRasterDestination, QgsProcessingParameterRasterLayer,
                       QgsRasterFileWriter)

from .mask_file import check_driver_writes, replace_with_raster

try:
    import circthresh
except ImportError:
    raise ImportError("circthresh_qgis needs the Python module circthresh, importable by QGIS's "
                      "Python: install the Debian package python3-circthresh, or "
                      "pip install circthresh for the Python QGIS runs") from None

# The mask's no-data value: neither black (0) nor white (255), grey where a
# viewer ignores no-data.
NODATA = 128
# Rows are read in strips of about this many cells, twice (histogram, then mask):
# memory stays small for rasters of any size.
STRIP_CELLS = 1 << 22

HELP = """Cuts a raster of angles (aspect from a DEM, wind, current or flow direction, hue) into \
the two half-circles of least within-class variance, with the circthresh module: the angles wrap, \
so a class around north (or red) stays whole.

PERIOD is one turn in the input's units (360 for degrees, 180 for orientations, 6.283185 for \
radians); OFFSET the angle that becomes level 0. One turn is spread over 256 levels, and the cut \
is the circular Otsu threshold of the histogram of the cells with data.

The output is a Byte raster of the input's size, transform and CRS: 0 for the half-circle of \
levels t..t+127 (black), 255 for the rest, and 128, its no-data value, where the input has none \
(the band's no-data value, NaN and infinities). The log and the outputs give the threshold t, \
sigma_W, and the black half as angles in the input's units: from BLACK_FROM up to BLACK_TO, half \
a turn on, taken modulo PERIOD (an angle exactly on an end goes where rounding to the nearest \
level, halves to even, puts it).

The mask is written beside OUTPUT and replaces it only once GDAL has written all of it: on a \
failure (a full disk) an old file there stays as it was."""


def cell_strips(band):
    """(first row, angles, where there is data) for strips of rows of a GDAL band."""
    nodata = band.GetNoDataValue()
    width, height = band.XSize, band.YSize
    rows = max(1, STRIP_CELLS // width)
    for row in range(0, height, rows):
        angles = band.ReadAsArray(0, row, width, min(rows, height - row))
        if angles is None:
            raise QgsProcessingException("GDAL could not read rows %d.. of the input" % row)
        if np.iscomplexobj(angles):
            raise QgsProcessingException("the input band holds complex numbers, not angles")
        has_data = np.isfinite(angles)
        if nodata is not None:
            has_data &= angles != nodata
        yield row, angles, has_data


class CircularThreshold(QgsProcessingAlgorithm):
    def name(self):
        return "circularthreshold"

    def displayName(self):  # noqa: N802
        return "Circular threshold (aspect, direction, hue)"

    def shortHelpString(self):  # noqa: N802
        return HELP

    def createInstance(self):  # noqa: N802
        return CircularThreshold()

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", "Raster of angles"))
        # Optional so that a script may leave it out: QGIS 3.22 refuses a missing
        # band parameter even with a default, and parameterAsInt gives the default.
        self.addParameter(QgsProcessingParameterBand("BAND", "Band", 1, "INPUT", optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "PERIOD", "Period (one turn, in the input's units)",
            QgsProcessingParameterNumber.Double, 360.0))
        self.addParameter(QgsProcessingParameterNumber(
            "OFFSET", "Offset (the angle that becomes level 0)",
            QgsProcessingParameterNumber.Double, 0.0))
        self.addParameter(QgsProcessingParameterRasterDestination("OUTPUT", "Mask"))
        for name, description in (("THRESHOLD", "Threshold t (levels t..t+127 are black)"),
                                  ("SIGMA_W", "Within-class variance sigma_W"),
                                  ("BLACK_FROM", "Black half from this angle"),
                                  ("BLACK_TO", "Black half up to this angle")):
            self.addOutput(QgsProcessingOutputNumber(name, description))

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        layer = self.parameterAsRasterLayer(parameters, "INPUT", context)
        band_number = self.parameterAsInt(parameters, "BAND", context)
        period = self.parameterAsDouble(parameters, "PERIOD", context)
        offset = self.parameterAsDouble(parameters, "OFFSET", context)
        output = self.parameterAsOutputLayer(parameters, "OUTPUT", context)
        if not (np.isfinite(period) and period > 0 and np.isfinite(offset)):
            raise QgsProcessingException("PERIOD must be a number greater than 0 and OFFSET a "
                                         "number, got %r and %r" % (period, offset))
        if layer.providerType() != "gdal":
            raise QgsProcessingException("the input must be a raster GDAL reads (a file), not "
                                         "one of the %s provider" % layer.providerType())
        source = gdal.Open(layer.source())
        band = source.GetRasterBand(band_number) if source is not None else None
        if band is None:
            raise QgsProcessingException("GDAL cannot open band %d of %s"
                                         % (band_number, layer.source()))

        def levels_of(row, angles, has_data):
            try:
                return circthresh.angles_to_levels(np.where(has_data, angles, offset), period, offset)
            except ValueError as error:  # a period too small, or angles too large, for a double
                raise QgsProcessingException("the angles of rows %d.. with PERIOD %r and OFFSET %r "
                                             "have no levels: %s" % (row, period, offset, error)) from None

        driver_name = QgsRasterFileWriter.driverForExtension(os.path.splitext(output)[1]) or "GTiff"
        driver = gdal.GetDriverByName(driver_name)
        cannot_write = "GDAL cannot create and write %s rasters (%s): choose a GeoTIFF (.tif)" % (
            driver_name, output)
        if driver is None or driver.GetMetadataItem(gdal.DCAP_CREATE) != "YES":
            raise QgsProcessingException(cannot_write)
        georeference = (source.GetGeoTransform(), source.GetProjection())
        try:
            check_driver_writes(driver, os.path.splitext(output)[1], georeference, NODATA)
        except QgsProcessingException as error:
            raise QgsProcessingException("%s; %s" % (cannot_write, error)) from None

        counts = np.zeros(256, dtype=np.uint64)
        for row, angles, has_data in cell_strips(band):
            counts += circthresh.histogram(levels_of(row, angles, has_data), has_data)
            feedback.setProgress(50.0 * (row + len(angles)) / band.YSize)
            if feedback.isCanceled():
                return {}
        t, sigma_w = circthresh.threshold_histogram(counts)

        def mask_strips():
            for row, angles, has_data in cell_strips(band):
                binary = circthresh.apply_threshold(levels_of(row, angles, has_data), t)
                binary[~has_data] = NODATA
                yield row, binary
                feedback.setProgress(50.0 + 50.0 * (row + len(angles)) / band.YSize)

        replace_with_raster(output, driver, (band.XSize, band.YSize), georeference, mask_strips(), NODATA)
        band = source = None

        # Level k stands for the angles within half a level of offset + k * step:
        # levels t..t+127 for those from offset + (t - 0.5) * step, half a turn on.
        step = period / 256
        black_from = offset + (t - 0.5) * step
        black_to = offset + (t + 127.5) * step
        if counts.sum() == 0:
            feedback.reportError("no cell of the input has data: the whole mask is no-data")
        feedback.pushInfo("thresholding at %d" % t)
        feedback.pushInfo("sigma_W %f" % sigma_w)
        feedback.pushInfo("black: angles from %r up to %r, levels %d..%d" % (
            black_from, black_to, t % 256, t + 127))
        return {"OUTPUT": output, "THRESHOLD": t, "SIGMA_W": sigma_w,
                "BLACK_FROM": black_from, "BLACK_TO": black_to}
