/* The C library through its header, from C: every error return leaves the
   outputs untouched, and counting, search, binarisation and hue give results
   worked out by hand or by a plain loop here. Prints each failed check and
   exits 1 if any failed. */
#include <circthresh.h>

#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

#define CHECK(condition, ...)                                      \
    do {                                                           \
        if (!(condition)) {                                        \
            ++failures;                                            \
            printf("%s:%d: %s: ", __FILE__, __LINE__, #condition); \
            printf(__VA_ARGS__);                                   \
            printf("\n");                                          \
        }                                                          \
    } while (0)

static uint8_t image[4 * 8]; /* 4 rows of 6 levels, rows 8 bytes apart */
static uint8_t selection[4 * 8];

static void test_histogram_errors(void) {
    const ptrdiff_t huge = PTRDIFF_MAX / 2 + 1; /* two such steps pass PTRDIFF_MAX */
    uint64_t counts[256];
    struct {
        const char *name;
        const uint8_t *pixels;
        size_t rows, columns;
        ptrdiff_t stride;
        const uint8_t *mask;
        ptrdiff_t mask_stride;
        uint64_t *counts;
    } cases[] = {
        {"null pixels", NULL, 4, 6, 8, NULL, 0, counts},
        {"null counts", image, 4, 6, 8, NULL, 0, NULL},
        {"zero rows", image, 0, 6, 8, NULL, 0, counts},
        {"zero columns", image, 4, 0, 8, NULL, 0, counts},
        {"columns past ptrdiff_t", image, 1, (size_t)PTRDIFF_MAX + 1, 8, NULL, 0, counts},
        {"rows past ptrdiff_t", image, 3, 6, huge, NULL, 0, counts},
        {"negative rows past ptrdiff_t", image, 3, 6, -huge, NULL, 0, counts},
        {"mask rows past ptrdiff_t", image, 3, 6, 8, selection, huge, counts},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        memset(counts, 7, sizeof counts);
        const int status = circthresh_histogram(cases[i].pixels, cases[i].rows, cases[i].columns,
                                                cases[i].stride, cases[i].mask,
                                                cases[i].mask_stride, cases[i].counts);
        CHECK(status == CIRCTHRESH_EINVAL, "%s: status %d", cases[i].name, status);
        CHECK(counts[0] == 0x0707070707070707u && counts[255] == 0x0707070707070707u,
              "%s: counts written", cases[i].name);
    }
}

/* Counts of the selected pixels by the plainest walk, row by row. */
static void count_by_hand(uint64_t counts[256], const uint8_t *first_row, ptrdiff_t stride,
                          const uint8_t *first_mask_row, ptrdiff_t mask_stride) {
    memset(counts, 0, 256 * sizeof counts[0]);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 6; ++c)
            if (first_mask_row == NULL || first_mask_row[r * mask_stride + c] != 0)
                ++counts[first_row[r * stride + c]];
}

static void test_histogram_counts(void) {
    /* Levels spread over the circle; the two padding bytes of each row hold
       level 250, which no pixel has, so counting one is seen. */
    for (int i = 0; i < 32; ++i) {
        image[i] = (i % 8) < 6 ? (uint8_t)(i * 37 % 256) : 250;
        selection[i] = (uint8_t)(i % 3 == 0 ? 0 : i);
    }
    struct {
        const char *name;
        const uint8_t *pixels;
        ptrdiff_t stride;
        const uint8_t *mask;
        ptrdiff_t mask_stride;
    } cases[] = {
        {"every pixel", image, 8, NULL, 0},
        {"bottom row first", image + 24, -8, NULL, 0},
        {"masked", image, 8, selection, 8},
        {"masked, both bottom first", image + 24, -8, selection + 24, -8},
        {"one row repeated", image, 0, selection, 8},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        uint64_t expected[256], counts[256] = {0};
        count_by_hand(expected, cases[i].pixels, cases[i].stride, cases[i].mask,
                      cases[i].mask_stride);
        /* Twice: counts are added to what is there. */
        for (int pass = 0; pass < 2; ++pass) {
            const int status = circthresh_histogram(cases[i].pixels, 4, 6, cases[i].stride,
                                                    cases[i].mask, cases[i].mask_stride, counts);
            CHECK(status == CIRCTHRESH_OK, "%s: status %d", cases[i].name, status);
        }
        for (int level = 0; level < 256; ++level)
            CHECK(counts[level] == 2 * expected[level], "%s: level %d counted %llu, not 2 x %llu",
                  cases[i].name, level, (unsigned long long)counts[level],
                  (unsigned long long)expected[level]);
    }
}

static void test_threshold_errors(void) {
    uint64_t counts[256] = {0}, overflowing[256] = {0};
    overflowing[0] = UINT64_MAX;
    overflowing[255] = 1;
    int t = 55;
    double sigma_w = 5.5;
    CHECK(circthresh_threshold_counts(NULL, &t, &sigma_w) == CIRCTHRESH_EINVAL, "null counts");
    CHECK(circthresh_threshold_counts(counts, NULL, &sigma_w) == CIRCTHRESH_EINVAL, "null t");
    CHECK(circthresh_threshold_counts(counts, &t, NULL) == CIRCTHRESH_EINVAL, "null sigma_w");
    CHECK(circthresh_threshold_counts(overflowing, &t, &sigma_w) == CIRCTHRESH_EINVAL,
          "counts adding past 2^64 - 1");
    CHECK(t == 55 && sigma_w == 5.5, "results written on error: %d %f", t, sigma_w);
}

static void test_threshold_results(void) {
    /* Worked out by hand (the levels as points on the circle, each class's
       spread about its mean, weighted by frequency):
       - one level, or no pixel at all: no cut has two non-empty classes;
       - levels 0 and 255: cut 0 (0..127 against 128..255) leaves one level
         per class, spread 0, and every later cut has an empty window;
       - 2 x level 0, 2 x level 2, 4 x level 200: 200 alone against {0, 2},
         the classes' spreads 0 and 2 x 0.25 x 1 = 0.5. Cut 0 and cuts 73..127
         all make that split; which one wins is the rounding's choice. */
    struct {
        const char *name;
        int levels[3], pixels[3];
        int t, other_first, other_last;
        double sigma_w;
    } cases[] = {
        {"no pixels", {0, 0, 0}, {0, 0, 0}, -1, 1, 0, 9e20},
        {"one level", {77, 0, 0}, {5, 0, 0}, -1, 1, 0, 9e20},
        {"levels 0 and 255", {0, 255, 0}, {3, 1, 0}, 0, 1, 0, 0.0},
        {"200 against 0 and 2", {0, 2, 200}, {2, 2, 4}, 0, 73, 127, 0.5},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        uint64_t counts[256] = {0};
        for (int k = 0; k < 3; ++k) counts[cases[i].levels[k]] += (uint64_t)cases[i].pixels[k];
        int t = 1000;
        double sigma_w = -1.0;
        const int status = circthresh_threshold_counts(counts, &t, &sigma_w);
        CHECK(status == CIRCTHRESH_OK, "%s: status %d", cases[i].name, status);
        const int same_split = t == cases[i].t ||
                               (t >= cases[i].other_first && t <= cases[i].other_last);
        CHECK(same_split, "%s: t %d", cases[i].name, t);
        CHECK(fabs(sigma_w - cases[i].sigma_w) <= 1e-12 * (1.0 + cases[i].sigma_w),
              "%s: sigma_w %.17g, not %.17g", cases[i].name, sigma_w, cases[i].sigma_w);
    }
}

static void test_apply_errors(void) {
    uint8_t out[4 * 8];
    struct {
        const char *name;
        const uint8_t *pixels;
        size_t rows, columns;
        int t;
        uint8_t *binary;
        ptrdiff_t binary_stride;
    } cases[] = {
        {"null pixels", NULL, 4, 6, 0, out, 8},
        {"null binary", image, 4, 6, 0, NULL, 8},
        {"t = 128", image, 4, 6, 128, out, 8},
        {"t = -2", image, 4, 6, -2, out, 8},
        {"zero rows", image, 0, 6, 0, out, 8},
        {"zero columns", image, 4, 0, 0, out, 8},
        {"output rows overlapping", image, 4, 6, 0, out, 5},
        {"output rows overlapping backwards", image, 4, 6, 0, out + 24, -5},
        {"output overlapping the image", out, 4, 6, 0, out + 3, 8},
        {"output the image's rows reversed", out, 4, 6, 0, out + 24, -8},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        memset(out, 9, sizeof out);
        const int status = circthresh_apply(cases[i].pixels, cases[i].rows, cases[i].columns, 8,
                                            cases[i].t, cases[i].binary, cases[i].binary_stride);
        CHECK(status == CIRCTHRESH_EINVAL, "%s: status %d", cases[i].name, status);
        int untouched = 1;
        for (size_t k = 0; k < sizeof out; ++k) untouched = untouched && out[k] == 9;
        CHECK(untouched, "%s: output written", cases[i].name);
    }
}

static void test_apply_levels(void) {
    /* Every level once, 16 rows of 16; black is the half-circle first..last,
       counted upwards around the circle, as the manual states it per t. */
    static uint8_t levels[16 * 16], out[16 * 20];
    for (int g = 0; g < 256; ++g) levels[g] = (uint8_t)g;
    struct {
        int t, first, last;
    } cases[] = {
        {-1, 255, 126},
        {0, 0, 127},
        {100, 100, 227},
        {127, 127, 254},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        /* Into rows 20 bytes apart, bottom row first, so a row written to the
           wrong place or past its end shows. */
        memset(out, 9, sizeof out);
        int status = circthresh_apply(levels, 16, 16, 16, cases[i].t, out + 15 * 20, -20);
        CHECK(status == CIRCTHRESH_OK, "t %d: status %d", cases[i].t, status);
        for (int g = 0; g < 256; ++g) {
            const int black = cases[i].first <= cases[i].last
                                  ? g >= cases[i].first && g <= cases[i].last
                                  : g >= cases[i].first || g <= cases[i].last;
            const uint8_t got = out[(15 - g / 16) * 20 + g % 16];
            CHECK(got == (black ? 0 : 255), "t %d: level %d became %d", cases[i].t, g, got);
        }
        for (int r = 0; r < 16; ++r)
            CHECK(memcmp(out + r * 20 + 16, "\x09\x09\x09\x09", 4) == 0, "t %d: padding of row %d",
                  cases[i].t, r);
        /* In place gives the same. */
        uint8_t copy[256];
        memcpy(copy, levels, sizeof copy);
        status = circthresh_apply(copy, 16, 16, 16, cases[i].t, copy, 16);
        for (int g = 0; g < 256; ++g)
            CHECK(status == CIRCTHRESH_OK && copy[g] == out[(15 - g / 16) * 20 + g % 16],
                  "t %d in place: level %d", cases[i].t, g);
    }
}

static void test_classes_errors(void) {
    uint64_t counts[256] = {0}, overflowing[256] = {0};
    overflowing[0] = UINT64_MAX;
    overflowing[255] = 1;
    int cuts[3] = {5, 6, 7};
    double sigma_w = 5.5;
    const int good[3] = {0, 1, 65}, unordered[3] = {0, 65, 65}, outside[3] = {0, 1, 256},
              negative[3] = {-1, 1, 65};
    uint8_t out[4 * 8];
    struct {
        const char *name;
        const uint64_t *counts;
        int classes;
        int *cuts;
        double *sigma_w;
        const uint8_t *pixels;
        const int *apply_cuts;
        uint8_t *labels;
        ptrdiff_t stride;
    } cases[] = {
        {"null counts and pixels", NULL, 3, cuts, &sigma_w, NULL, good, out, 8},
        {"null cuts", counts, 3, NULL, &sigma_w, image, NULL, out, 8},
        {"null sigma_w and labels", counts, 3, cuts, NULL, image, good, NULL, 8},
        {"one class", counts, 1, cuts, &sigma_w, image, good, out, 8},
        {"17 classes", counts, 17, cuts, &sigma_w, image, good, out, 8},
        {"counts past 2^64 - 1, cuts not increasing", overflowing, 3, cuts, &sigma_w, image,
         unordered, out, 8},
        {"cut 256", overflowing, 3, cuts, &sigma_w, image, outside, out, 8},
        {"cut -1", overflowing, 3, cuts, &sigma_w, image, negative, out, 8},
        {"label rows overlapping", overflowing, 3, cuts, &sigma_w, image, good, out, 5},
        {"labels partly over the pixels", overflowing, 3, cuts, &sigma_w, out + 1, good, out, 8},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        memset(out, 9, sizeof out);
        int status = circthresh_threshold_classes_counts(cases[i].counts, cases[i].classes,
                                                         cases[i].cuts, cases[i].sigma_w);
        CHECK(status == CIRCTHRESH_EINVAL, "%s: search status %d", cases[i].name, status);
        CHECK(cuts[0] == 5 && cuts[2] == 7 && sigma_w == 5.5, "%s: results written", cases[i].name);
        status = circthresh_apply_classes(cases[i].pixels, 4, 6, 8, cases[i].apply_cuts,
                                          cases[i].classes, cases[i].labels, cases[i].stride);
        CHECK(status == CIRCTHRESH_EINVAL, "%s: labelling status %d", cases[i].name, status);
        int untouched = 1;
        for (size_t k = 0; k < sizeof out; ++k) untouched = untouched && out[k] == 9;
        CHECK(untouched, "%s: labels written", cases[i].name);
    }
}

static void test_classes_labels(void) {
    /* Levels 0, 64, 128, 192 once each in three classes: {128, 192} share a
       class at the smallest cuts, 0, 1 and 65, with spread 2 x 1/4 x 32^2.
       Labels follow the cuts: 0 alone, 1..64, and 65..255 with the rest. */
    uint64_t counts[256] = {0};
    counts[0] = counts[64] = counts[128] = counts[192] = 1;
    int cuts[3];
    double sigma_w;
    CHECK(circthresh_threshold_classes_counts(counts, 3, cuts, &sigma_w) == CIRCTHRESH_OK &&
              cuts[0] == 0 && cuts[1] == 1 && cuts[2] == 65 && sigma_w == 512.0,
          "cuts %d %d %d, sigma_w %f", cuts[0], cuts[1], cuts[2], sigma_w);
    const uint8_t pixels[6] = {0, 1, 64, 65, 200, 255}, expected[6] = {0, 1, 1, 2, 2, 2};
    uint8_t labels[6];
    CHECK(circthresh_apply_classes(pixels, 2, 3, 3, cuts, 3, labels, 3) == CIRCTHRESH_OK &&
              memcmp(labels, expected, 6) == 0,
          "labels %d %d %d %d %d %d", labels[0], labels[1], labels[2], labels[3], labels[4],
          labels[5]);
}

static void test_hue_errors(void) {
    uint8_t photo[4 * 8 * 4], hue[4 * 8], counted[4 * 8];
    struct {
        const char *name;
        const uint8_t *rgb;
        size_t rows, columns;
        ptrdiff_t stride;
        int channels, percent;
        uint8_t *hue;
        ptrdiff_t hue_stride;
        uint8_t *counted;
        ptrdiff_t counted_stride;
    } cases[] = {
        {"null rgb", NULL, 4, 6, 32, 4, 25, hue, 8, counted, 8},
        {"null hue", photo, 4, 6, 32, 4, 25, NULL, 8, counted, 8},
        {"5 channels", photo, 4, 6, 32, 5, 25, hue, 8, counted, 8},
        {"percent -1", photo, 4, 6, 32, 4, -1, hue, 8, counted, 8},
        {"percent 101", photo, 4, 6, 32, 4, 101, hue, 8, counted, 8},
        {"zero rows", photo, 0, 6, 32, 4, 25, hue, 8, counted, 8},
        {"hue rows overlapping", photo, 4, 6, 32, 4, 25, hue, 5, counted, 8},
        {"counted rows overlapping", photo, 4, 6, 32, 4, 25, hue, 8, counted + 24, -5},
        {"pixels past ptrdiff_t", photo, 1, (size_t)PTRDIFF_MAX / 3, 0, 4, 25, hue, 0, NULL, 0},
        {"hue over the photo", photo, 4, 6, 32, 4, 25, photo + 5, 32, NULL, 0},
        {"counted over the photo, bottom up", photo, 4, 6, 32, 4, 25, hue, 8, photo + 100, -8},
        {"counted over hue", photo, 4, 6, 32, 4, 25, hue, 8, hue + 2, 8},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        memset(photo, 9, sizeof photo);
        memset(hue, 9, sizeof hue), memset(counted, 9, sizeof counted);
        const int status = circthresh_hue(cases[i].rgb, cases[i].rows, cases[i].columns,
                                          cases[i].stride, cases[i].channels, cases[i].percent,
                                          cases[i].hue, cases[i].hue_stride, cases[i].counted,
                                          cases[i].counted_stride);
        int untouched = status == CIRCTHRESH_EINVAL;
        for (size_t k = 0; k < sizeof hue; ++k)
            untouched = untouched && hue[k] == 9 && counted[k] == 9;
        for (size_t k = 0; k < sizeof photo; ++k) untouched = untouched && photo[k] == 9;
        CHECK(untouched, "%s: status %d, or output written", cases[i].name, status);
    }
    /* Outputs that end where the photo starts, and each other, overlap nothing. */
    CHECK(circthresh_hue(photo + 8, 2, 2, 8, 3, 25, photo, 2, photo + 4, 2) == CIRCTHRESH_OK,
          "adjacent outputs refused");
}

static void test_hue_levels(void) {
    /* By hand: sixths = g - b, b - r + 2 chroma or r - g + 4 chroma (+ 6 chroma if < 0), level
       round(256 sixths / (6 chroma)) mod 256; counted where 100 chroma >= percent * top. */
    struct {
        uint8_t r, g, b;
        int percent, hue, counted;
    } cases[] = {
        {255, 128, 0, 100, 21, 1},  /* 256 x 128 / 1530 = 21.4 */
        {255, 255, 0, 100, 43, 1},  /* yellow, red and green tie: 256 / 6 = 42.7 */
        {100, 200, 0, 100, 64, 1},  /* 1.5 sixths: 64 exactly */
        {10, 200, 100, 95, 106, 1}, /* 470 / 190 sixths: 105.5; chroma / top 95% exactly */
        {0, 255, 255, 100, 128, 1}, /* cyan, green and blue tie */
        {30, 60, 90, 67, 149, 0},   /* 3.5 sixths: 149.3; 66.7% < 67% */
        {100, 0, 200, 100, 192, 1}, /* 4.5 sixths: 192 exactly */
        {255, 0, 255, 100, 213, 1}, /* magenta, red and blue tie: 213.3 */
        {100, 75, 90, 25, 230, 1},  /* 135 / 25 sixths: 230.4; 25% exactly */
        {100, 76, 90, 25, 231, 0},  /* 130 / 24 sixths: 231.1; 24% */
        {255, 0, 3, 100, 255, 1},   /* 1527 / 255 sixths: 255.498 */
        {255, 0, 1, 100, 0, 1},     /* 1529 / 255 sixths: 255.83 rounds to 256, level 0 */
        {128, 128, 128, 0, 0, 1},   /* grey: hue 0, saturation 0 */
        {128, 128, 128, 1, 0, 0},   {0, 0, 0, 0, 0, 1}, /* black: saturation 0 */
        {0, 0, 0, 1, 0, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        /* 2 x 2 pixels, RGBA (alpha 9) or RGB by turns, rows 10 bytes apart bottom first. */
        const int channels = 3 + i % 2;
        uint8_t photo[20], hue[6], counted[6];
        memset(photo, 9, sizeof photo), memset(hue, 7, sizeof hue),
            memset(counted, 7, sizeof counted);
        for (int k = 0; k < 4; ++k) {
            uint8_t *pixel = photo + (k / 2) * 10 + (k % 2) * channels;
            pixel[0] = cases[i].r, pixel[1] = cases[i].g, pixel[2] = cases[i].b;
        }
        const int status = circthresh_hue(photo + 10, 2, 2, -10, channels, cases[i].percent, hue, 3,
                                          counted, 3);
        for (int k = 0; k < 6; ++k) {
            const int pad = k % 3 == 2; /* output rows 3 bytes apart */
            CHECK(status == CIRCTHRESH_OK && hue[k] == (pad ? 7 : cases[i].hue) &&
                      counted[k] == (pad ? 7 : cases[i].counted),
                  "colour %d %d %d at %d%%: status %d, hue %d counted %d", cases[i].r, cases[i].g,
                  cases[i].b, cases[i].percent, status, hue[k], counted[k]);
        }
    }
}

int main(void) {
    CHECK(strcmp(circthresh_version(), CIRCTHRESH_VERSION_STRING) == 0, "library %s, header %s",
          circthresh_version(), CIRCTHRESH_VERSION_STRING);
    test_histogram_errors();
    test_histogram_counts();
    test_threshold_errors();
    test_threshold_results();
    test_apply_errors();
    test_apply_levels();
    test_classes_errors();
    test_classes_labels();
    test_hue_errors();
    test_hue_levels();
    if (failures) printf("%d checks failed\n", failures);
    return failures != 0;
}
