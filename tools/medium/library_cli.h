// `medium library DESCRIPTION -o OUT` as a function of its words and output
// streams, so that tests run it in the same process and read what it prints.
// Exit codes are the medium tool's (cli.h).
#pragma once

#include <stdio.h>

#include <string>
#include <utility>
#include <vector>

namespace medium {

// `args` are the words after "library". `defines` (a project's [define]
// table, even an empty one) expands the description as --define does; the
// --define words come after them.
int RunLibraryCommand(const std::vector<std::string> &args, FILE *out, FILE *err,
                      const std::vector<std::pair<std::string, std::string>> *defines = nullptr);

}  // namespace medium
