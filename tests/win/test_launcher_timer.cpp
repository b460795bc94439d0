// The main window's timer rule: when the launcher ends, and when the mouse
// capture taken at the launch is let go, also across a wrap of the tick count.
#include <windows.h>

#include <stdint.h>

#include <gtest/gtest.h>

#include "launcher/mainwnd.h"
#include "base/ticks.h"
#include "tests/win/launcher_test_support.h"

namespace {

uint32_t g_now = 0;
uint32_t FixedTicks()
{
    return g_now;
}

struct TimerCase {
    const char *why;
    int32_t ticksBefore;
    bool splash;
    int splashClosed;
    uint32_t launchTime;
    uint32_t elapsed;      // now - launch time
    bool quits;
    bool releases;
};

TEST(LauncherTimer, QuitAndCaptureRule)
{
    const uint32_t kNearWrap = 0xFFFFFFFFu - 1000u;
    const TimerCase cases[] = {
        {"no splash: the first tick ends it", 0, false, 1, 5000, 15000, true, false},
        {"splash up: goes on", 0, true, 0, 5000, 15000, false, false},
        {"splash told to close", 0, true, 1, 5000, 15000, true, false},
        {"second tick: the capture goes", 1, true, 0, 5000, 30000, false, true},
        {"29000 ms exactly: kept", 1, true, 0, 5000, 29000, false, false},
        {"29001 ms: let go", 1, true, 0, 5000, 29001, false, true},
        {"eighth tick: still up", 7, true, 0, 5000, 120000, false, true},
        {"ninth tick ends it in any case", 8, true, 0, 5000, 135000, true, true},
        {"quit and release together", 1, false, 1, 5000, 30000, true, true},
        {"launch just before the wrap, 500 ms later: kept", 0, true, 0, kNearWrap, 500, false, false},
        {"launch just before the wrap, 30 s later: let go", 1, true, 0, kNearWrap, 30000, false, true},
        {"launch 64 s before the wrap, 80 s later: let go", 5, true, 0, 0xFFFF0000u, 80000, false, true},
    };

    LauncherStateScope state;
    TickSetSource(FixedTicks);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }

    for (const TimerCase &c : cases) {
        g_launcher.timerTicks = c.ticksBefore;
        g_splash.window = c.splash ? (void *)window : nullptr;
        g_splash.closed = c.splashClosed;
        g_launcher.launchTime = c.launchTime;
        g_now = c.launchTime + c.elapsed;
        SetCapture(window);
        ASSERT_EQ(window, GetCapture());

        EXPECT_EQ(0, LauncherWndProc(window, WM_TIMER, kLaunchTimerId, 0)) << c.why;

        EXPECT_EQ(c.ticksBefore + 1, g_launcher.timerTicks) << c.why;
        bool quit = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        EXPECT_EQ(c.quits, quit) << c.why;
        if (quit) {
            EXPECT_EQ(0u, msg.wParam) << c.why;
        }
        EXPECT_EQ(c.releases, GetCapture() != window) << c.why;
        ReleaseCapture();
    }
    DestroyWindow(window);
    TickSetSource(nullptr);
}

}  // namespace
