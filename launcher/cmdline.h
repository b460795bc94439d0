// The launcher's own options and the command line it forwards.
#pragma once

#include <stddef.h>

enum {
    kRewriteBuffer = 284,    // bytes of the buffer in which the copy is rebuilt
    kCommandLineText = 263,  // bytes of the script path and forwarded copy buffers
    kMaxCommandLineBoxes = 8,
};

// A box the command line asks for: message `id` (7061, 7062 or 7067) with
// the first `length` bytes of `argument` (a part of the command line, so it
// lives as long as the line; or null), kWholeArgument for all of it. The
// parser shows nothing; WinMain adds its own boxes and shows them all, in
// order, at its exit.
constexpr size_t kWholeArgument = (size_t)-1;

struct CommandLineBox {
    int id;
    const char *argument;
    size_t length;
};

// What ProcessCommandLine makes of the command line. The caller gives the
// two buffers (kCommandLineText bytes each, scriptPath holding the default
// script); everything else is written by the parser.
struct CommandLineResult {
    char *scriptPath;    // the installation script; -f replaces it
    char *forwarded;     // the copy to forward, "" when it was refused
    int scriptGiven;     // -f
    int noSplash;        // -s
    int engineAsExe;     // -e
    int addZ1;           // 1 unless -z
    int boxCount;        // boxes to show, at most kMaxCommandLineBoxes (CommandLineAddBox)
    CommandLineBox boxes[kMaxCommandLineBoxes];
};

// The arguments in a process's full command line (GetCommandLineA), as the
// C runtime hands them to WinMain: the program name is skipped (a '"' anywhere
// in it opens or closes a quoted part, so blanks inside quotes belong to it),
// then every control character and blank after it. Bytes from 0x80 up are
// characters of the name, never blanks. Null gives "".
const char *SkipProgramName(const char *commandLine);

// Adds a box to show after those of `out`. A full list keeps its first
// boxes and the newest (the one that ends the run takes the last place).
void CommandLineAddBox(CommandLineResult *out, int id, const char *argument, size_t length);

// Scans the command line as WinMain received it (the text after the program
// name) into `out`: the option flags, the -f script path (made absolute with
// `sourceDir`), and the copy to forward with the script option rewritten or
// appended. Nothing is forwarded cut short. Returns:
//   1  the command line allows a launch (out->boxCount is 0)
//   0  it does not; out->boxes holds the boxes, in the order to show them:
//      7067 for an unclosed quote (twice for -f: scan and rewrite),
//      7061 for a -f path that does not fit its buffer (or not made absolute),
//      7062 when the forwarded copy does not fit and no other box was asked for
int ProcessCommandLine(const char *commandLine, const char *sourceDir, CommandLineResult *out);

// Reads one option argument starting at `position` into `dst` of `cap` bytes
// (quoted with '"' or '\'', or up to the next blank). Returns the position at
// which the scan goes on: after the closing quote, at the blank, or at the
// terminator. An unclosed quote shows no box itself: `*unclosed` gets the
// text from the quote on (`position`), else null; the scan's caller shows
// 7067 with it. An argument longer than dst keeps only the whole characters
// that fit, the scan still goes on after all of it, and *fitted (when given)
// is set to 0; otherwise to 1.
const char *ReadArgument(char *dst, size_t cap, const char *position, int *fitted, const char **unclosed);

// Prefixes a path without a directory part with `sourceDir`. Returns:
//   1  the path has a directory part, or now has one
//   0  the result does not fit in `cap` bytes (path unchanged)
int MakeScriptPathAbsolute(char *path, size_t cap, const char *sourceDir);

// Replaces the script option whose '-' or '/' is at `optionOffset` in `copy`
// (a buffer of `cap` bytes) with " -f", the script path (in double quotes when
// it holds a blank) and a blank; the option's argument is read again to find
// where the rest of the copy begins. An offset at the copy's end appends
// " -f" and the path instead. `*unclosed` gets where that argument's
// unclosed quote begins in `copy` (or null). Returns:
//   1  rewritten
//   0  the new copy does not fit (copy unchanged)
int RewriteScriptOption(char *copy, size_t cap, size_t optionOffset, const char *scriptPath,
                        const char **unclosed);
