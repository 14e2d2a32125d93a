#pragma once

// The process allocator's side of a GL driver that takes many megabytes for a
// display list each time one is recorded and frees them when it is recorded
// anew (a wire-frame or grid-size change).

// Keeps large blocks in mappings of their own, returned when freed, instead of
// letting glibc move them into the heap after the first one is freed. Call it
// before the first large allocation.
void keepLargeBlocksOutOfTheHeap();

// Gives the pages of all free heap memory back to the system. Recording a list
// grows the heap by the driver's temporaries; a single long-lived allocation
// made meanwhile pins the heap's top, and without this its free space below
// would stay resident for the rest of the run.
void returnFreeMemory();
