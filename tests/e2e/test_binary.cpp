// What the launcher's file itself promises.
#include "tests/e2e/e2e_support.h"

#include <algorithm>

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return char(tolower(ch)); });
    return text;
}

// Exactly KERNEL32, USER32 and GDI32: libraries that the system always loads
// from its own directory, so a library planted beside the launcher is never
// loaded by name; no C runtime (the launcher links none); the LZ calls come
// from KERNEL32, not LZ32.
TEST(Binary, TheLauncherImportsOnlyLibrariesTheSystemLoadsFromItsOwnDirectory) {
    E2E_REQUIRE_LAUNCHER();
    std::vector<std::string> normal, delayed;
    std::string error;
    ASSERT_TRUE(rig::ReadImports(e2e::Files().setup, normal, delayed, error)) << error;
    std::vector<std::string> lower;
    for (const std::string &name : normal)
        lower.push_back(Lower(name));
    std::sort(lower.begin(), lower.end());
    EXPECT_EQ(lower, (std::vector<std::string>{"gdi32.dll", "kernel32.dll", "user32.dll"}));
    EXPECT_TRUE(delayed.empty()) << "setup.exe delay-loads " << (delayed.empty() ? "" : delayed[0]);
}

TEST(Binary, TheImportReaderSeesAProgramsLibraries) {
    // The reader itself, on a program known to import more than KERNEL32.
    std::vector<std::string> normal, delayed;
    std::string error;
    ASSERT_TRUE(rig::ReadImports(e2e::Files().boxDemo, normal, delayed, error)) << error;
    std::vector<std::string> lower;
    for (const std::string &name : normal)
        lower.push_back(Lower(name));
    EXPECT_NE(std::find(lower.begin(), lower.end(), "user32.dll"), lower.end());
    EXPECT_NE(std::find(lower.begin(), lower.end(), "kernel32.dll"), lower.end());
}

}  // namespace
