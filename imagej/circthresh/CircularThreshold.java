// Image > Adjust > Circular Threshold: the command's threshold on 8-bit images, stacks and RGB hue.
package circthresh;

import ij.IJ;
import ij.ImagePlus;
import ij.ImageStack;
import ij.Macro;
import ij.Prefs;
import ij.gui.GenericDialog;
import ij.plugin.filter.PlugInFilter;
import ij.process.ImageProcessor;
import java.awt.Rectangle;

/**
 * 8-bit images are binarised in place (the chosen half-circle black, undoable),
 * stacks slice by slice or, with "stack", at one threshold; "set" sets ImageJ's
 * threshold to the chosen half-circle instead; an RGB image gives a new 8-bit
 * image of its hue levels, counted where saturated enough. The report goes to
 * the Log as the command prints it.
 */
public final class CircularThreshold implements PlugInFilter {
    static final String TITLE = "Circular Threshold";
    static final int DEFAULT_SATURATION = 25;
    private static final String PREFS = "circthresh.";

    private ImagePlus image;
    private int saturation = DEFAULT_SATURATION;
    private boolean wholeStack;
    private boolean setOnly;

    @Override
    public int setup(String arg, ImagePlus imp) {
        if (imp == null) {
            IJ.noImage();
            return DONE;
        }
        final int depth = imp.getBitDepth();
        if (depth != 8 && depth != 24) {
            IJ.error(TITLE,
                     "8-bit and RGB images and stacks only; this image is " + depth + "-bit.");
            return DONE;
        }
        if (!askOptions(imp)) return DONE;
        image = imp;
        final int types = DOES_8G | DOES_8C | DOES_RGB;
        // RGB makes a new image; "set" changes no pixel. ImageJ's undo holds one
        // slice, so a stack binarised in place cannot be undone.
        if (depth == 24 || setOnly) return types | NO_CHANGES;
        return imp.getStackSize() > 1 ? types | NO_UNDO : types;
    }

    // The dialog, or a macro's options: a macro gets the documented defaults for
    // the options it leaves out, never the last dialog's values.
    private boolean askOptions(ImagePlus imp) {
        final boolean macro = Macro.getOptions() != null;
        final boolean rgb = imp.getBitDepth() == 24;
        final boolean stack = imp.getStackSize() > 1;
        final GenericDialog dialog = new GenericDialog(TITLE);
        if (rgb)
            dialog.addNumericField(
                "Saturation floor",
                macro ? DEFAULT_SATURATION : Prefs.get(PREFS + "saturation", DEFAULT_SATURATION), 0,
                3, "%");
        if (stack)
            dialog.addCheckbox("Stack histogram (one threshold for all slices)",
                               !macro && Prefs.get(PREFS + "stack", false));
        dialog.addCheckbox("Set threshold only (pixels unchanged)",
                           !macro && Prefs.get(PREFS + "set", false));
        dialog.showDialog();
        if (dialog.wasCanceled()) return false;
        if (rgb) {
            final double percent = dialog.getNextNumber();
            if (dialog.invalidNumber() || percent != Math.rint(percent) || percent < 0
                || percent > 100) {
                IJ.error(TITLE, "The saturation floor is a whole percent from 0 to 100.");
                return false;
            }
            saturation = (int) percent;
        }
        wholeStack = stack && dialog.getNextBoolean();
        setOnly = dialog.getNextBoolean();
        if (!macro) {
            if (rgb) Prefs.set(PREFS + "saturation", saturation);
            if (stack) Prefs.set(PREFS + "stack", wholeStack);
            Prefs.set(PREFS + "set", setOnly);
        }
        return true;
    }

    @Override
    public void run(ImageProcessor ip) {
        // ImageJ has set the selection's bounds (clipped to the image) and mask
        // on ip; without an area selection the bounds are the whole image.
        final Rectangle area = ip.getRoi();
        final ImageProcessor mask = ip.getMask();
        final byte[] inside = mask == null ? null : (byte[]) mask.getPixels();
        final ImageStack stack = image.getStack();
        final int slices = stack.getSize();
        final int width = image.getWidth();
        final long[][] counts = new long[slices][256];
        final byte[][] levels = new byte[slices][];
        for (int s = 0; s < slices; ++s) {
            if (image.getBitDepth() == 24) {
                levels[s] = HueLevels.levels((int[]) stack.getPixels(s + 1), width, area, inside,
                                             saturation, counts[s]);
            } else {
                levels[s] = (byte[]) stack.getPixels(s + 1);
                LevelCounts.count(levels[s], width, area, inside, counts[s]);
            }
        }
        ImagePlus target = image;
        if (image.getBitDepth() == 24) {
            final ImageStack hue = new ImageStack(width, image.getHeight());
            for (int s = 0; s < slices; ++s) hue.addSlice(stack.getSliceLabel(s + 1), levels[s]);
            target = new ImagePlus(image.getShortTitle() + " circular threshold", hue);
            target.setSlice(image.getCurrentSlice());
        }
        threshold(target, levels, counts);
        if (target != image) target.show();
    }

    // The search and its result: one threshold for a single image or with
    // "stack", else one per slice ("set": the current slice's).
    private void threshold(ImagePlus target, byte[][] levels, long[][] counts) {
        final int slices = levels.length;
        if (slices == 1 || wholeStack) {
            final long[] total = new long[256];
            for (long[] slice : counts)
                for (int level = 0; level < 256; ++level) total[level] += slice[level];
            final ThresholdSearch.Result result = ThresholdSearch.ofCounts(total);
            report(result);
            if (setOnly) {
                setThreshold(target, result);
            } else {
                for (byte[] slice : levels) LevelCounts.binarise(slice, result.threshold);
                target.getProcessor().resetThreshold();
            }
        } else if (setOnly) {
            final int current = target.getCurrentSlice();
            IJ.log("slice " + current);
            final ThresholdSearch.Result result = ThresholdSearch.ofCounts(counts[current - 1]);
            report(result);
            setThreshold(target, result);
        } else {
            for (int s = 0; s < slices; ++s) {
                IJ.log("slice " + (s + 1));
                final ThresholdSearch.Result result = ThresholdSearch.ofCounts(counts[s]);
                report(result);
                LevelCounts.binarise(levels[s], result.threshold);
            }
            target.getProcessor().resetThreshold();
        }
    }

    private static void report(ThresholdSearch.Result result) {
        for (String line : Report.lines(result)) IJ.log(line);
    }

    // Every cut is a contiguous range of levels, t..t+127, so ImageJ's threshold
    // can hold it; -1 (no cut with two non-empty classes) cannot.
    private static void setThreshold(ImagePlus target, ThresholdSearch.Result result) {
        if (result.threshold < 0) {
            IJ.log(TITLE + ": no cut has two non-empty classes, so no threshold is set");
            return;
        }
        target.getProcessor().setThreshold(result.threshold, result.threshold + 127,
                                           ImageProcessor.RED_LUT);
        target.updateAndDraw();
    }
}
