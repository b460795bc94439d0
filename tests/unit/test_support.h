// Helpers shared by the unit tests of both builds.
#pragma once

#include <gtest/gtest.h>

#include "base/platform.h"

#ifdef CORVANE_HOST
// Switches the native build to code page 932 for one test.
struct CodePage932 {
    CodePage932() { HostSetCodePage(932); }
    ~CodePage932() { HostSetCodePage(1252); }
    bool active() const { return true; }
};
#else
#include <windows.h>
// Under Wine the code page follows LC_ALL; the cp932 ctest entry sets it.
struct CodePage932 {
    bool active() const { return GetACP() == 932; }
};
#endif

#define REQUIRE_CP932(cp)                                                  \
    do {                                                                   \
        if (!(cp).active())                                                \
            GTEST_SKIP() << "needs code page 932 (run with LC_ALL=ja_JP.UTF-8)"; \
    } while (0)
