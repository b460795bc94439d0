// The launcher's process-wide record. Each field has one writer; see the
// comments. Window and module handles are kept as void* so that the portable
// command-line code can include this header without <windows.h>.
#pragma once

#include <stdint.h>

enum { kStateTextBuffer = 263 };   // bytes of each of the four text buffers

struct LauncherState {
    void *instance;           // the launcher's own module (HINSTANCE)
    char *sourceDir;          // 263 bytes: directory of setup.exe, ends in '\'
    char *scriptPath;         // 263 bytes: installation script; -f replaces it
    char *commandLine;        // 263 bytes: copy forwarded to the bootstrap
    char *workDir;            // 263 bytes: chosen at main window creation
    void *splashWindow;       // HWND of the splash, or null
    void *mainWindow;         // HWND of the hidden main window, or null
    int abortFlag;            // set by every ShowLaunchError
    int splashClosed;         // 1 unless a splash is up and not yet told to close
    uint32_t splashTimeBase;  // tick count right after the splash was made
    uint32_t launchTime;      // tick count of the successful launch
    uint32_t launchDeadline;  // launchTime + 29000
    int32_t timerTicks;       // timer messages handled
    int scriptGiven;          // -f
    int noSplash;             // -s
    int engineAsExe;          // -e
    int addZ1;                // 1 unless -z
};

extern LauncherState g_launcher;

// Last negative code of a failed language-table load and of the splash's
// resource copy (the language table's LANG_ERR_* codes). 0 at start; nothing
// in the launcher reads it; never reset.
extern int ResLastError;

// Allocates the four text buffers (pool 1) in the order command-line copy,
// work directory, script path, source directory. Returns 0 when memory is
// short; the buffers that were allocated stay.
int LauncherStateAllocate();
