// The hidden main window: its creation does the launcher's work (work
// directory, extraction, launch), and its timer decides when the launcher
// ends.
#pragma once

#include <windows.h>

#define LAUNCHER_CLASS_NAME "CorvaneSetup_SE"

enum {
    kLaunchTimerId = 3000,
    kLaunchTimerPeriodMs = 15000,
    kCaptureHoldMs = 29000,    // after the launch, the mouse capture is kept this long
    kMaxTimerTicks = 8,        // the ninth tick ends the launcher in any case
};

// WM_CREATE (the creation data is WinMain's CommandLineResult): capture and
// hourglass, work directory, extraction, launch and the timer. A failure
// shows its box here and posts the quit message with the box's id (7062 to
// 7066), which WinMain returns as the exit code; a launch posts 0 when its
// time is up. WM_TIMER: the quit and capture rule. Both return 0; the rest
// goes to DefWindowProcA.
LRESULT CALLBACK LauncherWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
