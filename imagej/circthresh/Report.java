// The command's two report lines, printed as C's printf prints them.
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
