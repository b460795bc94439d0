// The splash's process-wide record, shared by splash creation, the splash
// dialog and the logo script. Zero at process start. Window, brush and bitmap
// handles are kept as void* so that the portable logo parser can include this
// header without <windows.h>; colours are COLORREF values (0x00BBGGRR).
#pragma once

#include <stdint.h>

#include "base/text.h"

struct OrderedList;

enum { kSplashDirBuffer = 263 };   // bytes of the kept source directory

struct SplashState {
    void *instance;           // the launcher's module: dialog 7501 and own resources
    void *window;             // HWND of the splash made at start-up, or null
    int closed;               // 1 once told to close and its minimum time passed (the timer
                              // ends the launcher at once without a window anyway)
    uint32_t timeBase;        // tick count right after the splash was made
    uint32_t closeMessage;    // registered "SETUP_MSG_LOGOCLOSE_SE", 0 until registered
    int created;              // 1 once WM_INITDIALOG set up its mode and showed the window
    char *sourceDir;          // 263-byte block: the launcher's directory; kept until exit
    char *logoPath;           // 261-byte block: logo file written by a type-5 splash, else ""
    void *resourceBitmap;     // HBITMAP loaded by a type-4 splash
    int mode;                 // splash mode of the dialog
    void *backBrush;          // HBRUSH in COLOR_BTNFACE
    void *bitmap;             // HBITMAP drawn in mode 3
    OrderedList *lines;       // LogoLine records of the logo script, or null
    int32_t linePool;         // pool of the LogoLine records, 0 for none
    uint32_t textColor;       // logo text colour
    uint32_t backColor;       // logo background colour
    int raised;               // logo text is drawn raised
};

extern SplashState g_splash;
