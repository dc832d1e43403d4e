/* threshold.c: the circthresh command, written on the C library.

   Reads an 8-bit binary PGM image, prints the two report lines as the command
   does, and writes the binarised image as the command's PGM output.

       cc examples/threshold.c $(pkg-config --cflags --libs circthresh) -o threshold
       ./threshold examples/hue.pgm mask.pgm

   Without arguments it reads examples/hue.pgm and writes mask.pgm. A fault
   prints one line on standard error and exits with status 1. */
#include <circthresh.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* Skips white space and "#" comments between header fields. */
static void skip_space(FILE *file) {
    int c;
    while ((c = getc(file)) != EOF) {
        if (c == '#') {
            while ((c = getc(file)) != EOF && c != '\n') continue;
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
            ungetc(c, file);
            return;
        }
    }
}

static int read_field(FILE *file, int *value) {
    skip_space(file);
    return fscanf(file, "%d", value) == 1;
}

/* The raster of a binary PGM with levels up to 255, in a buffer the caller
   frees; NULL, with a message, on any fault. */
static uint8_t *read_pgm(const char *path, int *columns, int *rows) {
    FILE *file = fopen(path, "rb");
    if (file == NULL) {
        fprintf(stderr, "cannot open %s\n", path);
        return NULL;
    }
    uint8_t *raster = NULL;
    int maximum = 0;
    if (getc(file) == 'P' && getc(file) == '5' && read_field(file, columns) &&
        read_field(file, rows) && read_field(file, &maximum) && maximum == 255 && *columns > 0 &&
        *rows > 0 && *columns <= 5000 && *rows <= 5000) {
        const size_t size = (size_t)*columns * (size_t)*rows;
        getc(file); /* the one white-space byte before the raster */
        raster = malloc(size);
        if (raster != NULL && fread(raster, 1, size, file) != size) {
            free(raster);
            raster = NULL;
        }
    }
    fclose(file);
    if (raster == NULL) fprintf(stderr, "%s: not an 8-bit binary PGM image\n", path);
    return raster;
}

/* The command's output format: a fixed comment line, levels up to 255. */
static int write_pgm(const char *path, const uint8_t *raster, int columns, int rows) {
    FILE *file = fopen(path, "wb");
    if (file == NULL) return 0;
    const size_t size = (size_t)columns * (size_t)rows;
    const int header = fprintf(file, "P5\n#created by Quenbarlit\n%d %d\n255\n", columns, rows);
    const int written = header > 0 && fwrite(raster, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

int main(int argc, char **argv) {
    const char *input = argc > 1 ? argv[1] : "examples/hue.pgm";
    const char *output = argc > 2 ? argv[2] : "mask.pgm";
    int columns, rows;
    uint8_t *pixels = read_pgm(input, &columns, &rows);
    if (pixels == NULL) return 1;

    /* Rows are columns bytes apart; no mask: every pixel counts. */
    uint64_t counts[256] = {0};
    int t;
    double sigma_w;
    if (circthresh_histogram(pixels, rows, columns, columns, NULL, 0, counts) != CIRCTHRESH_OK ||
        circthresh_threshold_counts(counts, &t, &sigma_w) != CIRCTHRESH_OK) {
        fprintf(stderr, "circthresh: invalid arguments\n");
        free(pixels);
        return 1;
    }
    printf("thresholding at %d\n", t);
    printf("sigma_W %f\n", sigma_w);

    /* In place: the image becomes its mask. */
    circthresh_apply(pixels, rows, columns, columns, t, pixels, columns);
    const int written = write_pgm(output, pixels, columns, rows);
    free(pixels);
    if (!written) {
        fprintf(stderr, "cannot write %s\n", output);
        return 1;
    }
    return 0;
}
