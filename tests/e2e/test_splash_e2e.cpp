// End to end: the sample medium's splash while its setup starts, and when the
// launcher ends around it. The sample library's language table chooses its
// bitmap splash; the sample bootstrap sends "SETUP_MSG_LOGOCLOSE_SE" after
// CORVANE_CLOSE_DELAY_MS. (-s and the capture across a tick-count wrap are
// cases of test_timing.cpp.)
#include "tests/e2e/e2e_support.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char kMainClass[] = "CorvaneSetup_SE";
const DWORD kTick = 15000;          // the launcher's timer period
// Which tick ended or released something, not how many milliseconds it took:
// anything within half a tick of the expected one is that tick, however busy
// the machine (start-up, Wine's timers and the rig's polling all add).
const DWORD kTimeSlack = kTick / 2 - 1;

// The launcher's main window is hidden; other windows count when visible.
HWND WindowOf(DWORD pid, const char *cls) {
    return e2e::FindTopWindow(pid, cls, strcmp(cls, kMainClass) != 0);
}

// What the rig's polling saw of the launcher: when a splash (a dialog that is
// not a message box) was last visible, and when its main thread last held the
// mouse capture and was first seen without it.
struct Seen {
    DWORD splashLast = 0;
    DWORD captureLast = 0;
    DWORD captureGone = 0;
};

std::function<bool(const rig::Run &)> Watcher(Seen *seen) {
    return [seen](const rig::Run &run) {
        if (run.pid == 0)
            return false;
        const DWORD now = GetTickCount();
        if (WindowOf(run.pid, "#32770") != nullptr)
            seen->splashLast = now;
        HWND main = WindowOf(run.pid, kMainClass);
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (main != nullptr && GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info)) {
            if (info.hwndCapture != nullptr)
                seen->captureLast = now;
            else if (seen->captureLast != 0 && seen->captureGone == 0)
                seen->captureGone = now;
        }
        return false;
    };
}

long Since(DWORD from, DWORD to) { return long(int32_t(to - from)); }

TEST(SplashEndToEnd, ShownUntilTheSetupClosesItThenTheNextTickEnds) {
    E2E_REQUIRE_LAUNCHER();
    const e2e::Case c = e2e::PrepareCase(e2e::kFullMedium);
    Seen seen;
    e2e::Launch launch;
    launch.waitForExit = true;
    launch.env["CORVANE_CLOSE_DELAY_MS"] = "300";
    launch.env["CORVANE_PROBE_CPU"] = "1";
    launch.injectDlls.push_back(e2e::Files().probe);
    launch.stopWhen = Watcher(&seen);
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    ASSERT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    const DWORD launched = r.LaunchTick();

    EXPECT_TRUE(r.run.splashSeen);
    EXPECT_NE(std::string::npos, r.report.at("cmdline").find(" -cx ")) << r.report.at("cmdline");
    // The close message comes 300 ms after the launch; the splash stays up
    // until the minimum display time (1500 ms from just before the launch)
    // has passed, then hides.
    ASSERT_NE(0u, seen.splashLast);
    e2e::Measure("splash last seen after the launch", Since(launched, seen.splashLast), "ms");
    EXPECT_GT(Since(launched, seen.splashLast), 900);
    EXPECT_LT(Since(launched, seen.splashLast), long(kTick)) << "hidden before the first tick";
    // Waiting out the minimum costs no processor time to speak of.
    const long cpu = r.CpuBetween(launched + 500, launched + 1200);
    e2e::Measure("processor time while the splash waited 700 ms", cpu, "ms");
    EXPECT_GE(cpu, 0) << "the probe's processor samples do not cover the wait";
    EXPECT_LT(cpu, 250) << "processor ms while the splash waited";
    // Splash closed: the first timer tick, 15 s after the launch, ends it.
    EXPECT_NEAR(double(Since(launched, r.run.exitTick)), double(kTick), double(kTimeSlack));
    EXPECT_EQ(0u, r.run.exitCode);
}

// The bounded long case: a setup that never sends the close message. The
// launcher gives up at its ninth tick, 135 s after the launch, and lets go of
// the mouse capture at the second, 30 s after it.
TEST(SplashEndToEnd, NeverClosedEndsAtTheNinthTick) {
    E2E_REQUIRE_LAUNCHER();
    const e2e::Case c = e2e::PrepareCase(e2e::kFullMedium);
    Seen seen;
    e2e::Launch launch;
    launch.waitForExit = true;
    launch.env["CORVANE_CLOSE_DELAY_MS"] = "4000000000";
    launch.timeoutMs = 9 * kTick + 60000;
    launch.stopWhen = Watcher(&seen);
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    ASSERT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_FALSE(r.run.timedOut);
    EXPECT_EQ(0u, r.run.exitCode);
    const DWORD launched = r.LaunchTick();

    e2e::Measure("launcher end after the launch", Since(launched, r.run.exitTick), "ms");
    e2e::Measure("capture released after the launch", Since(launched, seen.captureGone), "ms");
    EXPECT_NEAR(double(Since(launched, r.run.exitTick)), double(9 * kTick), double(kTimeSlack));
    // The splash stayed up to the end.
    EXPECT_NEAR(double(Since(launched, seen.splashLast)), double(9 * kTick), double(kTimeSlack));
    // Capture: held after the first tick, gone after the second.
    ASSERT_NE(0u, seen.captureLast) << "the capture was never seen";
    ASSERT_NE(0u, seen.captureGone) << "the capture was never released";
    EXPECT_GT(Since(launched, seen.captureLast), long(kTick));
    EXPECT_NEAR(double(Since(launched, seen.captureGone)), double(2 * kTick), double(kTimeSlack));
}

}  // namespace
