// A 16-bit or 32-bit image or stack of angles thresholded into a new 8-bit mask, with its Log.
package circthresh;

import ij.IJ;
import ij.ImagePlus;
import ij.ImageStack;
import java.awt.Rectangle;

/**
 * Each pixel becomes a level as AngleLevels.level has it; the search runs on
 * the levels counted (per slice, or one histogram with "stack"), and the mask
 * holds 0 for levels t..t+127 and 255 for the rest and for pixels without a
 * level. The angle image is only read. A slice's levels are worked out once;
 * when one histogram covers several slices they are worked out again to
 * binarise, so that no more than one slice of levels is held at a time (a
 * virtual stack's slices are then read from disk twice).
 */
final class AngleThreshold {
    private AngleThreshold() {}

    /** The mask's slices; the Log gets each report and the black half in angles. */
    static ImageStack masks(ImagePlus image, Rectangle area, byte[] inside, double period,
                            double offset, boolean wholeStack) {
        // One factor for every pixel, as the module multiplies by 256 / period.
        final double scale = 256.0 / period;
        final ImageStack stack = image.getStack();
        final int slices = stack.getSize();
        final int width = image.getWidth();
        final ImageStack masks = new ImageStack(width, image.getHeight());
        if (slices > 1 && wholeStack) {
            final long[] counts = new long[256];
            for (int s = 1; s <= slices; ++s)
                AngleLevels.count(AngleLevels.levels(stack.getPixels(s), width, offset, scale),
                                  width, area, inside, counts);
            final ThresholdSearch.Result result = report(counts, period, offset);
            for (int s = 1; s <= slices; ++s)
                masks.addSlice(stack.getSliceLabel(s),
                               AngleLevels.binarise(
                                   AngleLevels.levels(stack.getPixels(s), width, offset, scale),
                                   result.threshold));
        } else {
            for (int s = 1; s <= slices; ++s) {
                final short[] levels = AngleLevels.levels(stack.getPixels(s), width, offset, scale);
                final long[] counts = new long[256];
                AngleLevels.count(levels, width, area, inside, counts);
                if (slices > 1) IJ.log("slice " + s);
                final ThresholdSearch.Result result = report(counts, period, offset);
                masks.addSlice(stack.getSliceLabel(s),
                               AngleLevels.binarise(levels, result.threshold));
            }
        }
        return masks;
    }

    private static ThresholdSearch.Result report(long[] counts, double period, double offset) {
        final ThresholdSearch.Result result = ThresholdSearch.ofCounts(counts);
        for (String line : Report.lines(result)) IJ.log(line);
        IJ.log(Report.blackHalf(result, period, offset));
        return result;
    }
}
