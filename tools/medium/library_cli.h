// `medium library DESCRIPTION -o OUT` as a function of its words and output
// streams, so that tests run it in the same process and read what it prints.
// Exit codes are the medium tool's (cli.h).
#pragma once

#include <stdio.h>

#include <string>
#include <vector>

namespace medium {

// `args` are the words after "library".
int RunLibraryCommand(const std::vector<std::string> &args, FILE *out, FILE *err);

}  // namespace medium
