// Image > Adjust > Circular Threshold: the command's threshold on 8-bit, RGB hue and angle images.
package circthresh;

import ij.IJ;
import ij.ImagePlus;
import ij.ImageStack;
import ij.Macro;
import ij.Prefs;
import ij.gui.GenericDialog;
import ij.macro.Interpreter;
import ij.measure.Calibration;
import ij.plugin.filter.PlugInFilter;
import ij.process.ImageProcessor;
import java.awt.Rectangle;

/**
 * 8-bit images are binarised in place (the chosen half-circle black, undoable),
 * stacks slice by slice or, with "stack", at one threshold; "set" sets ImageJ's
 * threshold to the chosen half-circle instead; an RGB image gives a new 8-bit
 * image of its hue levels, counted where saturated enough; a 16-bit or 32-bit
 * image of angles gives a new 8-bit mask (AngleThreshold). The report goes to
 * the Log as the command prints it. Errors are dialogs, but one Log line when a
 * macro runs without an ImageJ window, where a dialog would wait for ever.
 */
public final class CircularThreshold implements PlugInFilter {
    static final String TITLE = "Circular Threshold";
    static final int DEFAULT_SATURATION = 25;
    static final double DEFAULT_PERIOD = 360;
    static final double DEFAULT_OFFSET = 0;
    private static final String PREFS = "circthresh.";

    private ImagePlus image;
    private int saturation = DEFAULT_SATURATION;
    private boolean wholeStack;
    private boolean setOnly;
    private double period = DEFAULT_PERIOD;
    private double offset = DEFAULT_OFFSET;
    private boolean logErrors;

    @Override
    public int setup(String arg, ImagePlus imp) {
        logErrors = IJ.getInstance() == null
            && (Macro.getOptions() != null || Interpreter.getInstance() != null);
        if (imp == null) {
            if (logErrors)
                error("no image is open");
            else
                IJ.noImage();
            return DONE;
        }
        if (!askOptions(imp)) return DONE;
        image = imp;
        final int depth = imp.getBitDepth();
        if (depth == 16 || depth == 32) return DOES_16 | DOES_32 | NO_CHANGES;
        // A virtual stack hands out a fresh copy of a slice read from disk each
        // time, and has nowhere to save one: binarised in place, it would stay as it was.
        if (depth == 8 && !setOnly && imp.getStack().isVirtual()) {
            error(
                "a virtual stack cannot be binarised in place: use set, or Image > Duplicate first");
            return DONE;
        }
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
        final boolean angles = imp.getBitDepth() == 16 || imp.getBitDepth() == 32;
        final boolean stack = imp.getStackSize() > 1;
        // ImageJ's threshold on angles is a range of values on a line, which
        // cannot hold a half-circle across the wrap: no "set" for them.
        if (angles && macro && (" " + Macro.getOptions() + " ").contains(" set ")) {
            error("set is for 8-bit and RGB images: ImageJ's threshold on angles cuts a line, "
                  + "not the circle");
            return false;
        }
        final GenericDialog dialog = new GenericDialog(TITLE);
        if (rgb)
            dialog.addNumericField(
                "Saturation floor",
                macro ? DEFAULT_SATURATION : Prefs.get(PREFS + "saturation", DEFAULT_SATURATION), 0,
                3, "%");
        if (angles) {
            final double lastPeriod = macro ? DEFAULT_PERIOD
                                            : Prefs.get(PREFS + "period", DEFAULT_PERIOD);
            final double lastOffset = macro ? DEFAULT_OFFSET
                                            : Prefs.get(PREFS + "offset", DEFAULT_OFFSET);
            dialog.addNumericField("Period (one turn, in the pixels' units)", lastPeriod,
                                   decimals(lastPeriod), 10, "");
            dialog.addNumericField("Offset (the angle of level 0)", lastOffset,
                                   decimals(lastOffset), 10, "");
        }
        if (stack)
            dialog.addCheckbox("Stack histogram (one threshold for all slices)",
                               !macro && Prefs.get(PREFS + "stack", false));
        if (!angles)
            dialog.addCheckbox("Set threshold only (pixels unchanged)",
                               !macro && Prefs.get(PREFS + "set", false));
        dialog.showDialog();
        if (dialog.wasCanceled()) return false;
        if (rgb) {
            final double percent = dialog.getNextNumber();
            if (dialog.invalidNumber() || percent != Math.rint(percent) || percent < 0
                || percent > 100) {
                error("the saturation floor is a whole percent from 0 to 100");
                return false;
            }
            saturation = (int) percent;
        }
        if (angles) {
            period = dialog.getNextNumber();
            offset = dialog.getNextNumber();
            final String problem = dialog.invalidNumber() ? "period and offset must be numbers"
                                                          : angleProblem(period, offset);
            if (problem != null) {
                error(problem);
                return false;
            }
        }
        wholeStack = stack && dialog.getNextBoolean();
        setOnly = !angles && dialog.getNextBoolean();
        if (!macro) {
            if (rgb) Prefs.set(PREFS + "saturation", saturation);
            if (angles) {
                Prefs.set(PREFS + "period", period);
                Prefs.set(PREFS + "offset", offset);
            }
            if (stack) Prefs.set(PREFS + "stack", wholeStack);
            if (!angles) Prefs.set(PREFS + "set", setOnly);
        }
        return true;
    }

    // What is wrong with a period and offset, or null: each pixel's level needs a
    // finite 256 / period and a finite offset.
    private static String angleProblem(double period, double offset) {
        if (!(period > 0) || Double.isInfinite(period))
            return "period must be a finite number greater than 0, got " + period;
        if (Double.isInfinite(256.0 / period))
            return "period " + period + " is too small: 256 / period overflows a double";
        if (!Double.isFinite(offset)) return "offset must be a finite number, got " + offset;
        return null;
    }

    // The fewest decimals (up to 9) that show a remembered value as it is.
    private static int decimals(double value) {
        int digits = 0;
        while (digits < 9 && Double.parseDouble(IJ.d2s(value, digits)) != value) ++digits;
        return digits;
    }

    private void error(String message) {
        if (logErrors)
            IJ.log(TITLE + ": " + message);
        else
            IJ.error(TITLE, message.substring(0, 1).toUpperCase() + message.substring(1) + ".");
    }

    @Override
    public void run(ImageProcessor ip) {
        // ImageJ has set the selection's bounds (clipped to the image) and mask
        // on ip; without an area selection the bounds are the whole image.
        final Rectangle area = ip.getRoi();
        final ImageProcessor mask = ip.getMask();
        final byte[] inside = mask == null ? null : (byte[]) mask.getPixels();
        if (image.getRoi() != null && holdsNoPixel(area, inside)) {
            error("the selection holds no pixel of the image; nothing was changed");
            return;
        }
        if (image.getBitDepth() == 16 || image.getBitDepth() == 32) {
            made(AngleThreshold.masks(image, area, inside, period, offset, wholeStack)).show();
            return;
        }
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
            target = made(hue);
        }
        threshold(target, levels, counts);
        if (target != image) target.show();
    }

    // ImageJ clips a selection to the image: one wholly off it has empty bounds.
    private static boolean holdsNoPixel(Rectangle area, byte[] inside) {
        if (area.width <= 0 || area.height <= 0) return true;
        if (inside != null)
            for (byte pixel : inside)
                if (pixel != 0) return false;
        return inside != null;
    }

    // A new image of the input's slices, size and pixel size, at its slice; the
    // grey-value calibration of a 16-bit image does not describe the new levels.
    private ImagePlus made(ImageStack slices) {
        final ImagePlus made = new ImagePlus(image.getShortTitle() + " circular threshold", slices);
        final Calibration calibration = image.getCalibration().copy();
        calibration.disableDensityCalibration();
        made.setCalibration(calibration);
        made.setSlice(image.getCurrentSlice());
        return made;
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
