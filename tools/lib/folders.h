// Output folders: made with their parents when missing, as `mkdir -p`.
#pragma once

#include <string>
#include <vector>

namespace tk {

// Makes `dir` and any missing parent. The folders it made are appended to
// `made` (parents first), so a caller that fails later can take them away
// again. False with the system's reason in `why` (or "exists and is not a
// folder").
bool MakeFolders(const std::string &dir, std::vector<std::string> *made, std::string *why);

// Makes the folder that holds `path` (nothing for a bare file name).
bool MakeParentFolders(const std::string &path, std::vector<std::string> *made, std::string *why);

}  // namespace tk
