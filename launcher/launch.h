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

// Returns:
//   ENGINE_EXTRACT  the payloads must be extracted; start "_INS0366._MP"
//   ENGINE_RUNNING  a module named "CVINSTSE" is loaded: `directory`
//                   (`directoryCap` bytes) holds its directory; start
//                   "_INS0466._MP" there
int FindRunningEngine(char *directory, size_t directoryCap);

// Extracts the payloads into `directory` when `extract` is 1, then starts
// `directory` + `fileName` with the command line `options` forward (" -cx"
// when `splashShown`). Returns:
//   0                 started
//   7064, 7065, 7066  the extraction failed (ExtractPayloads)
//   7062              the command does not fit, there is no memory for it, or
//                     the start failed; the bootstrap and engine files that
//                     this run extracted are then deleted
int LaunchBootstrap(const char *directory, const char *fileName, int extract, const CommandLineResult *options,
                    int splashShown);
