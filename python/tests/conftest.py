# The command built beside the module, and a scratch folder for its files.
import os
import subprocess
import tempfile

import numpy as np
import pytest


@pytest.fixture(scope="session")
def scratch():
    with tempfile.TemporaryDirectory(prefix="circthresh-pytest-") as folder:
        yield folder


@pytest.fixture(scope="session")
def run_command(scratch):
    """Runs the built command on an image; returns its report and output raster."""
    command = os.environ.get("CIRCTHRESH_COMMAND")
    if not command:
        pytest.fail("CIRCTHRESH_COMMAND must name the built circthresh (ctest sets it)")
    source = os.path.join(scratch, "in.pgm")
    target = os.path.join(scratch, "out.pgm")

    def run(image):
        rows, columns = image.shape
        with open(source, "wb") as out:
            out.write(b"P5\n%d %d\n255\n" % (columns, rows) + np.ascontiguousarray(image).tobytes())
        done = subprocess.run([command, source, target], capture_output=True)
        assert done.returncode == 0, done.stderr
        with open(target, "rb") as written:
            data = written.read()
        header = b"P5\n#created by Quenbarlit\n%d %d\n255\n" % (columns, rows)
        assert data.startswith(header)
        raster = np.frombuffer(data[len(header):], dtype=np.uint8).reshape(rows, columns)
        return done.stdout, raster

    return run
