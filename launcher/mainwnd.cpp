// The hidden main window.
#include "launcher/mainwnd.h"

#include <stdint.h>

#include "launcher/extract.h"
#include "launcher/launch.h"
#include "base/state.h"
#include "base/text.h"
#include "base/ticks.h"
#include "launcher/workdir.h"

static LRESULT OnCreate(HWND window)
{
    SetCapture(window);
    SetCursor(LoadCursorA(NULL, IDC_WAIT));

    char candidate[kPathBuffer];
    if (!SelectWorkDirectory(kWorkDirNeed, candidate, sizeof candidate)) {
        PostQuitMessage(0);
        return 0;
    }
    // A candidate holds at most 260 characters, so the backslash fits.
    TextCopy(g_launcher.workDir, kStateTextBuffer, candidate);
    AddTrailingBackslash(g_launcher.workDir, kStateTextBuffer);

    char fileName[16];
    TextCopy(fileName, sizeof fileName, BOOTSTRAP_FILE);
    int extract = FindRunningEngine(g_launcher.workDir, kStateTextBuffer, fileName, sizeof fileName);
    if (!LaunchBootstrap(g_launcher.workDir, fileName, extract)) {
        PostQuitMessage(0);
        return 0;
    }

    g_launcher.launchTime = TickNow();
    g_launcher.launchDeadline = g_launcher.launchTime + kCaptureHoldMs;
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
    if (!g_launcher.splashWindow || g_launcher.splashClosed || g_launcher.timerTicks > kMaxTimerTicks)
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
        return OnCreate(window);
    case WM_TIMER:
        return OnTimer();
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
