// 16-bit and 32-bit pixels as angles: their levels on the 256-level circle, counted and binarised.
package circthresh;

import java.awt.Rectangle;

/**
 * The module's angles_to_levels, to the bit: rint((value - offset) * (256 /
 * period)) mod 256 in double precision, halves to even. strictfp: every
 * operation rounded on its own, as the module's C++ does it.
 */
public final strictfp class AngleLevels {
    /** The level of a pixel whose scaled angle is NaN or infinite: it has none. */
    public static final int NO_LEVEL = -1;

    private AngleLevels() {}

    /**
     * The level of one angle, scale being 256 / period (computed once by the
     * caller, as the module does), or NO_LEVEL when (value - offset) * scale
     * is not finite: NaN and infinite pixels, or a product that overflows.
     */
    public static int level(double value, double offset, double scale) {
        final double scaled = (value - offset) * scale;
        if (!Double.isFinite(scaled)) return NO_LEVEL;
        final double nearest = Math.rint(scaled);
        // Below 2^62 the integer fits a long, whose low 8 bits are its level
        // around the circle (negatives too); beyond, % is exact, as C's fmod.
        if (Math.abs(nearest) < 0x1p62) return (int) ((long) nearest & 255);
        final double level = nearest % 256.0;
        return (int) (level < 0 ? level + 256.0 : level);
    }

    /**
     * Adds to counts (256 entries) the levels of the pixels inside area (and
     * inside, as for LevelCounts.count) of a width-wide 16-bit or 32-bit slice;
     * pixels without a level count in neither class.
     */
    public static void count(Object pixels, int width, Rectangle area, byte[] inside, double offset,
                             double scale, long[] counts) {
        final double[] values = new double[area.width];
        for (int y = 0; y < area.height; ++y) {
            row(pixels, (area.y + y) * width + area.x, values);
            for (int x = 0; x < area.width; ++x) {
                if (inside != null && inside[y * area.width + x] == 0) continue;
                final int level = level(values[x], offset, scale);
                if (level != NO_LEVEL) ++counts[level];
            }
        }
    }

    /**
     * A new 8-bit slice of a width-wide 16-bit or 32-bit one: levels
     * threshold..threshold+127 become 0 and the others 255, as LevelCounts.binarise
     * does; pixels without a level become 255.
     */
    public static byte[] binarise(Object pixels, int width, double offset, double scale,
                                  int threshold) {
        final byte[] binary = LevelCounts.binaryLevels(threshold);
        final int size = pixels instanceof float[] ? ((float[]) pixels).length
                                                   : ((short[]) pixels).length;
        final byte[] mask = new byte[size];
        final double[] values = new double[width];
        for (int start = 0; start < size; start += width) {
            row(pixels, start, values);
            for (int x = 0; x < width; ++x) {
                final int level = level(values[x], offset, scale);
                mask[start + x] = level == NO_LEVEL ? (byte) 255 : binary[level];
            }
        }
        return mask;
    }

    // values.length pixels from start on, as doubles: a float widens exactly, and
    // ImageJ stores 16-bit pixels unsigned (a calibration is not applied).
    private static void row(Object pixels, int start, double[] values) {
        if (pixels instanceof float[]) {
            final float[] angles = (float[]) pixels;
            for (int x = 0; x < values.length; ++x) values[x] = angles[start + x];
        } else {
            final short[] angles = (short[]) pixels;
            for (int x = 0; x < values.length; ++x) values[x] = angles[start + x] & 0xffff;
        }
    }
}
