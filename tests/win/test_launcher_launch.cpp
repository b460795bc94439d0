// Starting the bootstrap: the command handed to the system, what a failed or
// refused start leaves behind, and an engine module that is already loaded.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/extract.h"
#include "base/ids.h"
#include "launcher/launch.h"
#include "launcher/launch_seam.h"
#include "base/text.h"
#include "tests/win/launcher_test_support.h"

#ifndef CORVANE_TEST_ENGINE_MODULE
#error "CORVANE_TEST_ENGINE_MODULE: path of the CVINSTSE.DLL test module"
#endif

namespace {

class LauncherLaunch : public ::testing::Test {
protected:
    void SetUp() override
    {
        TextCopy(g_launcher.commandLine, kStateTextBuffer, " -fD:\\SETUP.INS");
        options_.forwarded = g_launcher.commandLine;
        options_.scriptPath = g_launcher.scriptPath;
        options_.addZ1 = 1;
    }
    LauncherStateScope state_;
    CommandLineResult options_ = {};
};

TEST_F(LauncherLaunch, FailedStartDeletesTheProgramsOfThisRun)
{
    // The expanded "bootstrap" of the test resources is text, so the system
    // refuses to start it: box 7062, and of the payloads only the companion
    // stays.
    struct { int engineAsExe; const char *dirName; } cases[] = {
        {0, "cvlaunch"}, {1, "cvlaunch"}, {0, "cv launch"}};
    for (auto &c : cases) {
        options_.engineAsExe = c.engineAsExe;
        ScratchDir dir(c.dirName);
        std::string directory = dir.slash();
        ErrorBoxes boxes;
        EXPECT_EQ(IDS_LAUNCH_FAILED, LaunchBootstrap(directory.c_str(), "_INS0366._MP", 1, &options_, 0));
        EXPECT_EQ(0, boxes.Count()) << "the caller shows the box: " << boxes.Describe();
        EXPECT_EQ(std::vector<std::string>{"_INS0166._MP"}, dir.Files()) << c.dirName << " " << c.engineAsExe;

        std::string program = directory + "_INS0366._MP";
        std::string workDir = directory;
        if (directory.find(' ') != std::string::npos) {
            program = "\"" + program + "\"";
            workDir = "\"" + workDir + "\"";
        }
        ASSERT_NE(nullptr, LaunchCommandBlock());
        EXPECT_EQ(program + "  -fD:\\SETUP.INS  -z1 -c -x" + workDir, std::string(LaunchCommandBlock()));
    }
}

TEST_F(LauncherLaunch, WithoutExtractionNothingIsDeleted)
{
    ScratchDir dir;
    for (const char *name : {"_INS0166._MP", "_INS0466._MP"})
        ASSERT_TRUE(WriteWholeFile(dir.file(name), "kept"));
    ErrorBoxes boxes;
    EXPECT_EQ(IDS_LAUNCH_FAILED, LaunchBootstrap(dir.path().c_str(), "_INS0466._MP", 0, &options_, 0))
        << "an empty engine does not start";
    EXPECT_EQ(0, boxes.Count()) << boxes.Describe();
    EXPECT_EQ((std::vector<std::string>{"_INS0166._MP", "_INS0466._MP"}), dir.Files());
}

TEST_F(LauncherLaunch, ACommandThatDoesNotFitIsRefusedNotCut)
{
    // An engine module's directory may be as long as a path gets; with a
    // long forwarded copy the command would pass 768 bytes.
    std::string directory = "C:\\" + std::string(250, 'd');
    std::string longCopy = " -fD:\\" + std::string(250, 'x');
    TextCopy(g_launcher.commandLine, kStateTextBuffer, longCopy.c_str());
    if (LaunchCommandBlock())
        TextCopy(LaunchCommandBlock(), kLaunchCommandBuffer, "stale");
    ErrorBoxes boxes;
    EXPECT_EQ(IDS_LAUNCH_FAILED, LaunchBootstrap(directory.c_str(), "_INS0466._MP", 0, &options_, 0));
    EXPECT_EQ(0, boxes.Count()) << boxes.Describe();
    ASSERT_NE(nullptr, LaunchCommandBlock());
    EXPECT_STREQ("", LaunchCommandBlock()) << "nothing was handed to the system";
}

TEST_F(LauncherLaunch, RunningEngineModule)
{
    char directory[kStateTextBuffer] = "C:\\WORK\\";
    ASSERT_EQ(nullptr, GetModuleHandleA(ENGINE_MODULE));
    EXPECT_EQ(ENGINE_EXTRACT, FindRunningEngine(directory, sizeof directory));
    EXPECT_STREQ("C:\\WORK\\", directory);

    HMODULE engine = LoadLibraryA(CORVANE_TEST_ENGINE_MODULE);
    ASSERT_NE(nullptr, engine) << CORVANE_TEST_ENGINE_MODULE;
    char path[MAX_PATH] = "";
    GetModuleFileNameA(engine, path, sizeof path);
    char expected[MAX_PATH] = "";
    DirectoryPart(path, expected, sizeof expected);

    EXPECT_EQ(ENGINE_RUNNING, FindRunningEngine(directory, sizeof directory));
    EXPECT_STREQ(expected, directory) << "the module's directory, without its backslash";

    // Too small for the engine's directory: extract as usual, untouched.
    char small[8] = "C:\\W\\";
    EXPECT_EQ(ENGINE_EXTRACT, FindRunningEngine(small, sizeof small));
    EXPECT_STREQ("C:\\W\\", small);
    FreeLibrary(engine);
}

}  // namespace
