// The rig itself: if it missed a box or misread one, every "no box" and
// every box text below would prove nothing.
#include "tests/e2e/e2e_support.h"

namespace {

rig::RunOptions DemoOptions(const std::string &arguments) {
    rig::RunOptions o;
    o.program = e2e::Files().boxDemo;
    o.arguments = arguments;
    o.timeoutMs = 30000;
    return o;
}

TEST(RigSelfTest, ReadsEveryBoxPressesOkAndMeasuresTheExit) {
    ASSERT_FALSE(e2e::Files().boxDemo.empty()) << "CORVANE_E2E_BOX_DEMO not set";
    const rig::Run run = rig::RunAndWatch(DemoOptions(""));
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_TRUE(run.exited);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 7u);
    ASSERT_EQ(run.boxes.size(), 2u);
    EXPECT_EQ(run.boxes[0].caption, "Rig demo");
    EXPECT_EQ(run.boxes[0].text, "First box: the rig reads this text.");
    EXPECT_EQ(run.boxes[1].caption, "Rig demo 2");
    EXPECT_EQ(run.boxes[1].text, "Second box");
    EXPECT_FALSE(run.splashSeen);
    // Both boxes were answered as they came, not left to the rig's bound.
    EXPECT_LT(run.exitTick - run.startTick, rig::Scaled(60000) / 2);
}

TEST(RigSelfTest, TellsADialogThatIsNotAMessageBoxApart) {
    const rig::Run run = rig::RunAndWatch(DemoOptions("dialog"));
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.boxes.size(), 2u);
    EXPECT_TRUE(run.splashSeen);
}

TEST(RigSelfTest, LoadsTheProbeIntoTheProcessWithTheGivenEnvironment) {
    ASSERT_FALSE(e2e::Files().probe.empty()) << "CORVANE_E2E_PROBE not set";
    char dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    const std::string probeReport = rig::JoinPath(dir, "rig-probe.txt");
    DeleteFileA(probeReport.c_str());
    rig::RunOptions o = DemoOptions("");
    o.injectDlls.push_back(e2e::Files().probe);
    o.setEnv["CORVANE_PROBE_REPORT"] = probeReport;
    const rig::Run run = rig::RunAndWatch(o);
    ASSERT_TRUE(run.started) << run.error;
    EXPECT_EQ(run.boxes.size(), 2u);
    std::string text;
    ASSERT_TRUE(rig::ReadBytes(probeReport, text)) << "the probe wrote no report";
    EXPECT_NE(text.find("probe loaded"), std::string::npos) << text;
    DeleteFileA(probeReport.c_str());
}

TEST(RigSelfTest, BoxTextFormatting) {
    EXPECT_EQ(e2e::FormatBoxText("a %s b", "X"), "a X b");
    EXPECT_EQ(e2e::FormatBoxText("%s and %s, 100%% %d", "X"), "X and %s, 100% %d");
    EXPECT_EQ(e2e::FormatBoxText("no placeholder", "X"), "no placeholder");
    EXPECT_EQ(e2e::FormatBoxText("%s", std::string(400, 'p')).size(), 299u);
}

}  // namespace
