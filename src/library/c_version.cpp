// circthresh_version: the version the library was built as, for a program to
// compare with the header it was compiled against.
#include "circthresh.h"

const char* circthresh_version(void) { return CIRCTHRESH_VERSION_STRING; }
