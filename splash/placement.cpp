// Splash placement.
#include "splash/placement.h"

static int32_t Clamp(int32_t value, int32_t low, int32_t high)
{
    if (value > high)
        value = high;
    if (value < low)
        value = low;
    return value;
}

SplashRect SplashPlace(int32_t width, int32_t height, int32_t screenWidth, int32_t screenHeight,
                       const SplashRect *work)
{
    SplashRect r;
    int32_t workWidth = work->width > 0 ? work->width : 0;
    int32_t workHeight = work->height > 0 ? work->height : 0;
    r.width = Clamp(width, 0, workWidth);
    r.height = Clamp(height, 0, workHeight);
    // Centred on the screen as before; only a window that would leave the
    // work area is moved back into it.
    r.left = Clamp((screenWidth - r.width) / 2, work->left, work->left + workWidth - r.width);
    r.top = Clamp((screenHeight - r.height) / 2, work->top, work->top + workHeight - r.height);
    return r;
}
