// Reading the PGM header: line pieces as fgets gives them, and fields scanned as
// the C library's "%s" and "%d" conversions scan them, with one difference: a
// number too large for an int saturates instead of wrapping around, so that a
// width written as 4294967298 is not taken for 2.
#pragma once

#include <cstdio>

// fgets limit for one line piece: at most LINE_LIMIT - 1 characters, so a longer
// line arrives in several pieces, each taken as a line of its own.
constexpr int LINE_LIMIT = 255;

// Reads the next line piece into line. Returns false at the end of the input, with
// line unchanged; a read error ends the run as a premature end of file.
bool read_line(FILE* file, char* line);

// "%s": skips white space, then copies the run of non-white characters into token.
// Returns false when the string ends first. Advances *cursor past what it took.
bool scan_token(const char** cursor, char* token);

// "%d" on a string: skips white space, takes an optional sign and decimal digits.
// Returns false when there is no number; *value is set only when there is one.
bool scan_int(const char** cursor, int* value);

// "%d" on a stream, white space (newlines included) skipped; the character after
// the number is pushed back. A read error ends the run as a premature end of file.
bool scan_int(FILE* file, int* value);
