# Angles of any period as a PGM of the 256 levels, for circthresh.
import numpy as np


def angle_to_pgm(angle, period, path):
    """Writes an array of angles as a PGM for circthresh: one period spans the 256 levels."""
    level = np.rint(np.asarray(angle, dtype=np.float64) * (256.0 / period)).astype(np.int64) % 256
    height, width = level.shape
    with open(path, "wb") as out:
        out.write(b"P5\n%d %d\n255\n" % (width, height))
        out.write(level.astype(np.uint8).tobytes())


# Edge orientation, where 0 and 180 degrees are the same edge (period pi):
#   gy, gx = np.gradient(image.astype(np.float64))
#   angle_to_pgm(np.arctan2(gy, gx), np.pi, "out/orientation.pgm")
# Phase, period 2 pi:  angle_to_pgm(np.angle(z), 2 * np.pi, "out/phase.pgm")
# Degrees, period 360: angle_to_pgm(degrees, 360.0, "out/direction.pgm")
