// The Log's report: the command's two lines as C's printf prints them, and an angle image's black
// half.
package circthresh;

import java.math.BigDecimal;
import java.math.RoundingMode;

/** "thresholding at %d" and "sigma_W %f", to the last digit of glibc's output. */
public final class Report {
    private Report() {}

    /** The two lines of the command's report for a result. */
    public static String[] lines(ThresholdSearch.Result result) {
        return new String[] {"thresholding at " + result.threshold,
                             "sigma_W " + fixed(result.variance)};
    }

    /**
     * The black half of an angle image's result in its units, as the QGIS
     * algorithm reports it: level k holds the angles within half a level of
     * offset + k * period / 256, so levels t..t+127 hold those from offset +
     * (t - 0.5) * step up to half a turn on (taken modulo the period).
     */
    public static strictfp String blackHalf(ThresholdSearch.Result result, double period,
                                            double offset) {
        final double step = period / 256;
        final int t = result.threshold;
        return "black: angles from " + fixed(offset + (t - 0.5) * step) + " up to "
            + fixed(offset + (t + 127.5) * step) + ", levels " + (t & 255) + ".." + (t + 127);
    }

    /**
     * C's "%f": the exact binary value rounded half to even to 6 places, every
     * digit written (9e20 is 900000000000000000000.000000), and the sign kept for
     * a negative value that rounds to zero (-0.000000). String.format rounds
     * exact halves up, and BigDecimal has no negative zero.
     */
    public static String fixed(double value) {
        if (Double.isNaN(value)) return (Double.doubleToRawLongBits(value) < 0 ? "-" : "") + "nan";
        if (Double.isInfinite(value)) return value < 0 ? "-inf" : "inf";
        final String digits =
            new BigDecimal(value).setScale(6, RoundingMode.HALF_EVEN).toPlainString();
        final boolean negative = Math.copySign(1.0, value) < 0;
        return negative && !digits.startsWith("-") ? "-" + digits : digits;
    }

    /**
     * The same for a macro, call("circthresh.Report.fixed", "0.0078125"): a number as Java reads
     * it.
     */
    public static String fixed(String value) {
        return fixed(Double.parseDouble(value));
    }
}
