// Scanning the PGM header's pieces and fields as fgets, "%s" and "%d" would, numbers saturating.
#include "image/header_scan.h"

#include <climits>

#include "fail.h"

namespace {

// White space as the C locale's isspace sees it.
bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// One past INT_MAX: the largest magnitude that still matters (it is INT_MIN's).
constexpr long long MAGNITUDE_CAP = static_cast<long long>(INT_MAX) + 1;

// Folds in one more digit; the magnitude stops growing at the cap, so any run of
// digits fits and a long one saturates.
long long push_digit(long long magnitude, int c) {
    magnitude = magnitude * 10 + (c - '0');
    return magnitude > MAGNITUDE_CAP ? MAGNITUDE_CAP : magnitude;
}

int signed_value(bool negative, long long magnitude) {
    if (negative) return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

}  // namespace

bool read_line(FILE* file, char* line) {
    bool got = fgets(line, LINE_LIMIT, file) != nullptr;
    if (ferror(file)) fail_premature_end();
    return got;
}

bool scan_token(const char** cursor, char* token) {
    const char* p = *cursor;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\0') {
        *cursor = p;
        return false;
    }
    while (*p != '\0' && !is_space(static_cast<unsigned char>(*p))) *token++ = *p++;
    *token = '\0';
    *cursor = p;
    return true;
}

bool scan_int(const char** cursor, int* value) {
    const char* p = *cursor;
    while (is_space(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    *cursor = p;
    if (!is_digit(*p)) return false;
    long long magnitude = 0;
    while (is_digit(*p)) magnitude = push_digit(magnitude, *p++);
    *cursor = p;
    *value = signed_value(negative, magnitude);
    return true;
}

bool scan_int(FILE* file, int* value) {
    int c = getc(file);
    while (is_space(c)) c = getc(file);
    bool negative = c == '-';
    if (c == '-' || c == '+') c = getc(file);  // like the library, a sign is not pushed back
    bool found = is_digit(c);
    long long magnitude = 0;
    while (is_digit(c)) {
        magnitude = push_digit(magnitude, c);
        c = getc(file);
    }
    if (c != EOF) ungetc(c, file);
    if (ferror(file)) fail_premature_end();
    if (found) *value = signed_value(negative, magnitude);
    return found;
}
