"""The plugin object: adds the Processing provider, with QGIS's window or without it."""
from qgis.core import QgsApplication

from .provider import CircthreshProvider


class CircthreshPlugin:
    """Holds the provider: the registry keeps only its C++ half, so a script that
    loads the plugin itself keeps this object as long as it runs algorithms."""

    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802
        # QGIS calls this on its own for plugins with hasProcessingProvider=yes,
        # and initGui calls it too: the provider is added once.
        if self.provider is None:
            self.provider = CircthreshProvider()
            QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
