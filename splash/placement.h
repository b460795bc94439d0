// Where a splash window goes: centred on the screen, as large as its content
// asks, but never larger than the work area nor outside it. Portable.
#pragma once

#include <stdint.h>

struct SplashRect {
    int32_t left;
    int32_t top;
    int32_t width;
    int32_t height;
};

// The window for content of `width` x `height` (a hostile logo script can
// measure far beyond the screen: the caller caps what it measured at
// INT32_MAX), centred on a screen of `screenWidth` x `screenHeight`, then
// clamped into `work` (the desktop's work area). A negative size counts as 0.
SplashRect SplashPlace(int32_t width, int32_t height, int32_t screenWidth, int32_t screenHeight,
                       const SplashRect *work);

// SplashPlace on the primary screen and its work area. Windows build only
// (placement_win32.cpp).
SplashRect SplashPlaceOnScreen(int32_t width, int32_t height);
