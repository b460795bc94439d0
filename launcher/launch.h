// Starting the bootstrap (or an engine that is already loaded).
#pragma once

#include <stddef.h>

#include "launcher/launchcmd.h"

#define ENGINE_MODULE "CVINSTSE"

// The command last handed to WinExec, empty before the first launch and
// after a refused one. Kept for tests and diagnosis; nothing reads it.
extern char g_lastLaunchCommand[kLaunchCommandBuffer];

// 1 when the payloads must be extracted. 0 when a module named "CVINSTSE" is
// loaded: `directory` (`directoryCap` bytes) then holds that module's
// directory and `fileName` (`fileNameCap` bytes) "_INS0466._MP".
int FindRunningEngine(char *directory, size_t directoryCap, char *fileName, size_t fileNameCap);

// Extracts the payloads into `directory` when `extract` is 1, then starts
// `directory` + `fileName` with the forwarded command line. 1 when started;
// 0 after a box: the extraction's, or 7062 when the command does not fit or
// the start fails (then the bootstrap and engine files that this run
// extracted are deleted).
int LaunchBootstrap(const char *directory, const char *fileName, int extract);
