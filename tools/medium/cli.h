// The medium tool's command line: exit codes shared by every subcommand,
// and the subcommands' entry points.
#pragma once

#include "tools/lib/exitcodes.h"

#include <stdio.h>

#include <string>

namespace medium {

// Exit codes: each means one thing (documented in `medium --help`).
enum Exit {
    kExitOk = 0,
    kExitInput = 1,   // an input file is missing, unreadable or not what it claims
    kExitUsage = tk::kExitUsage,   // the command line is wrong (64, in every command)
    kExitIo = 3,      // writing the output failed (disk full, permissions)
};

// A failure on its way to the top: the exit code and one line,
// "FILE: what is wrong; what to do".
struct Failure {
    int code = kExitOk;
    std::string message;
};

inline bool Fail(Failure *f, int code, const std::string &message)
{
    f->code = code;
    f->message = message;
    return false;
}

// `medium build ...`: argv[0] is "build".
int BuildCommand(int argc, char **argv);
void BuildHelp(FILE *out);

// `medium record --bootstrap F --engine F --companion F -o FILE`: argv[0]
// is "record".
int RecordCommand(int argc, char **argv);
void RecordHelp(FILE *out);

// `medium new DIR`: argv[0] is "new".
int NewCommand(int argc, char **argv);
void NewHelp(FILE *out);

// `medium library DESCRIPTION -o _SETUP.DLL`: argv[0] is "library".
int LibraryCommand(int argc, char **argv);
void LibraryHelp(FILE *out);

}  // namespace medium
