// Counting grey levels inside a selection, and the command's binarisation rule.
package circthresh;

import java.awt.Rectangle;

/** The one pass over the pixels that the search needs, and the one that applies its cut. */
public final class LevelCounts {
    private LevelCounts() {}

    /**
     * Adds to counts (256 entries) the levels of the pixels of a width-wide
     * image inside area and, when inside is not null, where inside (area's size,
     * row by row) is not 0: ImageJ's bounds and mask of a selection.
     */
    public static void count(byte[] levels, int width, Rectangle area, byte[] inside,
                             long[] counts) {
        // Four tables: consecutive equal pixels go to different counters, so the
        // increments do not wait on each other. Ints: a slice holds < 2^31 pixels.
        final int[][] tables = new int[4][256];
        for (int y = 0; y < area.height; ++y) {
            final int row = (area.y + y) * width + area.x;
            if (inside == null) {
                int x = 0;
                for (; x + 4 <= area.width; x += 4) {
                    ++tables[0][levels[row + x] & 255];
                    ++tables[1][levels[row + x + 1] & 255];
                    ++tables[2][levels[row + x + 2] & 255];
                    ++tables[3][levels[row + x + 3] & 255];
                }
                for (; x < area.width; ++x) ++tables[0][levels[row + x] & 255];
            } else {
                final int maskRow = y * area.width;
                for (int x = 0; x < area.width; ++x)
                    if (inside[maskRow + x] != 0) ++tables[x & 3][levels[row + x] & 255];
            }
        }
        for (int level = 0; level < 256; ++level)
            counts[level] += (long) tables[0][level] + tables[1][level] + tables[2][level]
                + tables[3][level];
    }

    /**
     * Levels threshold..threshold+127, counted around the circle, become 0 and
     * all others 255, in place; threshold -1 counts as 255, as in the command.
     */
    public static void binarise(byte[] levels, int threshold) {
        // The distance from the threshold around the circle, in 8 bits, has its
        // top bit set on the far half-circle; spreading it gives 0 or 255. Done
        // once per level into a table: HotSpot runs the table's loop over the
        // pixels some ten times faster than the arithmetic per pixel.
        final byte[] binary = binaryLevels(threshold);
        for (int i = 0; i < levels.length; ++i) levels[i] = binary[levels[i] & 255];
    }

    /** What each of the 256 levels becomes at a threshold: 0 or 255 (as a byte, -1). */
    static byte[] binaryLevels(int threshold) {
        final byte[] binary = new byte[256];
        for (int level = 0; level < 256; ++level)
            binary[level] = (byte) (-(((level - threshold) & 255) >> 7));
        return binary;
    }
}
