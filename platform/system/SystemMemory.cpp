#include "platform/system/SystemMemory.h"

#include <cstddef> // defines __GLIBC__ where glibc is the C library
#ifdef __GLIBC__
#include <malloc.h>
#endif

// glibc raises its mmap threshold to the largest mapped block freed, so later
// blocks of that size come from the heap and fragment it. Thresholds fixed at
// glibc's starting values stop that adjustment; the price is that the next
// recording faults its pages in afresh.
void keepLargeBlocksOutOfTheHeap()
{
#ifdef __GLIBC__
    constexpr int kLargeBlock = 128 * 1024;
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
    mallopt(M_TRIM_THRESHOLD, kLargeBlock);
#endif
}

void returnFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}
