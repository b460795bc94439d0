// Start-up checks: the script (with the INSTALL.INS fallback unless -f named
// it) and the resource library.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ids.h"
#include "launcher/startup.h"
#include "base/text.h"
#include "resmodule/resmodule.h"
#include "tests/win/launcher_test_support.h"

namespace {

TEST(LauncherStartup, ScriptExists)
{
    struct { std::vector<const char *> files; const char *script; int scriptGiven; int expected; const char *why; } cases[] = {
        {{"SETUP.INS"}, "SETUP.INS", 0, 1, "the script itself"},
        {{"INSTALL.INS"}, "SETUP.INS", 0, 1, "INSTALL.INS beside it will do"},
        {{"INSTALL.INS"}, "A.INS", 1, 0, "not for a script named by -f"},
        {{"A.INS"}, "A.INS", 1, 1, "a script named by -f"},
        {{}, "SETUP.INS", 0, 0, "neither"},
        {{"SUB"}, "SUB", 1, 1, "a directory of that name counts"},
    };
    for (auto &c : cases) {
        LauncherStateScope state;
        ScratchDir dir;
        for (const char *name : c.files) {
            if (std::string(name) == "SUB")
                CreateDirectoryA(dir.file(name).c_str(), nullptr);
            else
                ASSERT_TRUE(WriteWholeFile(dir.file(name), "script"));
        }
        EXPECT_EQ(c.expected, ScriptExists(dir.file(c.script).c_str(), c.scriptGiven)) << c.why;
        RemoveDirectoryA(dir.file("SUB").c_str());
    }
}

TEST(LauncherStartup, ResourceLibraryCheck)
{
    struct { std::vector<const char *> files; int expected; const char *why; } cases[] = {
        {{"_SETUP.DLL", "SETUP.INS"}, 0, "library present"},
        {{"INSTALL.INS"}, 0, "INSTALL.INS stands in for a missing library"},
        {{"SETUP.INS"}, IDS_LIBRARY_MISSING, "library missing"},
        {{}, IDS_LIBRARY_MISSING, "empty folder"},
    };
    for (auto &c : cases) {
        LauncherStateScope state;
        ScratchDir dir;
        for (const char *name : c.files)
            ASSERT_TRUE(WriteWholeFile(dir.file(name), "x"));
        TextCopy(g_launcher.sourceDir, kStateTextBuffer, dir.slash().c_str());
        ErrorBoxes boxes;
        EXPECT_EQ(c.expected, CheckResourceLibrary()) << c.why;
        EXPECT_EQ(0, boxes.Count()) << c.why << ": the caller shows the box: " << boxes.Describe();
        ResModuleClose();
    }
}

}  // namespace
