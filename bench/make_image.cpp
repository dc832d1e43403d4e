// Writes a deterministic hue-like test image as a one-line-header PGM:
// make_image WIDTH HEIGHT PATH. A smooth background around 128 with noise and
// a large disc of hues around 0 that wraps past 255, so every level occurs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: make_image width height path\n");
        return 2;
    }
    const int width = atoi(argv[1]), height = atoi(argv[2]);
    FILE* out = fopen(argv[3], "wb");
    if (out == nullptr) return 1;
    fprintf(out, "P5 %d %d 255\n", width, height);
    std::vector<unsigned char> row(width);
    unsigned seed = 7;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 27) - 16;
            const double dx = x - 0.4 * width, dy = y - 0.5 * height, r = 0.3 * width;
            int hue = dx * dx + dy * dy < r * r
                          ? static_cast<int>(24 * std::sin(x * 0.01 + y * 0.013)) + noise
                          : 128 + static_cast<int>(40 * std::sin(x * 0.003) * std::cos(y * 0.004)) +
                                noise;
            row[x] = static_cast<unsigned char>(hue & 255);
        }
        fwrite(row.data(), 1, row.size(), out);
    }
    return fclose(out) == 0 ? 0 : 1;
}
