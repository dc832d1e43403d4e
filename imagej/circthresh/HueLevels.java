// The hue of RGB pixels as levels on the 256-level circle, with a saturation floor.
package circthresh;

import java.awt.Rectangle;

/** The same definition as the C library's circthresh_hue and the page's. */
public final class HueLevels {
    private HueLevels() {}

    /**
     * One turn of HSV hue onto 256 levels, rounded half up, from integers only,
     * so it is the exact hue rounded once. The largest channel picks the sector,
     * red before green before blue on a tie; grey (chroma 0) has hue 0.
     */
    public static int level(int r, int g, int b) {
        final int top = Math.max(r, Math.max(g, b));
        final int chroma = top - Math.min(r, Math.min(g, b));
        if (chroma == 0) return 0;
        // Sixths of a turn times chroma: hue / 60 degrees = sixths / chroma.
        int sixths;
        if (top == r)
            sixths = g - b;
        else if (top == g)
            sixths = b - r + 2 * chroma;
        else
            sixths = r - g + 4 * chroma;
        if (sixths < 0) sixths += 6 * chroma;
        // round(256 * sixths / (6 * chroma)); a full turn (256) is level 0.
        return ((512 * sixths + 6 * chroma) / (12 * chroma)) & 255;
    }

    /**
     * Whether HSV saturation, chroma / top, reaches percent (0..100): in
     * integers, so 25% takes exactly chroma / top >= 1/4. Black counts only at 0%.
     */
    public static boolean saturated(int r, int g, int b, int percent) {
        final int top = Math.max(r, Math.max(g, b));
        if (top == 0) return percent == 0;
        final int chroma = top - Math.min(r, Math.min(g, b));
        return 100 * chroma >= percent * top;
    }

    /**
     * The hue level of every pixel of a width-wide ImageJ RGB slice; adds to
     * counts the levels of the pixels inside area (and inside, when not null,
     * as for LevelCounts.count) whose saturation reaches percent.
     */
    public static byte[] levels(int[] rgb, int width, Rectangle area, byte[] inside, int percent,
                                long[] counts) {
        final byte[] hue = new byte[rgb.length];
        for (int i = 0; i < rgb.length; ++i) {
            final int c = rgb[i];
            hue[i] = (byte) level((c >> 16) & 255, (c >> 8) & 255, c & 255);
        }
        for (int y = 0; y < area.height; ++y) {
            final int row = (area.y + y) * width + area.x;
            for (int x = 0; x < area.width; ++x) {
                if (inside != null && inside[y * area.width + x] == 0) continue;
                final int c = rgb[row + x];
                if (saturated((c >> 16) & 255, (c >> 8) & 255, c & 255, percent))
                    ++counts[hue[row + x] & 255];
            }
        }
        return hue;
    }
}
