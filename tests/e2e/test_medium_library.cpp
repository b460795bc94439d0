// The documented two-language library (docs/examples/library/), built by
// `medium library` with no compiler: the launcher shows its boxes in the
// user's language and its text splash. Runs once per locale (ctest
// e2e.medium_library.*: English, Spanish, and German, which the library does
// not list, so English, its default); CORVANE_E2E_EXPECT_LCID names the
// locale the entry must see, CORVANE_E2E_EXAMPLE_LIBRARY the built library.
#include "tests/e2e/e2e_support.h"

#include <stdlib.h>
#include <string.h>

#include <functional>

namespace {

struct Texts {
    const char *caption;
    const char *scriptMissing;   // 7061, before the path goes in
};

// As the boxes show them, in code page 1252.
const Texts kEnglish = {
    "Example Setup",
    "The installation script could not be found:\n\n%s\n\nMake sure that all files of the installation medium "
    "are present, then run Setup again."};
const Texts kSpanish = {
    "Instalaci\xF3n de Example",
    "No se encontr\xF3 el script de instalaci\xF3n:\n\n%s\n\nCompruebe que est\xE1n todos los archivos del medio "
    "de instalaci\xF3n y vuelva a ejecutar Setup."};

const Texts &RunTexts() { return GetUserDefaultLCID() == 3082 ? kSpanish : kEnglish; }

::testing::AssertionResult ReadyForTheExample(std::string *library) {
    const std::string expected = rig::EnvOr("CORVANE_E2E_EXPECT_LCID", "");
    *library = rig::WinPath(rig::EnvOr("CORVANE_E2E_EXAMPLE_LIBRARY", ""));
    if (expected.empty() || library->empty())
        return ::testing::AssertionFailure() << "CORVANE_E2E_EXPECT_LCID or CORVANE_E2E_EXAMPLE_LIBRARY is not set";
    if (GetUserDefaultLCID() != LCID(strtoul(expected.c_str(), nullptr, 10)))
        return ::testing::AssertionFailure()
               << "user locale " << GetUserDefaultLCID() << ", expected " << expected << " (LC_ALL not followed)";
    if (GetACP() != 1252)
        return ::testing::AssertionFailure() << "ANSI code page " << GetACP() << ", the texts are in 1252";
    return ::testing::AssertionSuccess();
}

TEST(ExampleLibrary, BoxSpeaksTheUsersLanguage) {
    E2E_REQUIRE_LAUNCHER();
    std::string library;
    ASSERT_TRUE(ReadyForTheExample(&library));
    const e2e::Case c = e2e::PrepareCase(e2e::kLauncher);   // no script: box 7061
    ASSERT_TRUE(rig::CopyFileTo(library, c.medium + "_SETUP.DLL"));
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_FALSE(r.launched);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    const Texts &want = RunTexts();
    EXPECT_EQ(r.run.boxes[0].caption, want.caption);
    EXPECT_EQ(r.run.boxes[0].text,
              e2e::FormatBoxText(want.scriptMissing, c.medium + "SETUP.INS/INSTALL.INS"));
}

// Polls the launcher's visible dialog (its splash) and keeps the colour of
// the client pixel (4, 4) once it is `want` (a first look may come before
// the paint).
std::function<bool(const rig::Run &)> CornerWatcher(COLORREF want, COLORREF *corner) {
    return [want, corner](const rig::Run &run) {
        if (run.pid == 0 || *corner != CLR_INVALID)
            return false;
        const HWND dialog = e2e::FindTopWindow(run.pid, "#32770", true);
        if (dialog == nullptr)
            return false;
        RECT rc;
        POINT p = {4, 4};
        if (!GetClientRect(dialog, &rc) || rc.right < 8 || !ClientToScreen(dialog, &p))
            return false;
        HDC screen = GetDC(nullptr);
        const COLORREF seen = GetPixel(screen, p.x, p.y);
        ReleaseDC(nullptr, screen);
        if (seen == want)
            *corner = seen;
        return false;
    };
}

// The splash is the language's logo script: dialog 7501 painted in the
// script's background colour (32, 72, 128).
TEST(ExampleLibrary, ShowsTheTextSplash) {
    E2E_REQUIRE_LAUNCHER();
    std::string library;
    ASSERT_TRUE(ReadyForTheExample(&library));
    const e2e::Case c = e2e::PrepareCase(e2e::kLauncher | e2e::kSetupIns);
    ASSERT_TRUE(rig::CopyFileTo(library, c.medium + "_SETUP.DLL"));

    COLORREF corner = CLR_INVALID;
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    launch.stopWhen = CornerWatcher(RGB(32, 72, 128), &corner);
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    EXPECT_TRUE(r.run.splashSeen);
    EXPECT_EQ(corner, RGB(32, 72, 128)) << "the splash was never seen in the script's background colour";
}

// A bitmap for English (and German, the default), none for Spanish: its
// SPLASH value names no entry. The picture's pixels stand behind a gap in the
// file; the library carries them right after the colour table, or the
// loader would shift them and show red where green belongs.
TEST(BitmapLibrary, ShowsTheLanguagesBitmapOrNone) {
    E2E_REQUIRE_LAUNCHER();
    std::string unused;
    ASSERT_TRUE(ReadyForTheExample(&unused));
    const std::string library = rig::WinPath(rig::EnvOr("CORVANE_E2E_BITMAP_LIBRARY", ""));
    ASSERT_FALSE(library.empty()) << "CORVANE_E2E_BITMAP_LIBRARY is not set";
    const e2e::Case c = e2e::PrepareCase(e2e::kLauncher | e2e::kSetupIns);
    ASSERT_TRUE(rig::CopyFileTo(library, c.medium + "_SETUP.DLL"));

    COLORREF corner = CLR_INVALID;
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    launch.stopWhen = CornerWatcher(RGB(10, 200, 30), &corner);
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    if (GetUserDefaultLCID() == 3082) {
        EXPECT_FALSE(r.run.splashSeen) << "Spanish has no splash";
    } else {
        EXPECT_TRUE(r.run.splashSeen);
        EXPECT_EQ(corner, RGB(10, 200, 30)) << "the splash never showed the picture's green corner";
    }
}

}  // namespace
