// The splash dialog procedure and its helpers.
#include "splash/splashdlg.h"

#include "base/ids.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/ticks.h"
#include "resmodule/setupstring.h"
#include "splash/logo.h"
#include "splash/placement.h"
#include "splash/logo_win32.h"
#include "splash/splash.h"
#include "splash/splash_state.h"

enum {
    kWaitStep = 10,   // ms slept per pass while the minimum time runs out
};

static void SystemSleep(uint32_t milliseconds) { Sleep(milliseconds); }

static SplashSleeper s_sleep = SystemSleep;

void SplashSetSleeper(SplashSleeper sleeper)
{
    s_sleep = sleeper ? sleeper : SystemSleep;
}

uint32_t SplashMinimumFromText(const char *text)
{
    // Unsigned on purpose: a negative text wraps high and is capped too.
    uint32_t minimum = (uint32_t)ParseDecimal(text ? text : "");
    return minimum > kSplashMinimumCap ? (uint32_t)kSplashMinimumCap : minimum;
}

uint32_t SplashMinimumTime()
{
    char text[kPathBuffer] = "";
    LoadSetupString(IDS_SPLASH_MINIMUM, text, sizeof text);
    return SplashMinimumFromText(text);
}

int SplashWaitMinimum()
{
    if (!g_splash.window)
        return 1;
    uint32_t minimum = SplashMinimumTime();
    // Elapsed time, not an end time: a wrap of the tick count neither ends
    // the wait early nor stretches it. No messages are processed meanwhile.
    for (;;) {
        uint32_t elapsed = TickNow() - g_splash.timeBase;
        if (elapsed >= minimum)
            break;
        uint32_t rest = minimum - elapsed;
        s_sleep(rest < kWaitStep ? rest : (uint32_t)kWaitStep);
    }
    g_splash.closed = 1;
    return 1;
}

int SplashCenter(HWND dialog)
{
    RECT r;
    GetWindowRect(dialog, &r);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    MoveWindow(dialog, left, top, width, height, FALSE);
    HWND focus = GetDlgItem(dialog, kSplashFocusControl);
    if (focus)
        SetFocus(focus);
    return 1;
}

void SplashFitWindow(HWND dialog, int mode, void *object)
{
    if (mode == SPLASH_MODE_LOGO) {
        LogoMeasure(dialog, (OrderedList *)object);
        return;
    }
    if (mode != SPLASH_MODE_BITMAP)
        return;
    // Dialog 7501 has the frame; the toggle takes it away.
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    SetWindowLongA(dialog, GWL_STYLE, style ^ WS_DLGFRAME);
    BITMAP info = {};
    GetObjectA((HBITMAP)object, sizeof info, &info);
    SplashRect place = SplashPlaceOnScreen(info.bmWidth, info.bmHeight);
    // SWP_FRAMECHANGED: the new style counts even when the size stays the same.
    SetWindowPos(dialog, NULL, place.left, place.top, place.width, place.height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_FRAMECHANGED);
}

void SplashPaint(HWND dialog, HDC paintDc, int mode, HBITMAP bitmap, OrderedList *lines)
{
    if (mode == SPLASH_MODE_LOGO) {
        LogoPaint(dialog, paintDc, lines);
        return;
    }
    if (mode != SPLASH_MODE_BITMAP || !bitmap)
        return;
    HDC memory = CreateCompatibleDC(paintDc);
    if (!memory)
        return;
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(paintDc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

int SplashDrawEtchedFrame(HWND dialog, HDC dc)
{
    HWND marker = GetDlgItem(dialog, kSplashFrameMarker);
    if (!marker)
        return 0;
    RECT markerRect;
    GetWindowRect(marker, &markerRect);
    POINT inset = {markerRect.left, markerRect.top};
    ScreenToClient(dialog, &inset);

    RECT r;
    GetClientRect(dialog, &r);
    InflateRect(&r, -inset.x, -inset.y);
    r.right += 1;
    r.top += 1;

    const COLORREF white = RGB(255, 255, 255);
    int saved = SaveDC(dc);
    HPEN light = CreatePen(PS_SOLID, 1, white);
    HPEN shadow = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SelectObject(dc, light);
    Rectangle(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1);
    SetPixel(dc, r.right - 2, r.top, white);
    SetPixel(dc, r.left, r.bottom - 2, white);
    SelectObject(dc, shadow);
    Rectangle(dc, r.left, r.top, r.right - 2, r.bottom - 2);
    RestoreDC(dc, saved);
    DeleteObject(light);
    DeleteObject(shadow);
    return 1;
}

HBRUSH SplashCtlColor(int mode, HBRUSH brush, HDC dc)
{
    if (mode != SPLASH_MODE_DIALOG || !brush)
        return NULL;
    UnrealizeObject(brush);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return brush;
}

static void FreeDialogObjects()
{
    if (g_splash.backBrush)
        DeleteObject((HBRUSH)g_splash.backBrush);
    if (g_splash.bitmap)
        DeleteObject((HBITMAP)g_splash.bitmap);
    // The records belong to the line pool; LogoFree gives them back too.
    if (g_splash.lines)
        LogoFree(g_splash.lines);
    if (g_splash.linePool)
        PoolDestroy(g_splash.linePool);
    g_splash.linePool = 0;
    g_splash.lines = NULL;
    g_splash.bitmap = NULL;
    g_splash.backBrush = NULL;
}

static INT_PTR InitDialog(HWND dialog, LPARAM mode)
{
    if (!g_splash.backBrush)
        g_splash.backBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
    g_splash.mode = (int)mode;
    g_splash.bitmap = NULL;
    g_splash.lines = NULL;

    // GetDlgItem gives a live child or null.
    HWND marker = GetDlgItem(dialog, kSplashFrameMarker);
    if (marker)
        ShowWindow(marker, SW_HIDE);

    int splashMode = g_splash.mode;
    if (splashMode == SPLASH_MODE_DIALOG)
        SplashCenter(dialog);
    else if (splashMode == SPLASH_MODE_BITMAP)
        g_splash.bitmap = g_splash.resourceBitmap;
    else if (splashMode != SPLASH_MODE_LOGO || !(g_splash.lines = LogoRead()))
        goto failed;
    g_splash.created = 1;
    // The template keeps its own size; a logo or bitmap sizes the window.
    SplashFitWindow(dialog, splashMode, splashMode == SPLASH_MODE_LOGO ? (void *)g_splash.lines : g_splash.bitmap);
    ShowWindow(dialog, SW_SHOW);
    return FALSE;   // keep the focus where SplashCenter put it

failed:
    // Set-up failed: the window is never shown.
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    g_splash.created = 0;
    return TRUE;
}

INT_PTR CALLBACK SplashDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A zero id is WM_NULL, not the close message.
    if (g_splash.closeMessage != 0 && message == g_splash.closeMessage) {
        SplashWaitMinimum();
        EndDialog(dialog, 1);   // hides the modeless splash
        return FALSE;
    }
    switch (message) {
    case WM_DESTROY:
        FreeDialogObjects();
        return FALSE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(dialog, &paint);
        if (g_splash.mode == SPLASH_MODE_DIALOG)
            SplashDrawEtchedFrame(dialog, dc);
        else
            SplashPaint(dialog, dc, g_splash.mode, (HBITMAP)g_splash.bitmap, g_splash.lines);
        EndPaint(dialog, &paint);
        return TRUE;
    }
    case WM_ERASEBKGND: {
        if (g_splash.mode != SPLASH_MODE_DIALOG || !g_splash.backBrush)
            return FALSE;
        RECT client;
        GetClientRect(dialog, &client);
        FillRect((HDC)wParam, &client, (HBRUSH)g_splash.backBrush);
        return (INT_PTR)g_splash.backBrush;
    }
    case WM_INITDIALOG:
        return InitDialog(dialog, lParam);
    case WM_CTLCOLORSTATIC:
        return (INT_PTR)SplashCtlColor(g_splash.mode, (HBRUSH)g_splash.backBrush, (HDC)wParam);
    default:
        // WM_COMMAND and WM_SYSCOMMAND among them: the user cannot end it.
        return FALSE;
    }
}
