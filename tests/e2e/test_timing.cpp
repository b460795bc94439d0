// When the launcher ends: at its first timer tick, 15 s after the launch,
// when no splash is up or the splash was told to close (the sample bootstrap
// sends the close message 300 ms after its start), with exit code 0.
#include "tests/e2e/e2e_support.h"

namespace {

class TimingTable : public ::testing::TestWithParam<const char *> {};

TEST_P(TimingTable, TheLauncherEndsAtTheFirstTimerTickWithExitCodeZero) {
    E2E_REQUIRE_LAUNCHER();
    const e2e::Case c = e2e::PrepareCase(e2e::kFullMedium);
    e2e::Launch launch;
    launch.arguments = GetParam();
    launch.waitForExit = true;
    launch.timeoutMs = 60000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    ASSERT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 0u);
    const DWORD afterLaunch = r.run.exitTick - r.LaunchTick();
    e2e::Measure("launcher end after the launch", afterLaunch, "ms");
    e2e::Measure("launch after the launcher's start", r.LaunchTick() - r.run.startTick, "ms");
    EXPECT_GE(afterLaunch, 13500u) << e2e::Describe(r);
    EXPECT_LE(afterLaunch, 17500u) << e2e::Describe(r);
    if (std::string(GetParam()).find("-s") != std::string::npos) {
        EXPECT_FALSE(r.run.splashSeen) << "-s shows no splash";
        EXPECT_NE(r.report.at("cmdline").find(" -c -x"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Timing, TimingTable, ::testing::Values("-s", ""),
                         [](const ::testing::TestParamInfo<const char *> &p) {
                             return std::string(*p.param ? "NoSplashOption" : "NoArguments");
                         });

}  // namespace
