#include "platform/system/SystemMemory.h"
#include "tests/support/OffscreenGL.h"
#include "tests/support/ResidentMemory.h"
#include "tests/support/WaitUntil.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <malloc.h>
#include <string>
#include <vector>

// The sanitizers' allocator stands in for glibc's, which is what is tested.
#if !defined(__SANITIZE_ADDRESS__)

namespace {

void keep(void* block)
{
    asm volatile("" : : "r"(block) : "memory");
}

// Each re-recorded terrain list frees driver blocks of many megabytes. A block
// allocated after such a one is freed must still get a mapping of its own;
// glibc's default would have raised the threshold and put it in the heap.
// Measured in a process of its own (a death test that re-runs this program):
// free heap that an earlier test left behind would serve the block anyway.
TEST(SystemMemory, LargeBlocksStayOutOfTheHeapAfterALargerOneIsFreed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ensureGuiApplication();
            void* large = std::malloc(16 << 20);
            keep(large);
            std::free(large);
            const std::size_t mappedBefore = mallinfo2().hblkhd;
            void* next = std::malloc(1 << 20);
            keep(next);
            const std::size_t mapped = mallinfo2().hblkhd - mappedBefore;
            std::free(next);
            std::fprintf(stderr, "a block of 1 MB took %zu bytes of mappings\n", mapped);
            std::_Exit(mapped >= std::size_t(1) << 20 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// A recording's temporaries come from the heap, and blocks allocated after
// it get mappings of their own again.
TEST(SystemMemory, LargeBlocksComeFromTheHeapOnlyWhileARecordingAsksForIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ensureGuiApplication();
            keepLargeBlocksOutOfTheHeap();
            const auto mappedFor = [](std::size_t size) {
                const std::size_t before = mallinfo2().hblkhd;
                void* block = std::malloc(size);
                keep(block);
                const std::size_t mapped = mallinfo2().hblkhd - before;
                std::free(block);
                return mapped;
            };
            std::size_t during = 0;
            {
                const LargeBlocksFromTheHeap recording;
                during = mappedFor(8 << 20);
            }
            const std::size_t after = mappedFor(8 << 20);
            std::fprintf(stderr, "8 MB took %zu bytes of mappings while recording, %zu after\n", during, after);
            std::_Exit(during == 0 && after >= std::size_t(8) << 20 ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// Many small temporaries with a few blocks that outlive them scattered among
// them, as a list recording leaves things: freeing the temporaries cannot
// shrink the heap past the survivors, returning free memory must, at once
// or, when idle, on a thread of its own.
struct Returning {
    const char* name;
    void (*give)();
    bool atOnce;
};

class FreeHeapAmongLiveBlocks : public testing::TestWithParam<Returning> {};

TEST_P(FreeHeapAmongLiveBlocks, GoesBackToTheSystem)
{
    constexpr int kBlocks = 400000; // about 40 MB of heap
    constexpr int kSurvivorEvery = 1024;
    constexpr double kReturnedMegabytes = 20.0;
    std::vector<void*> blocks(kBlocks);
    for (void*& block : blocks) {
        block = std::malloc(96);
        static_cast<char*>(block)[0] = 1;
    }
    std::vector<void*> survivors;
    for (int i = 0; i < kBlocks; ++i) {
        if (i % kSurvivorEvery == kSurvivorEvery - 1)
            survivors.push_back(blocks[i]);
        else
            std::free(blocks[i]);
    }
    const double before = residentMegabytes();
    GetParam().give();
    double after = residentMegabytes();
    const bool returned = GetParam().atOnce
        ? before - after > kReturnedMegabytes
        : waitUntil([&] { return before - (after = residentMegabytes()) > kReturnedMegabytes; });
    EXPECT_TRUE(returned) << before << " MB resident before, " << after << " after";
    for (void* block : survivors)
        std::free(block);
}

INSTANTIATE_TEST_SUITE_P(SystemMemory, FreeHeapAmongLiveBlocks,
                         testing::Values(Returning{"AtOnce", returnFreeMemory, true},
                                         Returning{"WhenIdle", returnFreeMemoryWhenIdle, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

#endif
