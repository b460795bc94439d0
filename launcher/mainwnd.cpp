// The hidden main window.
#include "launcher/mainwnd.h"

#include <stdint.h>

#include "launcher/errorbox.h"
#include "launcher/extract.h"
#include "launcher/launch.h"
#include "launcher/state.h"
#include "splash/splash_state.h"
#include "base/text.h"
#include "base/ticks.h"
#include "launcher/workdir.h"

static LRESULT OnCreate(HWND window, const CommandLineResult *options)
{
    SetCapture(window);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));

    char candidate[kPathBuffer];
    int failed = SelectWorkDirectory(kWorkDirNeed, candidate, sizeof candidate);
    if (!failed) {
        // A candidate holds at most 260 characters, so the backslash fits.
        TextCopy(g_launcher.workDir, kStateTextBuffer, candidate);
        AddTrailingBackslash(g_launcher.workDir, kStateTextBuffer);
        int extract = FindRunningEngine(g_launcher.workDir, kStateTextBuffer);
        failed = LaunchBootstrap(g_launcher.workDir, extract ? BOOTSTRAP_FILE : ENGINE_FILE, extract, options,
                                 g_splash.window != NULL);
    }
    if (failed) {
        // The one box of the work done under the window; the quit message
        // carries its id out of the loop as the exit code.
        ShowLaunchError(failed, NULL, 0);
        PostQuitMessage(failed);
        return 0;
    }

    g_launcher.launchTime = TickNow();
    // The timer is the launcher's only way out once the bootstrap runs:
    // without it, end now (the launch has happened; nothing else waits).
    if (!SetTimer(window, kLaunchTimerId, kLaunchTimerPeriodMs, NULL))
        PostQuitMessage(0);
    return 0;
}

static LRESULT OnTimer()
{
    if (g_launcher.timerTicks < INT32_MAX)
        g_launcher.timerTicks++;
    if (!g_splash.window || g_splash.closed || g_launcher.timerTicks > kMaxTimerTicks)
        PostQuitMessage(0);
    // Elapsed time, not a deadline: a deadline compared with the tick count
    // is wrong for a launch near the count's wrap after 49.7 days.
    if (TickNow() - g_launcher.launchTime > kCaptureHoldMs)
        ReleaseCapture();
    return 0;
}

LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window, (const CommandLineResult *)((const CREATESTRUCTA *)lParam)->lpCreateParams);
    case WM_TIMER:
        return OnTimer();
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
