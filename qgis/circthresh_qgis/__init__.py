"""The QGIS plugin circthresh_qgis: the Processing algorithm "Circular threshold" over the circthresh module."""


def classFactory(iface):  # noqa: N802 (the name QGIS calls)
    """The plugin object; iface is None where QGIS runs without its window (qgis_process, scripts)."""
    from .plugin import CircthreshPlugin
    return CircthreshPlugin(iface)
