// The launcher's process-wide record. Each field has one writer; see the
// comments. What the splash shares with the timer (its window, whether it
// may close, its time base) is the splash's record (splash/splash_state.h);
// the options travel as the command line's result (launcher/cmdline.h).
#pragma once

#include <stdint.h>

enum { kStateTextBuffer = 263 };   // bytes of each of the four text buffers

struct LauncherState {
    void *instance;           // the launcher's own module (HINSTANCE)
    char *sourceDir;          // 263 bytes: directory of setup.exe, ends in '\'
    char *scriptPath;         // 263 bytes: installation script; -f replaces it
    char *commandLine;        // 263 bytes: copy forwarded to the bootstrap
    char *workDir;            // 263 bytes: chosen at main window creation
    uint32_t launchTime;      // tick count of the successful launch
    int32_t timerTicks;       // timer messages handled
};

extern LauncherState g_launcher;

// Allocates the four text buffers (pool 1) in the order command-line copy,
// work directory, script path, source directory. Returns:
//   1  all four allocated
//   0  memory is short; the buffers that were allocated stay
int LauncherStateAllocate();
