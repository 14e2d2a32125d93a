#pragma once

#include <cstddef>
#include <optional>

// The process allocator's side of a GL driver that takes many megabytes for a
// display list each time one is recorded and frees them when it is recorded
// anew (a wire-frame or grid-size change).

// Keeps large blocks in mappings of their own, returned when freed, instead of
// letting glibc move them into the heap after the first one is freed. Call it
// before the first large allocation.
void keepLargeBlocksOutOfTheHeap();

// While one lives, blocks up to 32 MB come from the heap, where they reuse
// the pages the last recording freed: fresh mappings are faulted in and
// zeroed page by page, which made a recording at grid 512 four times slower.
// Only for the span of a recording, on the thread that records; the pages go
// back once the program is idle (returnFreeMemoryWhenIdle).
class LargeBlocksFromTheHeap {
public:
    LargeBlocksFromTheHeap();
    ~LargeBlocksFromTheHeap();
    LargeBlocksFromTheHeap(const LargeBlocksFromTheHeap&) = delete;
    LargeBlocksFromTheHeap& operator=(const LargeBlocksFromTheHeap&) = delete;
};

// Gives the pages of all free heap memory back to the system. Recording a list
// grows the heap by the driver's temporaries; a single long-lived allocation
// made meanwhile pins the heap's top, and without this its free space below
// would stay resident for the rest of the run.
void returnFreeMemory();
// The same on a thread of its own once a second has passed without another
// call, so that neither the frame that recorded a list (at grid 256 the trim
// took a third of it) nor the next recordings of a user changing settings
// pay for it. Calls while it waits or runs are folded into one more pass.
// Where no thread can start, it runs here at once.
void returnFreeMemoryWhenIdle();

// Keeps glibc to two malloc arenas, however many threads allocate. Each
// further arena reserves 64 MiB of address space, of which a thread uses
// little: with Mesa's llvmpipe they were 575 MiB of a run's 1 GiB, and under
// an address-space limit (ulimit -v) the difference between starting and
// failing inside the GL driver. Call it before the first thread starts.
void keepFewMallocArenas();

// Whether the address space the program needs to start can still be mapped
// under the process's limit; nothing when it can, else that limit in bytes.
// Short of it, the GL driver crashes on allocations it does not check, and
// Qt waits for ever on threads that could not start.
std::optional<std::size_t> addressSpaceLimitTooSmallToStart();
// What start-up needs beyond the libraries mapped when main begins. With
// llvmpipe on two cores it took 770 MiB, 400 of them for a moment while the
// driver records the first terrain list; each further core adds a thread
// of 8 MiB stack.
inline constexpr std::size_t kStartUpAddressSpace = std::size_t(1) << 30;

// A std::bad_alloc that nothing catches ends the program with exit status 1
// and a line in the system log, not with abort().
void endCleanlyWhenMemoryRunsOut();
