// Work directory: the free-space rule, the probe file, the drive scan and
// the order of candidates (TEMP, the Windows directory, drive roots).
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "base/text.h"
#include "launcher/workdir.h"
#include "tests/win/launcher_test_support.h"

namespace {

TEST(LauncherWorkDir, FreeSpaceRule)
{
    struct { uint32_t spc, bps, clusters, need; int expected; const char *why; } cases[] = {
        {1, 512, 977, 500000, 1, "500224 bytes > 500000"},
        {1, 512, 976, 500000, 0, "499712 bytes"},
        {8, 512, 1000, 4096000, 0, "exactly the need is not enough"},
        {8, 512, 1000, 4095999, 1, "one byte more than needed"},
        {8, 512, 1048576, 500000, 1, "4 GiB: wraps to 0 in 32 bits"},
        {8, 512, 1048700, 500000, 1, "4 GiB + 507904: wraps to 507904 in 32 bits"},
        {64, 4096, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, "a product past 32 bits"},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 1, "a product past 64 bits"},
        {0, 512, 100, 0, 0, "no bytes at all"},
    };
    for (auto &c : cases)
        EXPECT_EQ(c.expected, FreeSpaceExceeds(c.spc, c.bps, c.clusters, c.need)) << c.why;
}

TEST(LauncherWorkDir, OnlyAPathWithADriveLetterHasFreeSpace)
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(1, HasFreeSpace(windows, 0));
    EXPECT_EQ(1, HasFreeSpace(windows, kWorkDirNeed));
    std::string relativeToDrive = std::string(1, windows[0]) + ":";
    EXPECT_EQ(1, HasFreeSpace(relativeToDrive.c_str(), 0));

    const char *noDrive[] = {"", "C", "\\", "\\\\server\\share\\temp", "temp\\dir", "1:\\", ":\\"};
    for (const char *path : noDrive)
        EXPECT_EQ(0, HasFreeSpace(path, 0)) << "'" << path << "'";

    // A letter with no drive behind it.
    for (char letter = 'Z'; letter >= 'D'; letter--) {
        char root[4] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_NO_ROOT_DIR) {
            EXPECT_EQ(0, HasFreeSpace(root, 0)) << root;
            break;
        }
    }
}

TEST(LauncherWorkDir, ProbeLeavesNothingBehind)
{
    ScratchDir dir;
    EXPECT_EQ(1, ProbeWritable(dir.path().c_str()));
    EXPECT_EQ(1, ProbeWritable(dir.slash().c_str()));
    EXPECT_TRUE(dir.Files().empty());

    ScratchDir blank("cv probe");
    EXPECT_EQ(1, ProbeWritable(blank.path().c_str()));
    EXPECT_TRUE(blank.Files().empty());

    EXPECT_EQ(0, ProbeWritable((dir.path() + "\\no such folder").c_str()));
    // Too long for the probe's buffer: refused, not cut.
    std::string deep = "C:\\" + std::string(255, 'a');
    EXPECT_EQ(0, ProbeWritable(deep.c_str()));
}

TEST(LauncherWorkDir, ScanDrivesTakesTheFirstQualifyingRootInLowerCase)
{
    char out[kPathBuffer] = "unchanged";
    ASSERT_EQ(0, ScanDrives(DRIVE_FIXED, kWorkDirNeed, out, sizeof out));
    ASSERT_EQ(3u, strlen(out));
    EXPECT_TRUE(out[0] >= 'a' && out[0] <= 'z') << out;
    EXPECT_STREQ(":\\", out + 1);
    for (char letter = 'A'; letter < out[0] - 'a' + 'A'; letter++) {
        char root[4] = {letter, ':', '\\', '\0'};
        EXPECT_NE((UINT)DRIVE_FIXED, GetDriveTypeA(root)) << "an earlier fixed drive: " << root;
    }
    char upper[4] = {(char)(out[0] - 'a' + 'A'), ':', '\\', '\0'};
    EXPECT_EQ((UINT)DRIVE_FIXED, GetDriveTypeA(upper));

    // Letters without a drive have no free space: none qualifies.
    char none[kPathBuffer] = "unchanged";
    EXPECT_EQ(-1, ScanDrives(DRIVE_NO_ROOT_DIR, 0, none, sizeof none));
    EXPECT_STREQ("unchanged", none);
}

// Sets TEMP for one case and puts the old value back.
class TempVariable {
public:
    TempVariable()
    {
        DWORD n = GetEnvironmentVariableA("TEMP", old_, sizeof old_);
        had_ = n > 0 && n < sizeof old_;
    }
    ~TempVariable() { SetEnvironmentVariableA("TEMP", had_ ? old_ : nullptr); }
    void Set(const char *value) { SetEnvironmentVariableA("TEMP", value); }

private:
    char old_[1024];
    bool had_ = false;
};

TEST(LauncherWorkDir, CandidatesInOrder)
{
    ScratchDir temp;
    ScratchDir blank("cv temp");
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string missing = temp.path() + "\\missing";
    std::string tooLong = "C:\\" + std::string(300, 'a');
    std::string notADrive = "\\\\server\\share\\temp";

    struct { const char *name; const char *temp; std::string expected; } cases[] = {
        {"TEMP as it is", temp.path().c_str(), temp.path()},
        {"TEMP with a blank", blank.path().c_str(), blank.path()},
        {"TEMP with its backslash", nullptr, ""},  // filled below
        {"TEMP unset", nullptr, windows},
        {"TEMP without a drive letter", notADrive.c_str(), windows},
        {"TEMP names no folder", missing.c_str(), windows},
        {"TEMP longer than a path", tooLong.c_str(), windows},
        {"TEMP empty", "", windows},
    };
    std::string withSlash = temp.slash();
    cases[2].temp = withSlash.c_str();
    cases[2].expected = withSlash;

    TempVariable variable;
    for (auto &c : cases) {
        variable.Set(c.temp);
        char out[kPathBuffer] = "";
        ErrorBoxes boxes;
        EXPECT_EQ(0, SelectWorkDirectory(kWorkDirNeed, out, sizeof out)) << c.name;
        EXPECT_EQ(c.expected, out) << c.name;
        EXPECT_EQ(0, boxes.Count()) << c.name;
    }
    EXPECT_TRUE(temp.Files().empty()) << "probe left behind";
}

}  // namespace
