// Splash placement.
#include "splash/placement.h"

static int32_t Clamp(int64_t value, int64_t low, int64_t high)
{
    if (value > high)
        value = high;
    if (value < low)
        value = low;
    return (int32_t)value;
}

SplashRect SplashPlace(int64_t width, int64_t height, int32_t screenWidth, int32_t screenHeight,
                       const SplashRect *work)
{
    SplashRect r;
    int64_t workWidth = work->width > 0 ? work->width : 0;
    int64_t workHeight = work->height > 0 ? work->height : 0;
    r.width = Clamp(width, 0, workWidth);
    r.height = Clamp(height, 0, workHeight);
    // Centred on the screen as before; only a window that would leave the
    // work area is moved back into it.
    int64_t left = ((int64_t)screenWidth - r.width) / 2;
    int64_t top = ((int64_t)screenHeight - r.height) / 2;
    r.left = Clamp(left, work->left, (int64_t)work->left + workWidth - r.width);
    r.top = Clamp(top, work->top, (int64_t)work->top + workHeight - r.height);
    return r;
}
