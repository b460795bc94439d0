// Splash placement on the real screen.
#include "splash/placement.h"

#include <windows.h>

SplashRect SplashPlaceOnScreen(int32_t width, int32_t height)
{
    int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    SplashRect work = {0, 0, screenWidth, screenHeight};
    RECT area;
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0) && area.right > area.left &&
        area.bottom > area.top) {
        work.left = area.left;
        work.top = area.top;
        work.width = area.right - area.left;
        work.height = area.bottom - area.top;
    }
    return SplashPlace(width, height, screenWidth, screenHeight, &work);
}
