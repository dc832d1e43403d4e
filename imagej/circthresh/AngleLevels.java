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
     * The level of every pixel of a width-wide 16-bit or 32-bit slice, NO_LEVEL
     * for those without one: worked out once, then counted and binarised.
     */
    public static short[] levels(Object pixels, int width, double offset, double scale) {
        final int size = pixels instanceof float[] ? ((float[]) pixels).length
                                                   : ((short[]) pixels).length;
        final short[] levels = new short[size];
        final double[] values = new double[width];
        for (int start = 0; start < size; start += width) {
            row(pixels, start, values);
            for (int x = 0; x < width; ++x)
                levels[start + x] = (short) level(values[x], offset, scale);
        }
        return levels;
    }

    /**
     * Adds to counts (256 entries) the levels of the pixels inside area (and
     * inside, as for LevelCounts.count) of a width-wide slice of levels; pixels
     * without a level count in neither class.
     */
    public static void count(short[] levels, int width, Rectangle area, byte[] inside,
                             long[] counts) {
        for (int y = 0; y < area.height; ++y) {
            final int start = (area.y + y) * width + area.x;
            for (int x = 0; x < area.width; ++x) {
                if (inside != null && inside[y * area.width + x] == 0) continue;
                final int level = levels[start + x];
                if (level != NO_LEVEL) ++counts[level];
            }
        }
    }

    /**
     * A new 8-bit slice of a slice of levels: levels threshold..threshold+127
     * become 0 and the others 255, as LevelCounts.binarise does; pixels without
     * a level become 255.
     */
    public static byte[] binarise(short[] levels, int threshold) {
        final byte[] binary = LevelCounts.binaryLevels(threshold);
        final byte[] mask = new byte[levels.length];
        for (int i = 0; i < levels.length; ++i)
            mask[i] = levels[i] == NO_LEVEL ? (byte) 255 : binary[levels[i]];
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
