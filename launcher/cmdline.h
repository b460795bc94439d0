// The launcher's own options and the command line it forwards.
#pragma once

#include <stddef.h>

enum {
    kRewriteBuffer = 284,    // bytes of the buffer in which the copy is rebuilt
};

// Scans the command line as WinMain received it (the text after the program
// name), sets the option flags of g_launcher, reads the -f script path, and
// leaves in g_launcher.commandLine the copy to forward, with the script option
// rewritten or appended. Errors are shown with ShowLaunchError (which sets the
// abort flag); returns 1.
int ProcessCommandLine(const char *commandLine);

// Reads one option argument starting at `position` into `dst` of `cap` bytes
// (quoted with '"' or '\'', or up to the next blank). Returns the position at
// which the scan goes on.
const char *ReadArgument(char *dst, size_t cap, const char *position);

// Prefixes a path without a directory part with the source directory.
int MakeScriptPathAbsolute(char *path, size_t cap);

// Replaces the first recognised -f option of `copy` (a buffer of `cap` bytes)
// with " -f" and the quoted script path.
int RewriteScriptOption(char *copy, size_t cap, const char *scriptPath);
