#include "base/ticks.h"

#include <windows.h>

static uint32_t SystemTicks()
{
    return GetTickCount();
}

static TickSource g_tickSource = SystemTicks;

uint32_t TickNow()
{
    return g_tickSource();
}

void TickSetSource(TickSource source)
{
    g_tickSource = source ? source : SystemTicks;
}
