// The splash dialog: set-up by splash mode, painting, and the end of the
// splash on the launched setup's close message.
#pragma once

#include <windows.h>
#include <stdint.h>

struct OrderedList;

enum {
    kSplashFrameMarker = 100,  // hidden control whose offset sets the frame's inset
    kSplashFocusControl = 1,   // control that takes the focus
};

// The dialog procedure of every splash. lParam of WM_INITDIALOG is the splash
// mode. Only the registered close message ends the splash; Enter, Escape and
// WM_CLOSE do not.
INT_PTR CALLBACK SplashDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Waits, sleeping in steps of at most 10 ms and processing no messages, until
// the minimum display time (string 7111) has passed since
// g_splash.timeBase (elapsed ticks, so right across a wrap), then sets
// g_splash.closed. Returns at once, changing nothing, when there is no
// splash window. Always 1.
int SplashWaitMinimum();

// The minimum display time that a text of string 7111 gives: its decimal
// value, 30000 for anything above that or negative, 0 without digits.
uint32_t SplashMinimumFromText(const char *text);
// The minimum display time from string 7111 (0 when the string is missing).
uint32_t SplashMinimumTime();

// How SplashWaitMinimum passes the time between two looks at the tick count
// (TickNow, base/ticks.h): Sleep unless a test puts its own in, so that a
// test clock can run without real waiting. Null restores Sleep.
typedef void (*SplashSleeper)(uint32_t milliseconds);
void SplashSetSleeper(SplashSleeper sleeper);

// Centres the dialog on the screen and gives control 1 the focus. Always 1.
int SplashCenter(HWND dialog);

// Mode 2: sizes and centres the window to the logo text (`object` is the
// lines). Mode 3: removes the dialog frame and gives the window exactly the
// size of the bitmap `object`, centred. Other modes do nothing.
void SplashFitWindow(HWND dialog, int mode, void *object);

// Mode 2 draws the logo text, mode 3 the bitmap 1:1 at the top left; other
// modes draw nothing.
void SplashPaint(HWND dialog, HDC paintDc, int mode, HBITMAP bitmap, OrderedList *lines);

// Draws the etched frame inset by control 100's offset in the client area.
// 1 when drawn, 0 when the dialog has no control 100.
int SplashDrawEtchedFrame(HWND dialog, HDC dc);

// WM_CTLCOLORSTATIC: in mode 1 with a brush, black text on the button face
// and the brush; otherwise null (default colours).
HBRUSH SplashCtlColor(int mode, HBRUSH brush, HDC dc);
