// Every error box the launcher shows: its caption and text, that nothing is
// launched, the exit code (the id of the last box), and what is left in the
// work directory.
#include "tests/e2e/e2e_support.h"

namespace {

using e2e::Case;

enum Payload { kBootstrap, kEngine, kCompanion };

struct ExpectedBox {
    unsigned id;
    const char *argument;  // nullptr: a text without argument; "{M}" is the medium folder
};

struct BoxRow {
    const char *name;
    int content;
    const char *arguments;
    std::map<UINT, std::string> patch;  // launcher strings replaced in the case's copy
    std::vector<ExpectedBox> boxes;
    std::map<std::string, Payload> remains;  // the work directory afterwards
};

// Failure messages name the row.
void PrintTo(const BoxRow &row, std::ostream *os) {
    *os << row.name;
}

std::string Expand(const std::string &text, const Case &c) {
    std::string out = text;
    for (size_t at; (at = out.find("{M}")) != std::string::npos;)
        out.replace(at, 3, c.medium);
    return out;
}

std::string OriginalOf(Payload p) {
    const e2e::Originals &f = e2e::Files();
    return p == kBootstrap ? f.bootstrap : p == kEngine ? f.engine : f.companion;
}

class BoxTable : public ::testing::TestWithParam<BoxRow> {};

TEST_P(BoxTable, ShowsTheBoxesLaunchesNothingAndLeavesWhatItShould) {
    E2E_REQUIRE_LAUNCHER();
    const BoxRow &row = GetParam();
    const Case c = e2e::PrepareCase(row.content);
    if (!row.patch.empty()) {
        ASSERT_TRUE(rig::PatchStrings(c.Launcher(), row.patch));
    }
    e2e::Launch launch;
    launch.arguments = Expand(row.arguments, c);
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;

    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    // An unattended deployment reads what happened from the exit code.
    ASSERT_FALSE(row.boxes.empty());
    EXPECT_EQ(r.run.exitCode, row.boxes.back().id) << e2e::Describe(r);
    EXPECT_FALSE(r.launched) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), row.boxes.size()) << e2e::Describe(r);
    for (size_t i = 0; i < row.boxes.size(); ++i) {
        const ExpectedBox &want = row.boxes[i];
        std::string argument;
        if (want.argument != nullptr)
            argument = Expand(want.argument, c);
        EXPECT_EQ(r.run.boxes[i].caption, e2e::ExpectedCaption(c)) << "box " << i;
        EXPECT_EQ(r.run.boxes[i].text, e2e::ExpectedText(c, want.id, want.argument ? &argument : nullptr))
            << "box " << i << " should be message " << want.id;
    }
    std::map<std::string, std::string> remains;
    for (const auto &kv : row.remains)
        remains[kv.first] = OriginalOf(kv.second);
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, remains));
}

std::string RowName(const ::testing::TestParamInfo<BoxRow> &info) {
    return info.param.name;
}

const int kNoScripts = e2e::kLauncher | e2e::kLibrary;

// Start-up checks: library, script, command line.
const BoxRow kStartupRows[] = {
    {"NoScriptAndNoScriptOption", kNoScripts, "", {}, {{7061, "{M}SETUP.INS/INSTALL.INS"}}, {}},
    {"ScriptNamedByOptionIsMissing", e2e::kFullMedium, "-f{M}missing.ins", {}, {{7061, "{M}missing.ins"}}, {}},
    {"RelativeScriptNamedByOptionIsMissing", e2e::kFullMedium, "-s -fmissing.ins", {},
     {{7061, "{M}missing.ins"}}, {}},
    {"NoLibraryAndNoInstallIns", e2e::kLauncher | e2e::kSetupIns, "", {}, {{7068, nullptr}}, {}},
    {"NoLibraryAndNoScriptAtAll", e2e::kLauncher, "", {}, {{7068, nullptr}}, {}},
    {"UnclosedQuoteInAnOptionArgument", e2e::kFullMedium, "-s -e\"x y", {}, {{7067, "\"x y"}}, {}},
    // The script option's argument is read twice (scan and rewrite), and the
    // script it names is then missing.
    {"UnclosedQuoteInTheScriptOption", e2e::kFullMedium, "-f\"abc", {},
     {{7067, "\"abc"}, {7067, "\"abc"}, {7061, "{M}abc"}}, {}},
};
INSTANTIATE_TEST_SUITE_P(ErrorBoxes, BoxTable, ::testing::ValuesIn(kStartupRows), RowName);

// WinExec fails: a bootstrap payload of zero pieces is an empty file, which
// the platform refuses to start. The bootstrap and engine files go, the
// companion stays.
const BoxRow kLaunchRows[] = {
    {"EmptyBootstrap", e2e::kFullMedium, "-s", {{7100, "0"}}, {{7062, nullptr}}, {{e2e::kCompanionFile, kCompanion}}},
    {"EmptyBootstrapEngineAsExe", e2e::kFullMedium, "-s -e", {{7100, "0"}}, {{7062, nullptr}},
     {{e2e::kCompanionFile, kCompanion}}},
};
INSTANTIATE_TEST_SUITE_P(FailedLaunch, BoxTable, ::testing::ValuesIn(kLaunchRows), RowName);

// A piece count of 2 where the launcher carries one piece: the second piece
// fails, that payload's file is deleted, the ones before it stay.
const BoxRow kPayloadRows[] = {
    {"BootstrapSecondPieceMissing", e2e::kFullMedium, "-s", {{7100, "2"}}, {{7064, nullptr}}, {}},
    {"EngineSecondPieceMissing", e2e::kFullMedium, "-s", {{7200, "2"}}, {{7065, nullptr}},
     {{e2e::kBootstrapFile, kBootstrap}}},
    {"EngineExeSecondPieceMissing", e2e::kFullMedium, "-s -e", {{7200, "2"}}, {{7065, nullptr}},
     {{e2e::kBootstrapFile, kBootstrap}}},
    {"CompanionSecondPieceMissing", e2e::kFullMedium, "-s", {{7300, "2"}}, {{7066, nullptr}},
     {{e2e::kBootstrapFile, kBootstrap}, {e2e::kEngineFile, kEngine}}},
};
INSTANTIATE_TEST_SUITE_P(PayloadFailure, BoxTable, ::testing::ValuesIn(kPayloadRows), RowName);

// The message text is a resource, so it may hold anything: only the first
// "%s" takes the argument, "%%" shows "%", and other '%' sequences stand.
// No resource library (INSTALL.INS lets start-up go on), so the launcher's
// own, patched text is shown; the script named by -f is missing.
TEST(ErrorBoxesFormatting, ExtraPlaceholdersInTheMessageStandAsTheyAre) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kLauncher | e2e::kInstallIns);
    ASSERT_TRUE(rig::PatchStrings(c.Launcher(), {{7061, "Missing %s and %s (100%% sure, %d)."}}));
    e2e::Launch launch;
    launch.arguments = "-fmissing.ins";
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].text, "Missing " + c.medium + "missing.ins and %s (100% sure, %d).");
}

// A launcher deep in a folder tree: the script path and its fallback name
// make a long argument; the box shows it from its start.
TEST(ErrorBoxesFormatting, ALongScriptPathIsShownFromItsStart) {
    E2E_REQUIRE_LAUNCHER();
    const Case first = e2e::PrepareCase(0);
    ASSERT_LT(first.root.size(), 200u);
    // setup.exe's full path just within MAX_PATH.
    const std::string deep = e2e::FillerName(247 - first.root.size(), false);
    const Case c = e2e::PrepareCase(kNoScripts, deep);
    ASSERT_EQ(c.medium.size(), 248u);
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    EXPECT_FALSE(r.launched);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    const std::string format = e2e::ExpectedText(c, 7061);
    const std::string start = format.substr(0, format.find("%s")) + c.medium + "SETUP.INS";
    EXPECT_EQ(r.run.boxes[0].text.compare(0, start.size(), start), 0) << "box text: " << r.run.boxes[0].text;
}

// The argument of message 7067 runs to the end of the command line, which
// can be far longer than any message buffer: the box shows the start of the
// whole text, cut at the end, and the launcher ends normally.
TEST(ErrorBoxesFormatting, AHugeUnclosedArgumentIsCutAtTheEnd) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::string argument = "\"" + std::string(6000, 'x');
    e2e::Launch launch;
    launch.arguments = "-s -e" + argument;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7067u) << e2e::Describe(r);
    EXPECT_FALSE(r.launched);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    const std::string whole = e2e::FormatBoxText(e2e::ExpectedText(c, 7067), argument, 100000);
    const std::string &text = r.run.boxes[0].text;
    EXPECT_LT(text.size(), whole.size());
    EXPECT_GT(text.size(), whole.find('"') + 100) << "box text: " << text;
    EXPECT_EQ(whole.compare(0, text.size(), text), 0) << "box text: " << text;
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {}));
}

}  // namespace
