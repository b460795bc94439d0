// `medium library DESCRIPTION -o OUT`: the command, as a function so that
// tests run it in the same process and read what it prints.
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

namespace medium {

// Exit codes: 0 written; 1 the description or a file it names is wrong;
// 2 wrong command line; 3 a file could not be read or written.
enum {
    kLibraryExitOk = 0,
    kLibraryExitInvalid = 1,
    kLibraryExitUsage = 2,
    kLibraryExitIo = 3,
};

// `args` are the words after "library".
int LibraryCommand(const std::vector<std::string> &args, FILE *out, FILE *err);

extern const char kLibraryUsage[];

}  // namespace medium
