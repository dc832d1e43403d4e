# The command built beside the module, a scratch folder for its files, and the
# references every face's tests share (tests/circthresh_reference.py).
import os
import sys
import tempfile

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))
import circthresh_reference  # noqa: E402


@pytest.fixture(scope="session")
def scratch():
    with tempfile.TemporaryDirectory(prefix="circthresh-pytest-") as folder:
        yield folder


@pytest.fixture(scope="session")
def run_command(scratch):
    """Runs the built command on an image; returns its report (bytes) and output raster."""
    command = os.environ.get("CIRCTHRESH_COMMAND")
    if not command:
        pytest.fail("CIRCTHRESH_COMMAND must name the built circthresh (ctest sets it)")

    def run(image):
        report, raster = circthresh_reference.run_command(command, image, scratch)
        return report.encode(), raster

    return run
