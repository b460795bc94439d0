#include "base/state.h"

#include "base/platform.h"

LauncherState g_launcher;
int ResLastError;

int LauncherStateAllocate()
{
    // The order is part of the launcher's memory layout; keep it.
    g_launcher.commandLine = (char *)BlockAlloc(1, kStateTextBuffer);
    if (!g_launcher.commandLine)
        return 0;
    g_launcher.workDir = (char *)BlockAlloc(1, kStateTextBuffer);
    if (!g_launcher.workDir)
        return 0;
    g_launcher.scriptPath = (char *)BlockAlloc(1, kStateTextBuffer);
    if (!g_launcher.scriptPath)
        return 0;
    g_launcher.sourceDir = (char *)BlockAlloc(1, kStateTextBuffer);
    if (!g_launcher.sourceDir)
        return 0;
    return 1;
}
