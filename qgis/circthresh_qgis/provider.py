"""The Processing provider circthresh, which holds the algorithm circularthreshold."""
from qgis.core import QgsProcessingProvider

from .algorithm import CircularThreshold


class CircthreshProvider(QgsProcessingProvider):
    def id(self):
        return "circthresh"

    def name(self):
        return "circthresh"

    def longName(self):
        return "circthresh: circular thresholding"

    def loadAlgorithms(self):  # noqa: N802
        self.addAlgorithm(CircularThreshold())
