// Memory blocks and pools: zero-filled, locked global memory that carries its
// own handle; pools that are nominal.
#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <gtest/gtest.h>

#include "base/platform.h"

namespace {

HGLOBAL HeaderHandle(const void *data)
{
    HGLOBAL h;
    memcpy(&h, (const unsigned char *)data - kBlockHeaderSize, sizeof h);
    return h;
}

TEST(LauncherBlocks, EveryPoolIdGivesTheSameKindOfBlock)
{
    const int32_t pools[] = {1, 0, -1, 12345, INT32_MIN, INT32_MAX};
    const uint32_t sizes[] = {0, 1, 263, 70000};
    for (int32_t pool : pools) {
        for (uint32_t size : sizes) {
            unsigned char *data = (unsigned char *)BlockAlloc(pool, size);
            ASSERT_NE(nullptr, data) << "pool " << pool << " size " << size;
            // The header names the object that holds the block, locked once,
            // movable, with room for the header and the data.
            HGLOBAL handle = HeaderHandle(data);
            EXPECT_EQ(handle, GlobalHandle(data - kBlockHeaderSize)) << "pool " << pool << " size " << size;
            // The data keeps the alignment a pointer needs (the arena and the
            // records hold pointers).
            EXPECT_EQ(0u, (uintptr_t)data % sizeof(void *)) << "pool " << pool << " size " << size;
            EXPECT_EQ(1u, GlobalFlags(handle) & GMEM_LOCKCOUNT);
            EXPECT_GE(GlobalSize(handle), (SIZE_T)size + kBlockHeaderSize);
            for (uint32_t i = 0; i < size; i++)
                ASSERT_EQ(0, data[i]) << "byte " << i << " of size " << size;
            memset(data, 0xA5, size);
            EXPECT_EQ(1, BlockFree(pool == 1 ? 77 : pool, data));
        }
    }
}

TEST(LauncherBlocks, SizesThatCannotBeHadGiveNull)
{
    // The header must not wrap the size around to a small request.
    EXPECT_EQ(nullptr, BlockAlloc(1, 0xFFFFFFFFu));
    EXPECT_EQ(nullptr, BlockAlloc(1, 0xFFFFFFFCu));
    EXPECT_EQ(nullptr, BlockAlloc(1, 0xFFFFFFFFu - kBlockHeaderSize + 1));
    // 3.75 GB: never there for a 32-bit process; a 64-bit one may get it, and
    // then whole.
    unsigned char *large = (unsigned char *)BlockAlloc(1, 0xF0000000u);
    if (sizeof(void *) == 4) {
        EXPECT_EQ(nullptr, large);
    }
    if (large) {
        EXPECT_GE(GlobalSize(HeaderHandle(large)), (SIZE_T)0xF0000000u + kBlockHeaderSize);
        EXPECT_EQ(1, BlockFree(1, large));
    }
}

TEST(LauncherBlocks, PoolsAreNominal)
{
    struct { uint32_t sizeHint, flags; } creations[] = {
        {10000, 4099}, {5000, 4099}, {512, 3}, {0, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
    for (auto &c : creations)
        EXPECT_EQ(1, PoolCreate(c.sizeHint, c.flags)) << c.sizeHint << "/" << c.flags;

    // Destroying a pool leaves its blocks as they were.
    char *data = (char *)BlockAlloc(1, 16);
    ASSERT_NE(nullptr, data);
    memcpy(data, "still here", 11);
    EXPECT_EQ(1, PoolDestroy(1));
    EXPECT_EQ(1, PoolDestroy(-1));
    EXPECT_STREQ("still here", data);
    EXPECT_EQ(1u, GlobalFlags(HeaderHandle(data)) & GMEM_LOCKCOUNT);
    EXPECT_EQ(1, BlockFree(1, data));
}

}  // namespace
