// The command line that starts the bootstrap. Portable: it only puts texts
// together, so both builds test it.
#pragma once

#include <stddef.h>

enum {
    kLaunchCommandBuffer = 768,
};

// Writes into `out` (`cap` bytes): the program (`directory`, a backslash,
// `fileName`; in double quotes when it holds a blank, so that the system
// cannot take a shorter name for the program), a blank, the forwarded
// command-line copy, a blank, " -z1" unless -z, " -cx" with a splash window
// or " -c", and " -x" with `directory` (in double quotes when it holds a
// blank). Returns 1; 0 with `out` empty when the command does not fit, so
// that no shortened command is ever started.
int BuildLaunchCommand(char *out, size_t cap, const char *directory, const char *fileName);
