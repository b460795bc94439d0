// The launcher's own options and the command line it forwards.
#pragma once

#include <stddef.h>

enum {
    kRewriteBuffer = 284,    // bytes of the buffer in which the copy is rebuilt
};

// The arguments in a process's full command line (GetCommandLineA), as the
// C runtime hands them to WinMain: the program name is skipped (a '"' anywhere
// in it opens or closes a quoted part, so blanks inside quotes belong to it),
// then every control character and blank after it. Bytes from 0x80 up are
// characters of the name, never blanks. Null gives "".
const char *SkipProgramName(const char *commandLine);

// Scans the command line as WinMain received it (the text after the program
// name), sets the option flags of g_launcher, reads the -f script path, and
// leaves in g_launcher.commandLine the copy to forward, with the script option
// rewritten or appended. Errors are shown with ShowLaunchError (which sets the
// abort flag); returns 1.
//
// Nothing is forwarded cut short: a script path that does not fit its buffer
// shows 7061 with what was read; a forwarded copy that does not fit (the
// command line itself, or with the script option) leaves the copy empty and
// shows 7062, unless an earlier box of the scan has already set the abort
// flag. Either way the abort flag is set, so start-up launches nothing.
int ProcessCommandLine(const char *commandLine);

// Reads one option argument starting at `position` into `dst` of `cap` bytes
// (quoted with '"' or '\'', or up to the next blank). Returns the position at
// which the scan goes on: after the closing quote, at the blank, or at the
// terminator. An unclosed quote shows no box itself: `*unclosed` gets the
// text from the quote on (`position`), else null; the scan's caller shows
// 7067 with it. An argument longer than dst keeps only the whole characters
// that fit, the scan still goes on after all of it, and *fitted (when given)
// is set to 0; otherwise to 1.
const char *ReadArgument(char *dst, size_t cap, const char *position, int *fitted, const char **unclosed);

// Prefixes a path without a directory part with the source directory.
// Returns 1, or 0 when the result does not fit in `cap` bytes (path unchanged).
int MakeScriptPathAbsolute(char *path, size_t cap);

// Replaces the script option whose '-' or '/' is at `optionOffset` in `copy`
// (a buffer of `cap` bytes) with " -f", the script path (in double quotes when
// it holds a blank) and a blank; the option's argument is read again to find
// where the rest of the copy begins. Returns 1, or 0 when the new copy does
// not fit (copy unchanged).
int RewriteScriptOption(char *copy, size_t cap, size_t optionOffset, const char *scriptPath);
