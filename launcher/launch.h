// Starting the bootstrap (or an engine that is already loaded).
#pragma once

#include <stddef.h>

#include "launcher/launchcmd.h"

#define ENGINE_MODULE "CVINSTSE"

// What FindRunningEngine found.
enum {
    ENGINE_RUNNING = 0,   // start the loaded engine's file; nothing to extract
    ENGINE_EXTRACT = 1,   // no engine loaded: extract the payloads
};

// ENGINE_EXTRACT when the payloads must be extracted. ENGINE_RUNNING when a
// module named "CVINSTSE" is loaded: `directory` (`directoryCap` bytes) then
// holds that module's directory and `fileName` (`fileNameCap` bytes)
// "_INS0466._MP".
int FindRunningEngine(char *directory, size_t directoryCap, char *fileName, size_t fileNameCap);

// Extracts the payloads into `directory` when `extract` is 1, then starts
// `directory` + `fileName` with the forwarded command line. 1 when started;
// 0 after a box: the extraction's, or 7062 when the command does not fit (or
// there is no memory for it) or the start fails; then the bootstrap and
// engine files that this run extracted are deleted.
int LaunchBootstrap(const char *directory, const char *fileName, int extract);
