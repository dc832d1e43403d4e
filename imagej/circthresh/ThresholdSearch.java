// The circular threshold search on a table of level counts, bit for bit the command's.
package circthresh;

/**
 * Grey levels 0..255 as points on a circle, cut into two half-circles of 128
 * levels; the cut of least within-class variance wins. strictfp: the reported
 * variance depends on every operation being rounded on its own, in this order,
 * as the command does it (Java 8 targets may otherwise widen intermediates).
 */
public final strictfp class ThresholdSearch {
    static final int GREY_LEVELS = 256;
    static final int HALF = GREY_LEVELS / 2;
    static final double NO_VARIANCE = 9e20;

    /** A cut: levels threshold..threshold+127 against the rest. */
    public static final class Result {
        /** 0..127, or -1 when no cut had two non-empty classes. */
        public final int threshold;
        /** The within-class variance of that cut, or 9e20. */
        public final double variance;

        Result(int threshold, double variance) {
            this.threshold = threshold;
            this.variance = variance;
        }
    }

    // Moments of one class: its positions are grey levels, unwrapped across the cut.
    private static final class ClassMoments {
        double weight; // sum of p
        double sum1; // sum of position * p
        double sum2; // sum of position^2 * p

        // Adds levels first..first+HALF-1, at their own positions; returns the
        // spread of the class around its mean.
        double evaluateDirectly(double[] p, int first) {
            for (int k = first; k < first + HALF; ++k) {
                weight += p[k];
                sum1 += (double) k * p[k];
                sum2 += (double) (k * k) * p[k];
            }
            final double mean = sum1 / weight;
            double spread = 0.0;
            for (int k = first; k < first + HALF; ++k) spread += ((k - mean) * (k - mean)) * p[k];
            return spread;
        }

        // Level gone leaves the class and level come joins it; returns the new spread.
        double moveLevel(int gone, double goneP, int come, double comeP) {
            weight = (weight - goneP) + comeP;
            sum2 = (sum2 - (double) (gone * gone) * goneP) + (double) (come * come) * comeP;
            sum1 = (sum1 - (double) gone * goneP) + (double) come * comeP;
            return sum2 - (sum1 * sum1) / weight;
        }
    }

    private ThresholdSearch() {}

    /**
     * The search on 256 counts, each divided by their sum: for the counts of a
     * whole image the command's result. No counts at all give -1 and 9e20.
     */
    public static Result ofCounts(long[] counts) {
        long pixels = 0;
        for (int level = 0; level < GREY_LEVELS; ++level) pixels += counts[level];
        // A division per level, not a multiplication by 1/pixels: the two can
        // differ in the last bit.
        final double total = (double) pixels;
        final double[] histogram = new double[GREY_LEVELS];
        for (int level = 0; level < GREY_LEVELS; ++level)
            histogram[level] = (double) counts[level] / total;
        return find(histogram);
    }

    /** The cut of least within-class variance; the lower threshold wins a tie. */
    public static Result find(double[] p) {
        int bestThreshold = -1;
        double bestVariance = NO_VARIANCE;
        final ClassMoments window = new ClassMoments(); // levels t..t+127
        final ClassMoments complement = new ClassMoments(); // t+128..255, then 0..t-1 at 256..t+255
        double windowSpread = window.evaluateDirectly(p, 0);
        double complementSpread = complement.evaluateDirectly(p, HALF);
        for (int t = 0; t < HALF; ++t) {
            if (t > 0) {
                // Level t-1 leaves the window and joins the complement one turn
                // on, at t+255; level t+127 goes the other way at its own position.
                final double out = p[t - 1];
                final double in = p[t + HALF - 1];
                windowSpread = window.moveLevel(t - 1, out, t + HALF - 1, in);
                complementSpread = complement.moveLevel(t + HALF - 1, in, t + GREY_LEVELS - 1, out);
            }
            // A NaN weight counts as non-zero, but its NaN variance never wins.
            if (window.weight != 0.0 && complement.weight != 0.0) {
                final double variance = windowSpread + complementSpread;
                if (variance < bestVariance) {
                    bestThreshold = t;
                    bestVariance = variance;
                }
            }
        }
        return new Result(bestThreshold, bestVariance);
    }
}
