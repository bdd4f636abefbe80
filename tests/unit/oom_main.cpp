// Out of memory while the menu texts are built: the host must get 0, never
// the exception. This executable replaces the global array allocation so a
// test can make the module's next one fail.
#include <stdlib.h>

#include <atomic>
#include <new>

#include "tests/unit/plugin_fixture.h"

static std::atomic<int> failArrayAllocationsAfter{-1};

void* operator new[](size_t size) {
    int left = failArrayAllocationsAfter.load();
    if (left == 0) throw std::bad_alloc();
    if (left > 0) failArrayAllocationsAfter = left - 1;
    if (void* block = malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void operator delete[](void* block) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }

namespace {

TEST(EnumerateOutOfMemory, AnswersZeroInsteadOfThrowing) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (int failAt = 0; failAt < 3; ++failAt) {
        MenuItemRecord record;
        memset(&record, 0, sizeof record);
        failArrayAllocationsAfter = failAt;
        int16_t result = plugin.Enumerate(nullptr, 0, &record);
        failArrayAllocationsAfter = -1;
        EXPECT_EQ(result, 0) << "failing allocation " << failAt;
        EXPECT_EQ(record.itemWord, 0u);
    }
    MenuItemRecord record;
    EXPECT_EQ(plugin.Enumerate(nullptr, 0, &record), 1);
    EXPECT_EQ(record.itemWord, 0x10000u);
}

}  // namespace
