// The launch: the exact command line the bootstrap receives, where it runs
// from, and the payload files expanded beside it, byte for byte.
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

struct LaunchRow {
    const char *name;
    int content;
    const char *mediumDir;
    const char *arguments;
    const char *copy;  // the forwarded copy; {S} script path as forwarded, {M} medium folder
    bool z1;
    bool engineAsExe;
    bool tempWithBackslash;  // TEMP given with its trailing backslash
    std::map<UINT, std::string> patch;
    const char *extraMediumFile;  // copied from SETUP.INS, or nullptr
    bool emptyCompanion;
};

// Failure messages name the row.
void PrintTo(const LaunchRow &row, std::ostream *os) {
    *os << row.name;
}

std::string Expand(const std::string &text, const Case &c) {
    std::string out = text;
    const std::string script = rig::QuoteIfSpaces(c.medium + "SETUP.INS");
    for (size_t at; (at = out.find("{S}")) != std::string::npos;)
        out.replace(at, 3, script);
    for (size_t at; (at = out.find("{M}")) != std::string::npos;)
        out.replace(at, 3, c.medium);
    return out;
}

class LaunchTable : public ::testing::TestWithParam<LaunchRow> {};

TEST_P(LaunchTable, StartsTheBootstrapWithTheExactCommandLine) {
    E2E_REQUIRE_LAUNCHER();
    const LaunchRow &row = GetParam();
    const Case c = e2e::PrepareCase(row.content, row.mediumDir);
    if (!row.patch.empty()) {
        ASSERT_TRUE(rig::PatchStrings(c.Launcher(), row.patch));
    }
    if (row.extraMediumFile != nullptr) {
        ASSERT_TRUE(rig::CopyFileTo(e2e::Files().script, c.medium + row.extraMediumFile));
    }
    e2e::Launch launch;
    launch.arguments = row.arguments;
    if (row.tempWithBackslash)
        launch.env["TEMP"] = c.temp;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);

    e2e::Command expected;
    expected.directory = c.temp;
    expected.copy = Expand(row.copy, c);
    expected.z1 = row.z1;
    expected.splash = r.run.splashSeen;  // -cx exactly when a splash was shown
    EXPECT_EQ(r.report.at("module"), c.temp + e2e::kBootstrapFile);
    EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));

    const e2e::Originals &f = e2e::Files();
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {{e2e::kBootstrapFile, f.bootstrap},
                                           {row.engineAsExe ? e2e::kEngineExeFile : e2e::kEngineFile, f.engine},
                                           {e2e::kCompanionFile, row.emptyCompanion ? "" : f.companion}}));
}

const int kNoLibrary = e2e::kLauncher | e2e::kInstallIns;
const int kInstallInsOnly = e2e::kLauncher | e2e::kLibrary | e2e::kInstallIns;

const LaunchRow kLaunchRows[] = {
    // name, content, medium, arguments, copy, z1, engine .EXE, TEMP with '\', patch, extra file, empty companion
    {"NoArguments", e2e::kFullMedium, "medium", "", " -f{S}", true, false, false, {}, nullptr, false},
    {"NoSplashOption", e2e::kFullMedium, "medium", "-s", "-s -f{S}", true, false, false, {}, nullptr, false},
    {"WithoutZ1", e2e::kFullMedium, "medium", "-s -z", "-s -z -f{S}", false, false, false, {}, nullptr, false},
    {"EngineAsExe", e2e::kFullMedium, "medium", "-s -e", "-s -e -f{S}", true, true, false, {}, nullptr, false},
    {"RelativeScriptOptionIsRewritten", e2e::kFullMedium, "medium", "-s -fsub.ins", "-s  -f{M}sub.ins ", true,
     false, false, {}, "sub.ins", false},
    {"InstallInsInsteadOfSetupIns", kInstallInsOnly, "medium", "-s", "-s -f{S}", true, false, false, {}, nullptr,
     false},
    {"NoLibraryButInstallIns", kNoLibrary, "medium", "-s", "-s -f{S}", true, false, false, {}, nullptr, false},
    {"MediumFolderWithABlank", e2e::kFullMedium, "my medium", "-s", "-s -f{S}", true, false, false, {}, nullptr,
     false},
    {"TempWithTrailingBackslash", e2e::kFullMedium, "medium", "-s", "-s -f{S}", true, false, true, {}, nullptr,
     false},
    // A piece count of 0: the payload file is made, empty.
    {"CompanionOfNoPieces", e2e::kFullMedium, "medium", "-s", "-s -f{S}", true, false, false, {{7300, "0"}},
     nullptr, true},
};
INSTANTIATE_TEST_SUITE_P(Launch, LaunchTable, ::testing::ValuesIn(kLaunchRows),
                         [](const ::testing::TestParamInfo<LaunchRow> &p) { return std::string(p.param.name); });

// A work directory with a blank: the program path and the -x argument are
// quoted. Unquoted, the platform would try the text before the blank as a
// program first, so a "my.exe" planted beside the work directory would run.
TEST(LaunchQuoting, AWorkDirectoryWithABlankIsQuotedAndNothingElseStarts) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::string work = c.root + "my temp\\";
    ASSERT_TRUE(rig::MakeDirs(work));
    ASSERT_TRUE(rig::CopyFileTo(e2e::Files().bootstrap, c.root + "my.exe"));
    e2e::Launch launch;
    launch.arguments = "-s";
    launch.env["TEMP"] = c.root + "my temp";
    const e2e::Result r = e2e::RunLauncher(c, launch);
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_EQ(r.report.at("module"), work + e2e::kBootstrapFile) << "the planted my.exe ran instead";
    e2e::Command expected;
    expected.directory = work;
    expected.copy = "-s -f" + c.medium + "SETUP.INS";
    EXPECT_EQ(r.report.at("cmdline"), e2e::ExpectedCommand(expected));
    EXPECT_EQ(r.report.at("cmdline").compare(0, work.size() + 2, "\"" + work + "_"), 0);
    const e2e::Originals &f = e2e::Files();
    EXPECT_TRUE(e2e::HoldsExactly(work, {{e2e::kBootstrapFile, f.bootstrap},
                                         {e2e::kEngineFile, f.engine},
                                         {e2e::kCompanionFile, f.companion}}));
}

}  // namespace
