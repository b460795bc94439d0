// Language table loading when memory runs out at each allocation in turn:
// every failure is clean (LeakSanitizer checks that nothing is left behind)
// and carries the code the allocation calls for.
#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "base/platform.h"
#include "base/state.h"
#include "resmodule/langtable.h"

namespace {

std::vector<uint8_t> g_bytes;

unsigned char *Fetch(const char *libraryPath, int32_t pool, uint32_t *sizeOut)
{
    (void)libraryPath;
    unsigned char *copy = (unsigned char *)BlockAlloc(pool, (uint32_t)g_bytes.size() + 2u);
    if (copy)
        memcpy(copy, g_bytes.data(), g_bytes.size());
    *sizeOut = (uint32_t)g_bytes.size();
    return copy;
}

// Two languages, two entries: one of each value type.
std::vector<uint8_t> SmallTable()
{
    const unsigned char bytes[] = {
        0xCB, 0xF8, 0x23, 0xA7, 0x01, 0x02, 0, 0, 5, 0, 0, 2,
        6, 'E', ';', '1', '0', '3', '3',
        6, 'D', ';', '1', '0', '3', '1',
        0, 2, 0,
        4, '7', '1', '0', '0', 1, 1, 12, 0, 1, 13, 0,
        4, 'L', 'O', 'G', 'O', 5, 0, 2, 'e', 'n', 9, 2, 'd', 'e',
    };
    return std::vector<uint8_t>(bytes, bytes + sizeof bytes);
}

struct AllocBudget {
    explicit AllocBudget(int n) { HostFailAllocAfter(n); }
    ~AllocBudget() { HostFailAllocAfter(-1); }
};

TEST(LangTableOom, EveryAllocationFailureIsClean)
{
    g_bytes = SmallTable();
    std::set<int> codes;
    int n = 0;
    for (;; n++) {
        ASSERT_LT(n, 100) << "the load never succeeded";
        ResLastError = 0;
        LangTable *t;
        {
            AllocBudget budget(n);
            t = LangTableLoadWith("lib.dll", LANG_LOAD_LIBRARY, Fetch);
        }
        if (t) {
            char text[kLangValueBuffer];
            EXPECT_EQ(LangTableLookup(t, "LOGO", 5, text, sizeof text), 1);
            EXPECT_STREQ(text, "en");
            LangTableClose(t);
            break;
        }
        codes.insert(ResLastError);
    }
    // Table, entries table, resource copy, then per entry: the entry, its
    // name, two values, the node and the key.
    EXPECT_EQ(n, 3 + 2 * 6);
    EXPECT_EQ(codes, (std::set<int>{0, LANG_ERR_NO_MEMORY_ENTRY, LANG_ERR_DUPLICATE_KEY}));
}

}  // namespace
