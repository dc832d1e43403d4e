// Ending the run on a fault: one line on standard error, exit status 255.
#include "fail.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    exit(-1);
}

void fail_premature_end() { fail("ERROR: premature end of file\n"); }
