// LangTableLoad from real resource-only libraries (tests/fixtures/langtable),
// built around a table that the langtable tool compiled.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "resmodule/langtable.h"

namespace {

std::string Fixture(const char *name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
    std::string dir(path, n);
    dir.erase(dir.find_last_of("\\/") + 1);
    return dir + "fixtures\\langtable\\" + name;
}

struct Closer {
    void operator()(LangTable *t) const { LangTableClose(t); }
};
using TablePtr = std::unique_ptr<LangTable, Closer>;

std::string Lookup(const LangTable *t, const char *name, int kind)
{
    char text[kLangValueBuffer];
    return LangTableLookup(t, name, kind, text, sizeof text) ? text : "<none>";
}

TEST(LangTableLoadWin, ReadsTheTableOfAResourceOnlyLibrary)
{
    ResLastError = 0;
    TablePtr t(LangTableLoad(Fixture("LANGFIX.DLL").c_str(), LANG_LOAD_LIBRARY));
    ASSERT_NE(t, nullptr) << Fixture("LANGFIX.DLL");
    EXPECT_EQ(ResLastError, 0);
    EXPECT_EQ(t->languageCount, 3);
    EXPECT_STREQ(t->languageNames[2], "Klingon");
    EXPECT_EQ(t->defaultLanguage, 1);
    EXPECT_EQ(LangTableSplashType(t.get()), 4);
    EXPECT_EQ(t->entries->itemCount, 4u);

    // The resource module's choice for locale 2057: English, through the
    // trimmed second item; Klingon lists 1033 too but is not eligible.
    char name[kLangNameBuffer];
    ASSERT_EQ(LangTableMatchLcid(t.get(), "2057", name, sizeof name), 1);
    EXPECT_STREQ(name, "English");
    ASSERT_EQ(LangTableSelect(t.get(), name), 1);
    EXPECT_EQ(Lookup(t.get(), "7100", 1), "12");
    EXPECT_EQ(Lookup(t.get(), "7100", 2), "7500");
    EXPECT_EQ(Lookup(t.get(), "SPLASH", 6), "LOGO");
    EXPECT_EQ(Lookup(t.get(), "LOGO", 4), "Bild");

    ASSERT_EQ(LangTableMatchLcid(t.get(), "1041", name, sizeof name), 0);
    ASSERT_EQ(LangTableDefaultName(t.get(), name, sizeof name), 1);
    ASSERT_EQ(LangTableSelect(t.get(), name), 1);
    EXPECT_EQ(Lookup(t.get(), "7100", 1), "13");
}

TEST(LangTableLoadWin, FailuresLeaveTheLauncherOnItsOwn)
{
    struct Case {
        const char *what;
        std::string path;
        int error;   // ResLastError afterwards
    };
    const Case cases[] = {
        {"table cut short", Fixture("TRUNCFIX.DLL"), LANG_ERR_TRUNCATED},
        {"library without a table", Fixture("NOTABLE.DLL"), 0},
        {"no such file", Fixture("MISSING.DLL"), 0},
        {"a directory", Fixture(""), 0},
        {"a path that is too long", Fixture("LANGFIX.DLL") + std::string(300, 'x'), 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ResLastError = 0;
        EXPECT_EQ(LangTableLoad(c.path.c_str(), LANG_LOAD_LIBRARY), nullptr);
        EXPECT_EQ(ResLastError, c.error);
    }
    // Flags that choose no library never touch the file.
    TablePtr empty(LangTableLoad(Fixture("MISSING.DLL").c_str(), 4));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->languageCount, 0);
}

TEST(LangTableLoadWin, TheLibraryEntryPointNeverRuns)
{
    SetEnvironmentVariableA("CORVANE_DLLMAIN_RAN", nullptr);
    TablePtr t(LangTableLoad(Fixture("RUNSCODE.DLL").c_str(), LANG_LOAD_LIBRARY));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->languageCount, 3);
    char mark[8];
    EXPECT_EQ(GetEnvironmentVariableA("CORVANE_DLLMAIN_RAN", mark, sizeof mark), 0u);
    // The library is released again after the copy.
    EXPECT_EQ(GetModuleHandleA(Fixture("RUNSCODE.DLL").c_str()), nullptr);

    // The check is real: loading it as code does run it.
    HMODULE module = LoadLibraryA(Fixture("RUNSCODE.DLL").c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetEnvironmentVariableA("CORVANE_DLLMAIN_RAN", mark, sizeof mark), 0u);
    FreeLibrary(module);
    SetEnvironmentVariableA("CORVANE_DLLMAIN_RAN", nullptr);
}

}  // namespace
