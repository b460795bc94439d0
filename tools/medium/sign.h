// The sign step of `medium build`: the builder's own signing program, run on
// the finished setup.exe without a shell.
#pragma once

#include <string>
#include <vector>

namespace medium {

// Runs `argv` (argv[0] looked up on the PATH) in the folder `dir` and waits
// for it. Its standard output goes to our standard error, so the build's own
// report stays apart. True when it ran and exited with 0; otherwise `why`
// says what happened ("not found", "exited with 1", "killed by signal 9").
bool RunCommand(const std::vector<std::string> &argv, const std::string &dir, std::string *why);

}  // namespace medium
