// The langtable command line, as a function so that tests can run it in the
// same process and read its output.
#pragma once

#include "tools/lib/exitcodes.h"

#include <stdio.h>

#include <string>

namespace lt {

// Exit codes.
enum {
    kExitOk = 0,
    kExitInvalid = 1,   // the description or the table is wrong, or the launcher refuses it
    kExitUsage = tk::kExitUsage,   // the command line is wrong (64, as in every command)
    kExitIo = 3,        // a file could not be read or written
};

int ToolMain(int argc, char **argv, FILE *out, FILE *err);

// Plain explanation of a failure code of the language table's parser.
const char *ErrorText(int code);

}  // namespace lt
