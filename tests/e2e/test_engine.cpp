// A setup engine already running (a module named CVINSTSE loaded in the
// launcher): nothing is extracted and the engine file beside that module is
// started. The rig loads such a module into the launcher before it runs.
// Also here: the launcher's library search.
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

struct EngineRow {
    const char *name;
    const char *engineDir;  // folder of CVINSTSE.dll in the case folder
    const char *arguments;
    const char *copy;  // the forwarded copy; {S} is the script path as forwarded
};

// Failure messages name the row.
void PrintTo(const EngineRow &row, std::ostream *os) {
    *os << row.name;
}

std::string ExpandScript(const std::string &text, const Case &c) {
    std::string out = text;
    const std::string script = rig::QuoteIfSpaces(c.medium + "SETUP.INS");
    for (size_t at; (at = out.find("{S}")) != std::string::npos;)
        out.replace(at, 3, script);
    return out;
}

// The engine folder with the module and the engine file; returns its path
// without a trailing backslash, as the launcher takes it from the module.
std::string PrepareEngine(const Case &c, const std::string &dirName) {
    const std::string dir = c.root + dirName;
    EXPECT_TRUE(rig::MakeDirs(dir));
    EXPECT_TRUE(rig::CopyFileTo(e2e::Files().plant, rig::JoinPath(dir, "CVINSTSE.dll")));
    EXPECT_TRUE(rig::CopyFileTo(e2e::Files().bootstrap, rig::JoinPath(dir, e2e::kEngineFile)));
    return dir;
}

::testing::AssertionResult EngineDirUntouched(const std::string &dir) {
    return e2e::HoldsExactly(dir, {{"CVINSTSE.dll", e2e::Files().plant},
                                   {e2e::kEngineFile, e2e::Files().bootstrap}});
}

class EngineTable : public ::testing::TestWithParam<EngineRow> {};

TEST_P(EngineTable, StartsTheEngineBesideTheModuleWithoutExtracting) {
    E2E_REQUIRE_LAUNCHER();
    const EngineRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::string engineDir = PrepareEngine(c, row.engineDir);
    e2e::Launch launch;
    launch.arguments = row.arguments;
    launch.injectDlls.push_back(rig::JoinPath(engineDir, "CVINSTSE.dll"));
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);

    e2e::Command expected;
    expected.directory = engineDir;  // no trailing backslash, also after -x
    expected.file = e2e::kEngineFile;  // also with -e
    expected.copy = ExpandScript(row.copy, c);
    EXPECT_EQ(r.report.at("module"), rig::JoinPath(engineDir, e2e::kEngineFile));
    EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {})) << "nothing is extracted";
    EXPECT_TRUE(EngineDirUntouched(engineDir));
}

const EngineRow kEngineRows[] = {
    {"Plain", "engine", "-s", "-s -f{S}"},
    {"EngineAsExeStillStartsTheMpFile", "engine", "-s -e", "-s -e -f{S}"},
    {"EngineFolderWithABlank", "my engine", "-s", "-s -f{S}"},
};
INSTANTIATE_TEST_SUITE_P(RunningEngine, EngineTable, ::testing::ValuesIn(kEngineRows),
                         [](const ::testing::TestParamInfo<EngineRow> &p) { return std::string(p.param.name); });

// The launch command has a fixed room of 768 bytes. A deep engine folder
// with a blank (its path is taken from the module, so it may be long) and a
// long argument make a command of exactly 767 characters, launched whole, or
// 768, refused with box 7062 and never cut. Nothing was extracted, so
// nothing is deleted.
class CommandRoom : public ::testing::TestWithParam<size_t> {};

TEST_P(CommandRoom, ACommandIsLaunchedWholeOrRefused) {
    E2E_REQUIRE_LAUNCHER();
    const size_t total = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    // The module's full path (folder + "\CVINSTSE.dll") just within MAX_PATH.
    const size_t dirLength = 246;
    ASSERT_LT(c.root.size() + 10, dirLength);
    const std::string engineDir =
        PrepareEngine(c, e2e::FillerName(dirLength - c.root.size(), true));
    ASSERT_EQ(engineDir.size(), dirLength);

    // Quoted program + " " + copy + " " + " -z1" + " -c" + " -x" + quoted folder.
    const size_t fixed = (dirLength + 1 + 12 + 2) + 1 + 1 + 4 + 3 + 3 + (dirLength + 2);
    const std::string scriptPart = " -f" + rig::QuoteIfSpaces(c.medium + "SETUP.INS");
    ASSERT_GT(total, fixed + scriptPart.size() + 3);
    const size_t argumentsLength = total - fixed - scriptPart.size();
    ASSERT_LE(argumentsLength + scriptPart.size(), 262u) << "the copy must fit its own buffer";
    const std::string arguments = "-s " + std::string(argumentsLength - 3, 'y');

    e2e::Launch launch;
    launch.arguments = arguments;
    launch.injectDlls.push_back(rig::JoinPath(engineDir, "CVINSTSE.dll"));
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;

    e2e::Command expected;
    expected.directory = engineDir;
    expected.file = e2e::kEngineFile;
    expected.copy = arguments + scriptPart;
    const std::string command = e2e::ExpectedCommand(expected);
    ASSERT_EQ(command.size(), total);
    EXPECT_EQ(r.run.exitCode, total <= 767 ? 0u : 7062u) << e2e::Describe(r);
    if (total <= 767) {
        EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
        ASSERT_TRUE(r.launched) << e2e::Describe(r);
        EXPECT_EQ(r.report.at("cmdline"), command);
    } else {
        EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
        EXPECT_FALSE(r.launched) << e2e::Describe(r);
        ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
        EXPECT_EQ(r.run.boxes[0].caption, e2e::ExpectedCaption(c));
        EXPECT_EQ(r.run.boxes[0].text, e2e::ExpectedText(c, 7062));
    }
    EXPECT_TRUE(EngineDirUntouched(engineDir));
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {}));
}
INSTANTIATE_TEST_SUITE_P(RunningEngine, CommandRoom, ::testing::Values(767u, 768u),
                         [](const ::testing::TestParamInfo<size_t> &p) {
                             return "Needs" + std::to_string(p.param) + "Characters";
                         });

// A library planted beside the launcher (a downloads folder) or in its
// current directory is not found by a bare-name load once the launcher runs.
// The probe tries such loads from inside the launcher while its main window
// is being created; the full path load shows that the file is loadable.
TEST(Hardening, ALibraryPlantedBesideTheLauncherIsNotLoadedByName) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::string besideLauncher = c.medium + "corvane_planted.dll";
    const std::string inCurrentDir = c.root + "corvane_cwd.dll";
    ASSERT_TRUE(rig::CopyFileTo(e2e::Files().plant, besideLauncher));
    ASSERT_TRUE(rig::CopyFileTo(e2e::Files().plant, inCurrentDir));
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.injectDlls.push_back(e2e::Files().probe);
    launch.env["CORVANE_PROBE_PLANT"] = "corvane_planted.dll;corvane_cwd.dll;" + besideLauncher;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_GT(std::max(r.HookCount("GetDiskFreeSpaceA"), r.HookCount("GetDiskFreeSpaceExA")), 0)
        << "the launcher imports no free-space query the probe could use" << e2e::Describe(r);
    const std::vector<std::string> lines = r.ProbeLinesStartingWith("plant ");
    ASSERT_EQ(lines.size(), 3u) << e2e::Describe(r);
    EXPECT_EQ(lines[0], "plant corvane_planted.dll absent");
    EXPECT_EQ(lines[1], "plant corvane_cwd.dll absent");
    EXPECT_EQ(lines[2], "plant " + besideLauncher + " loaded");
}

}  // namespace
