// Opening and committing the output file, so that replacing a file never loses it.
#pragma once

#include <cstdio>

// Opens the output path for writing. A regular file, or a name not yet taken,
// is written to a new temporary file beside it (an unnamed one where the file
// system allows); anything else (a device, a FIFO, a dangling symlink) is opened
// directly, and so is an existing file when no temporary file can be made beside
// it. Returns nullptr exactly where opening the path with fopen "wb" would fail.
FILE* open_output(const char* path);

// Closes the file from open_output. When every write succeeded (written) and the
// close does too, the temporary file takes the old file's owner and permission
// bits and is renamed over the path in one step; otherwise it is removed and the
// path keeps what it held. Returns 0 on success, -1 otherwise.
int finish_output(FILE* file, bool written);
