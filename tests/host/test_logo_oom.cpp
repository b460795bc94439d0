// Out-of-memory paths of the ordered list and the logo reader (native build:
// HostFailAllocAfter). LeakSanitizer checks that a failed step keeps nothing.
#include <gtest/gtest.h>

#include <stdio.h>

#include <filesystem>
#include <random>
#include <string>

#include "base/platform.h"
#include "base/text.h"
#include "splash/logo.h"
#include "splash/orderedlist.h"
#include "splash/splash_state.h"

namespace {

struct AllocBudget {
    explicit AllocBudget(int n) { HostFailAllocAfter(n); }
    ~AllocBudget() { HostFailAllocAfter(-1); }
};

TEST(OrderedListOom, FailedStepsLeaveTheListAsItWas)
{
    {
        AllocBudget none(0);
        EXPECT_EQ(ListCreate(kListItemText), nullptr);
    }
    OrderedList *list = ListCreate(kListItemText);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(ListInsertCopy(list, "a"));
    {
        AllocBudget none(0);   // no copy
        EXPECT_EQ(ListInsertCopy(list, "b"), 0);
    }
    {
        AllocBudget copyOnly(1);   // the copy, then no node: the copy goes back
        EXPECT_EQ(ListInsertCopy(list, "b"), 0);
    }
    EXPECT_EQ(list->count, 1);
    ASSERT_TRUE(ListInsertCopy(list, "c"));
    EXPECT_STREQ((const char *)ListFirst(list), "a");
    EXPECT_STREQ((const char *)ListNext(list), "c");
    EXPECT_EQ(ListNext(list), nullptr);
    ListDestroy(list);

    OrderedList *pointers = ListCreate(kListItemPointer);
    ASSERT_NE(pointers, nullptr);
    int value = 0;
    {
        AllocBudget none(0);
        EXPECT_EQ(ListInsertPointer(pointers, &value), 0);
    }
    EXPECT_EQ(pointers->count, 0);
    EXPECT_EQ(ListFirst(pointers), nullptr);
    ListDestroy(pointers);
}

TEST(LogoOom, ParseFailureLeavesTheRawLinesToTheCaller)
{
    OrderedList *raw = ListCreate(kListItemText);
    ASSERT_NE(raw, nullptr);
    ASSERT_TRUE(ListInsertCopy(raw, "one"));
    ASSERT_TRUE(ListInsertCopy(raw, "two"));
    for (int budget = 0; budget < 4; budget++) {
        SCOPED_TRACE(budget);
        AllocBudget b(budget);   // the record list, then records and nodes
        EXPECT_EQ(LogoParse(raw), nullptr);
        EXPECT_EQ(raw->count, 2);
        EXPECT_STREQ((const char *)ListFirst(raw), "one");
    }
    OrderedList *records = LogoParse(raw);   // takes the raw lines on success
    ASSERT_NE(records, nullptr);
    EXPECT_EQ(records->count, 2);
    LogoFree(records);
}

TEST(LogoOom, EveryFailedAllocationGivesNone)
{
    SplashState saved = g_splash;
    std::random_device random;
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("corvane-oom-" + std::to_string(random()) + ".lgo");
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("#background=0,0,128\n<Arial,24>Corvane\n\nlast\n", f);
    fclose(f);
    char logoPath[kPathBuffer];
    TextCopy(logoPath, sizeof logoPath, path.c_str());
    g_splash.logoPath = logoPath;
    g_splash.sourceDir = nullptr;

    // Fail the first, second, ... allocation until the read goes through.
    int budget = 0;
    OrderedList *lines = nullptr;
    for (; budget < 100; budget++) {
        AllocBudget b(budget);
        lines = LogoRead();
        if (lines)
            break;
    }
    ASSERT_NE(lines, nullptr);
    // Raw list, 4 copies and nodes, record list, 4 records and nodes.
    EXPECT_EQ(budget, 1 + 8 + 1 + 8);
    EXPECT_EQ(lines->count, 4);
    LogoFree(lines);

    g_splash = saved;
    std::filesystem::remove(path);
}

}  // namespace
