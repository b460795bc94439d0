// Language table loading when memory runs out at each allocation in turn:
// every failure is clean (LeakSanitizer checks that nothing is left behind)
// and carries the code the allocation calls for. The table takes its memory
// in a few large blocks, so the number of allocations a load needs is small
// and tables of several sizes put the failure at different pieces.
#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "base/platform.h"
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

// `languages` languages ("L0;1000", ...) and `entries` entries named by
// their index, kind 1; even languages hold numbers, odd ones texts of
// `textLength` bytes. Entry e's value of language l is the text
// "<e>/<l>" padded with '.', or the number e + l.
std::vector<uint8_t> GeneratedTable(unsigned languages, unsigned entries, unsigned textLength)
{
    std::vector<uint8_t> b = {0xCB, 0xF8, 0x23, 0xA7, 0x01, 0x02, 0, 0, 0, 0, 0, (uint8_t)languages};
    auto counted = [&](const std::string &s) {
        b.push_back((uint8_t)s.size());
        b.insert(b.end(), s.begin(), s.end());
    };
    for (unsigned l = 0; l < languages; l++)
        counted("L" + std::to_string(l) + ";" + std::to_string(1000 + l));
    b.push_back(0);
    b.push_back((uint8_t)entries);
    b.push_back((uint8_t)(entries >> 8));
    for (unsigned e = 0; e < entries; e++) {
        counted(std::to_string(e));
        b.push_back(1);
        for (unsigned l = 0; l < languages; l++) {
            if (l % 2 == 0) {
                b.push_back(1);
                b.push_back((uint8_t)(e + l));
                b.push_back((uint8_t)((e + l) >> 8));
            } else {
                std::string text = std::to_string(e) + "/" + std::to_string(l);
                text.resize(textLength > text.size() ? textLength : text.size(), '.');
                b.push_back(0);
                counted(text);
            }
        }
    }
    return b;
}

struct AllocBudget {
    explicit AllocBudget(int n) { HostFailAllocAfter(n); }
    ~AllocBudget() { HostFailAllocAfter(-1); }
};

struct OomRun {
    int allocations = -1;   // that the successful load took
    std::set<int> codes;    // ResLastError of the failed loads
};

// Loads g_bytes with the first n allocations succeeding, n = 0, 1, ..., until
// a load succeeds; every failed load must give no table. The successful one
// must answer `name` (kind 1) in its first language with `want`.
OomRun FailEachAllocationInTurn(const char *name, const char *want)
{
    OomRun run;
    for (int n = 0; n < 200; n++) {
        ResLastError = 0;
        LangTable *t;
        {
            AllocBudget budget(n);
            t = LangTableLoadWith("lib.dll", LANG_LOAD_LIBRARY, Fetch);
        }
        if (t) {
            char text[kLangValueBuffer];
            EXPECT_EQ(LangTableLookup(t, name, 1, text, sizeof text), 1);
            EXPECT_STREQ(text, want);
            LangTableClose(t);
            run.allocations = n;
            return run;
        }
        run.codes.insert(ResLastError);
    }
    ADD_FAILURE() << "the load never succeeded";
    return run;
}

TEST(LangTableOom, EveryAllocationFailureIsClean)
{
    g_bytes = SmallTable();
    OomRun run = FailEachAllocationInTurn("7100", "12");
    // The arena's first block (the table, its entries table, the entries),
    // the first block of the keys, and the resource copy.
    EXPECT_EQ(run.allocations, 3);
    EXPECT_EQ(run.codes, (std::set<int>{0, LANG_ERR_DUPLICATE_KEY}));
}

TEST(LangTableOom, FailuresInsideLargerTablesAreCleanAndCoded)
{
    struct Shape {
        unsigned languages, entries, textLength;
    };
    // The last table takes about 6 MB here.
    const Shape shapes[] = {{1, 3000, 1}, {2, 2500, 3}, {3, 1000, 7}, {7, 2000, 12}, {30, 300, 5}, {30, 6000, 20}};
    std::set<int> codes;
    for (const Shape &s : shapes) {
        SCOPED_TRACE(testing::Message() << s.languages << " x " << s.entries);
        g_bytes = GeneratedTable(s.languages, s.entries, s.textLength);
        OomRun run = FailEachAllocationInTurn("42", "42");
        // Blocks that grow from 32 KB to 1 MB, for the table and for its
        // keys; one block per text would be thousands.
        EXPECT_GT(run.allocations, 3);
        EXPECT_LE(run.allocations, 16);
        codes.insert(run.codes.begin(), run.codes.end());
    }
    // Between them the tables run out at an entry, at a text and at a key.
    EXPECT_EQ(codes, (std::set<int>{0, LANG_ERR_NO_MEMORY_ENTRY, LANG_ERR_DUPLICATE_KEY}));
}

}  // namespace
