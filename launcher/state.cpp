#include "launcher/state.h"

#include "base/platform.h"

LauncherState g_launcher;

int LauncherStateAllocate()
{
    // The order is part of the launcher's memory layout; keep it.
    static char **const buffers[] = {&g_launcher.commandLine, &g_launcher.workDir, &g_launcher.scriptPath,
                                     &g_launcher.sourceDir};
    for (char **buffer : buffers) {
        *buffer = (char *)BlockAlloc(1, kStateTextBuffer);
        if (!*buffer)
            return 0;
    }
    return 1;
}
