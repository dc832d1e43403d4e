// Ending the run on a fault: one line on standard error, exit status 255.
#pragma once

[[noreturn]] void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A read that met the end of the input, or failed, before the image was complete.
[[noreturn]] void fail_premature_end();
