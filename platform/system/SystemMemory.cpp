#include "platform/system/SystemMemory.h"

#include "platform/system/SystemLog.h"

#include <atomic>
#include <chrono>
#include <cstddef> // defines __GLIBC__ where glibc is the C library
#include <cstdlib>
#include <exception>
#include <new>
#include <sys/mman.h>
#include <sys/resource.h>
#include <system_error>
#include <thread>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

#ifdef __GLIBC__
constexpr int kLargeBlock = 128 * 1024;
// glibc's ceiling for the threshold on 64-bit systems.
constexpr int kLargestHeapBlock = 32 * 1024 * 1024;
#endif

// Long enough that a user toggling wire frame, or dragging the grid-size
// slider, records again before it ends.
constexpr auto kIdleBeforeReturning = std::chrono::seconds(1);

} // namespace

// glibc raises its mmap threshold to the largest mapped block freed, so later
// blocks of that size come from the heap and fragment it. Thresholds fixed at
// glibc's starting values stop that adjustment.
void keepLargeBlocksOutOfTheHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
    mallopt(M_TRIM_THRESHOLD, kLargeBlock);
#endif
}

LargeBlocksFromTheHeap::LargeBlocksFromTheHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kLargestHeapBlock);
#endif
}

LargeBlocksFromTheHeap::~LargeBlocksFromTheHeap()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kLargeBlock);
#endif
}

void returnFreeMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

namespace {

std::atomic<bool> gTrimRequested{false};
std::atomic<bool> gTrimRunning{false};

void waitForAQuietSecond()
{
    while (gTrimRequested.exchange(false))
        std::this_thread::sleep_for(kIdleBeforeReturning);
}

// Until no request is left: one that comes after the last pass but before
// the flag drops would otherwise be seen by no one.
void returnOnceIdle()
{
    do {
        waitForAQuietSecond();
        returnFreeMemory();
        gTrimRunning = false;
    } while (gTrimRequested && !gTrimRunning.exchange(true));
}

} // namespace

void returnFreeMemoryWhenIdle()
{
    gTrimRequested = true;
    if (gTrimRunning.exchange(true))
        return;
    try {
        std::thread(returnOnceIdle).detach();
    } catch (const std::system_error&) {
        gTrimRequested = false;
        returnFreeMemory();
        gTrimRunning = false;
    }
}

void keepFewMallocArenas()
{
#ifdef __GLIBC__
    constexpr int kArenas = 2;
    mallopt(M_ARENA_MAX, kArenas);
#endif
}

// Reserving the space, without touching it, asks exactly what the limit
// allows: it counts what is mapped already, whatever maps it.
std::optional<std::size_t> addressSpaceLimitTooSmallToStart()
{
    void* reserved = mmap(nullptr, kStartUpAddressSpace, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved != MAP_FAILED) {
        munmap(reserved, kStartUpAddressSpace);
        return std::nullopt;
    }
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    return static_cast<std::size_t>(limit.rlim_cur);
}

void endCleanlyWhenMemoryRunsOut()
{
    static const std::terminate_handler previous = std::set_terminate([] {
        try {
            if (const std::exception_ptr exception = std::current_exception())
                std::rethrow_exception(exception);
        } catch (const std::bad_alloc&) {
            systemLog("Ferlow: out of memory");
            std::_Exit(EXIT_FAILURE);
        } catch (...) {
        }
        previous();
    });
}
