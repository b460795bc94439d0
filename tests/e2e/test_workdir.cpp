// Where the payloads go: TEMP when it names a writable folder on a drive
// with more than 500000 bytes free, else the Windows directory, else the
// first such fixed drive root; and box 7063 when no place qualifies.
// These cases write into the Windows directory, which they share: their
// ctest entry holds a lock on it, and each case clears the launcher's files
// there before and after.
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

enum Place { kTemp, kWindowsDir, kFirstFixedDrive };

struct WorkDirRow {
    const char *name;
    const char *temp;  // TEMP value; nullptr: unset; "{C}" the case folder; "{Q}" the small drive
    std::map<std::string, std::string> probe;  // probe settings; the probe is loaded when not empty
    Place expected;
};

// Failure messages name the row.
void PrintTo(const WorkDirRow &row, std::ostream *os) {
    *os << row.name;
}

std::string Expand(const std::string &text, const Case &c) {
    std::string out = text;
    for (size_t at; (at = out.find("{C}")) != std::string::npos;)
        out.replace(at, 3, c.root);
    const std::string drive = rig::EnvOr("CORVANE_E2E_SMALL_DRIVE", "Q") + ":\\";
    for (size_t at; (at = out.find("{Q}")) != std::string::npos;)
        out.replace(at, 3, drive);
    return out;
}

// Free bytes of a drive root as the launcher would see them, or -1.
long long FreeBytes(const std::string &root) {
    DWORD sectors = 0, bytes = 0, freeClusters = 0, total = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters, &total))
        return -1;
    return (long long)sectors * bytes * freeClusters;
}

class WorkDirectoryFiles : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteLauncherFilesIn(e2e::WindowsDirectory());
        e2e::DeleteLauncherFilesIn("c:\\");
    }
    void TearDown() override {
        e2e::DeleteLauncherFilesIn(e2e::WindowsDirectory());
        e2e::DeleteLauncherFilesIn("c:\\");
    }
};

class WorkDirTable : public WorkDirectoryFiles, public ::testing::WithParamInterface<WorkDirRow> {};

TEST_P(WorkDirTable, ThePayloadsGoToTheFirstPlaceThatQualifies) {
    E2E_REQUIRE_LAUNCHER();
    const WorkDirRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    e2e::Launch launch;
    launch.arguments = "-s";
    if (row.temp == nullptr) {
        launch.unsetEnv.push_back("TEMP");
    } else {
        launch.env["TEMP"] = Expand(row.temp, c);
    }
    if (std::string(row.temp ? row.temp : "").find("{Q}") != std::string::npos) {
        const std::string drive = Expand("{Q}", c);
        const long long free = FreeBytes(drive);
        if (free < 0 || free > 500000)
            GTEST_SKIP() << "no small drive " << drive << " (free: " << free
                         << "); tests/e2e/small-drive.sh maps one where mounting a tmpfs is allowed";
    }
    if (!row.probe.empty()) {
        launch.injectDlls.push_back(e2e::Files().probe);
        for (const auto &kv : row.probe)
            launch.env[kv.first] = kv.second;
    }
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    for (const auto &kv : row.probe) {
        if (kv.first == "CORVANE_PROBE_FREE") {
            EXPECT_GT(std::max(r.HookCount("GetDiskFreeSpaceA"), r.HookCount("GetDiskFreeSpaceExA")), 0)
                << "the launcher imports no free-space query the probe could replace" << e2e::Describe(r);
        }
        if (kv.first == "CORVANE_PROBE_NO_WINDIR") {
            EXPECT_GT(std::max(r.HookCount("GetWindowsDirectoryA"), r.HookCount("GetWindowsDirectoryW")), 0)
                << "the launcher imports no Windows directory query the probe could replace" << e2e::Describe(r);
        }
    }
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);

    const std::string work = row.expected == kTemp         ? c.temp
                             : row.expected == kWindowsDir ? e2e::WindowsDirectory()
                                                           : std::string("c:\\");
    e2e::Command expected;
    expected.directory = work;
    expected.copy = "-s -f" + rig::QuoteIfSpaces(c.medium + "SETUP.INS");
    EXPECT_EQ(r.report.at("module"), work + e2e::kBootstrapFile);
    EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));

    const e2e::Originals &f = e2e::Files();
    const std::map<std::string, std::string> payloads = {
        {e2e::kBootstrapFile, f.bootstrap}, {e2e::kEngineFile, f.engine}, {e2e::kCompanionFile, f.companion}};
    if (row.expected == kTemp) {
        EXPECT_TRUE(e2e::HoldsExactly(c.temp, payloads));
    } else {
        EXPECT_TRUE(e2e::HoldsExactly(c.temp, {})) << "TEMP was passed over";
        for (const auto &kv : payloads) {
            std::string got, want;
            EXPECT_TRUE(rig::ReadBytes(work + kv.first, got)) << work + kv.first;
            EXPECT_TRUE(rig::ReadBytes(kv.second, want));
            EXPECT_TRUE(got == want) << work + kv.first << " differs from " << kv.second;
        }
        EXPECT_FALSE(rig::Exists(work + "_INS0566._MP")) << "the probe file stayed";
        EXPECT_FALSE(rig::Exists(work + "_INS0166.TMP")) << "a piece file stayed";
    }
}

const WorkDirRow kWorkDirRows[] = {
    {"TempUnset", nullptr, {}, kWindowsDir},
    {"TempIsANetworkPath", "\\\\corvane-nohost\\share\\temp", {}, kWindowsDir},
    {"TempIsRelative", "relative\\temp", {}, kWindowsDir},
    {"TempFolderDoesNotExist", "{C}missing", {}, kWindowsDir},
    {"TempOnASmallDrive", "{Q}", {}, kWindowsDir},
    // The bound itself, with the free space the probe makes the drive report.
    {"TempOnADriveWithExactly500000BytesFree", "{C}temp", {{"CORVANE_PROBE_FREE", "Z=500000"}}, kWindowsDir},
    {"TempOnADriveWith500001BytesFree", "{C}temp", {{"CORVANE_PROBE_FREE", "Z=500001"}}, kTemp},
    // Neither TEMP nor the Windows directory: the fixed drives from a to z,
    // taken as a lower-case root.
    {"NoTempAndNoWindowsDirectory", nullptr, {{"CORVANE_PROBE_NO_WINDIR", "1"}}, kFirstFixedDrive},
};
INSTANTIATE_TEST_SUITE_P(WorkDirectory, WorkDirTable, ::testing::ValuesIn(kWorkDirRows),
                         [](const ::testing::TestParamInfo<WorkDirRow> &p) { return std::string(p.param.name); });

// No place qualifies (every free-space query fails): box 7063, no launch,
// nothing written anywhere.
TEST_F(WorkDirectoryFiles, NoPlaceQualifies) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.injectDlls.push_back(e2e::Files().probe);
    launch.env["CORVANE_PROBE_FREE"] = "*=fail";
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_GT(std::max(r.HookCount("GetDiskFreeSpaceA"), r.HookCount("GetDiskFreeSpaceExA")), 0)
        << e2e::Describe(r);
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7063u);
    EXPECT_FALSE(r.launched) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].caption, e2e::ExpectedCaption(c));
    EXPECT_EQ(r.run.boxes[0].text, e2e::ExpectedText(c, 7063));
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {}));
    EXPECT_TRUE(e2e::LauncherFilesIn(e2e::WindowsDirectory()).empty());
    EXPECT_TRUE(e2e::LauncherFilesIn("c:\\").empty());
}

}  // namespace
