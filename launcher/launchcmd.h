// The command line that starts the bootstrap. Portable: it only puts texts
// together, so both builds test it.
#pragma once

#include <stddef.h>

#include "launcher/cmdline.h"

enum {
    kLaunchCommandBuffer = 768,
};

// Writes into `out` (`cap` bytes): the program (`directory`, a backslash,
// `fileName`; in double quotes when it holds a blank, so that the system
// cannot take a shorter name for the program), a blank, the forwarded copy
// of `options`, a blank, " -z1" unless -z, " -cx" when `splashShown` or
// " -c", and " -x" with `directory` (in double quotes when it holds a
// blank). Returns:
//   1  the command is in `out`
//   0  it does not fit; `out` is empty, so no shortened command is started
int BuildLaunchCommand(char *out, size_t cap, const char *directory, const char *fileName,
                       const CommandLineResult *options, int splashShown);
