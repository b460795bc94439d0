// Start-up hardening: once the library search is restricted, a library
// planted beside the program is no longer loaded by name. Checked in a copy
// of this test program started from a scratch folder (the restriction lasts
// for the process, so it must not reach the other tests).
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "launcher/startup.h"
#include "tests/win/launcher_test_support.h"

#ifndef CORVANE_TEST_ENGINE_MODULE
#error "CORVANE_TEST_ENGINE_MODULE: path of a resource-only test library"
#endif

namespace {

const char kChildVariable[] = "CORVANE_HARDENING_CHILD";

bool IsChild()
{
    char value[8] = "";
    return GetEnvironmentVariableA(kChildVariable, value, sizeof value) > 0;
}

TEST(LauncherHardening, PlantedLibraryIsNotLoadedByName)
{
    if (IsChild())
        GTEST_SKIP() << "runs in the parent only";
    ScratchDir dir;
    char self[MAX_PATH] = "";
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_TRUE(n > 0 && n < sizeof self);
    ASSERT_TRUE(CopyFileA(self, dir.file("child.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(CORVANE_TEST_ENGINE_MODULE, dir.file("cvplanted.dll").c_str(), FALSE));

    // Started in the Windows directory, so only the program's own folder
    // could supply the planted library.
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string command = "\"" + dir.file("child.exe") + "\" --gtest_filter=LauncherHardeningChild.*";
    SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, windows, &si, &pi);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    ASSERT_TRUE(started) << GetLastError();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 60000));
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(0u, code) << "the child's checks failed";
    EXPECT_TRUE(Exists(dir.file("ran"))) << "the child did not run its checks";
}

TEST(LauncherHardeningChild, Checks)
{
    if (!IsChild())
        GTEST_SKIP() << "runs in the child only";
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string folder = self;
    folder.resize(folder.rfind('\\') + 1);
    WriteWholeFile(folder + "ran", "1");

    // Without the restriction the planted library is found beside the program.
    HMODULE planted = LoadLibraryA("cvplanted.dll");
    ASSERT_NE(nullptr, planted);
    FreeLibrary(planted);
    ASSERT_EQ(nullptr, GetModuleHandleA("cvplanted.dll"));

    HardenLibrarySearch();
    planted = LoadLibraryA("cvplanted.dll");
    EXPECT_EQ(nullptr, planted) << "loaded from beside the program";
    if (planted)
        FreeLibrary(planted);
    HMODULE system = LoadLibraryA("version.dll");
    EXPECT_NE(nullptr, system) << "system libraries still load";
    if (system)
        FreeLibrary(system);
}

}  // namespace
