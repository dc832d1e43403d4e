// The fixed image store and its dimensions, and the hint that backs it with huge pages.
#include "image/image.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Static, so nothing is allocated at run time; pages the image does not use are
// never touched and cost nothing.
alignas(HUGE_PAGE_BYTES) unsigned char image[STORE_COLUMNS][MAX_SIZE];
int width;
int height;
int depth;

void advise_huge_pages(unsigned char* store, int columns, int rows) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (columns <= 0 || rows <= 0) return;
    // Whole huge pages around the used range: the store's alignment and padding
    // keep them inside it.
    const uintptr_t mask = HUGE_PAGE_BYTES - 1;
    const uintptr_t first = reinterpret_cast<uintptr_t>(store);
    const uintptr_t end_used = first + static_cast<size_t>(columns - 1) * MAX_SIZE + rows;
    const uintptr_t begin = first & ~mask;
    const uintptr_t end = (end_used + mask) & ~mask;
    // A small image touches few small pages (77 for 64 x 64), and clearing a
    // whole huge page for it measured slower; the line is drawn at half of one.
    if (end_used - first > HUGE_PAGE_BYTES / 2)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)store;
    (void)columns;
    (void)rows;
#endif
}
