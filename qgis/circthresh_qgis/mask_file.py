"""Writing the mask beside its target under a temporary name, renamed over it only when GDAL wrote it all."""
import glob
import os
import shutil
import tempfile
from contextlib import contextmanager

import numpy as np
from osgeo import gdal
from qgis.core import QgsProcessingException


@contextmanager
def gdal_failures():
    """The messages of GDAL's failures in this thread while open. A handler of the thread's own
    rather than gdal.UseExceptions(): that setting is the user's, shared by every thread, and with
    it GDAL 3.6 turns a failure while closing a file into a printed "Exception ignored"."""
    failures = []

    def collect(level, number, message):
        if level >= gdal.CE_Failure:
            failures.append(message)

    gdal.PushErrorHandler(collect)
    try:
        yield failures
    finally:
        gdal.PopErrorHandler()


def write_raster(driver, path, size, georeference, strips, nodata, shown):
    """Creates path with the driver, a Byte band of size (width, height) with the georeference
    (transform, projection) and no-data value, writes the strips (first row, cells) and closes it.
    Raises QgsProcessingException naming the file as shown, with GDAL's first complaint, if any
    of it failed."""
    with gdal_failures() as failures:
        def check(ok, what):
            if not ok or failures:
                raise QgsProcessingException("GDAL could not %s %s: %s" % (
                    what, shown, failures[0] if failures else "no reason given"))
        raster = band = written = None
        try:
            raster = driver.Create(path, size[0], size[1], 1, gdal.GDT_Byte)
            check(raster is not None, "create")
            check(raster.SetGeoTransform(georeference[0]) == 0, "set the transform of")
            check(raster.SetProjection(georeference[1]) == 0, "set the CRS of")
            band = raster.GetRasterBand(1)
            check(band.SetNoDataValue(nodata) == 0, "set the no-data value of")
            for row, cells in strips:
                check(band.WriteArray(cells, 0, row) == 0, "write rows %d.. of" % row)
            raster.FlushCache()
            band = raster = None  # closing writes what is left; its failures reach the handler
            check(True, "close")
            # Read back: a file GDAL cannot read in full is not the mask.
            written = gdal.Open(path)
            check(written is not None and (written.RasterXSize, written.RasterYSize) == size, "reopen")
            written.GetRasterBand(1).Checksum()
            written = None
            check(True, "read back")
        except RuntimeError as error:  # the user's gdal.UseExceptions() is on
            raise QgsProcessingException("GDAL could not write %s: %s" % (shown, error)) from None
        finally:
            # Closed here on a failure too, before the caller removes the files, so that
            # GDAL writes nothing more (a sidecar) after them.
            band = raster = written = None  # noqa: F841


def check_driver_writes(driver, extension, georeference, nodata):
    """Refuses a format GDAL cannot create and write (VRT creates, then refuses every write), by
    writing one cell in memory. Formats that cannot be written in memory are left to the real write."""
    if driver.GetMetadataItem(gdal.DCAP_VIRTUALIO) != "YES":
        return
    folder = "/vsimem/circthresh-probe-%d" % id(georeference)
    try:
        write_raster(driver, folder + "/mask" + extension, (1, 1), georeference,
                     [(0, np.full((1, 1), nodata, np.uint8))], nodata, "a raster of one cell")
    finally:
        with gdal_failures():
            for name in gdal.ReadDir(folder) or []:
                gdal.Unlink(folder + "/" + name)


def process_umask():
    """The process's umask, read without setting it (os.umask would, for every thread at once)."""
    try:
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("Umask:"):
                    return int(line.split()[1], 8)
    except (OSError, ValueError):
        pass
    return 0o077  # the temporary file's 0600: the safe side


def replace_with_raster(path, driver, size, georeference, strips, nodata):
    """Writes the raster (see write_raster) beside path under a hidden temporary name and renames
    it over path only when every write, the close and the read back succeeded: on any failure the
    old file stays as it was. The new file takes the old one's mode (and owner, where allowed);
    a new name gets 0666 less the umask, as a created file would."""
    final = os.path.realpath(path)  # through a symlink, as the command writes
    if os.path.lexists(final) and not os.path.isfile(final):
        raise QgsProcessingException("%s is not a regular file: the mask is not written over it" % path)
    folder, extension = os.path.dirname(final), os.path.splitext(final)[1]
    try:
        handle, temp = tempfile.mkstemp(prefix=".circthresh-", suffix=extension, dir=folder)
        os.close(handle)
    except OSError as error:
        raise QgsProcessingException("cannot write beside %s: %s" % (path, error.strerror)) from None
    temp_stem, final_stem = os.path.splitext(temp)[0], os.path.splitext(final)[0]

    def made():
        """The files GDAL made: the temporary name with the driver's own endings (.aux.xml, .hdr)."""
        return glob.glob(glob.escape(temp_stem) + "*")

    try:
        write_raster(driver, temp, size, georeference, strips, nodata, path)
        old = os.stat(final) if os.path.exists(final) else None
        with gdal_failures():
            old_dataset = gdal.Open(final) if old else None
            old_files = old_dataset.GetFileList() or [] if old_dataset else []
            old_dataset = None
        if old:
            try:
                os.chown(temp, old.st_uid, old.st_gid)  # before the mode, which chown may clear
            except OSError:
                pass  # not allowed: the mask is the user's, as any file they write
        os.chmod(temp, old.st_mode & 0o7777 if old else 0o666 & ~process_umask())
        news = {name: final_stem + name[len(temp_stem):] for name in made()}
        for name in sorted(news, key=lambda name: name == temp):  # the mask itself last
            os.replace(name, news[name])
        # Like GDAL's overwrite: no sidecar of the old mask (statistics in .aux.xml) outlives it.
        for name in old_files:
            if name not in news.values() and os.path.isfile(name):
                os.unlink(name)
    except OSError as error:
        raise QgsProcessingException("cannot replace %s: %s" % (path, error)) from None
    finally:
        for name in made():
            shutil.rmtree(name) if os.path.isdir(name) else os.unlink(name)
