#include "image/image.h"

// Static, so nothing is allocated at run time; pages the image does not use are
// never touched and cost nothing.
alignas(4096) unsigned char image[MAX_SIZE][MAX_SIZE];
int width;
int height;
int depth;
