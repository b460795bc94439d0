#include "tools/lib/folders.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

namespace tk {

bool MakeFolders(const std::string &dir, std::vector<std::string> *made, std::string *why)
{
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        *why = "exists and is not a folder";
        return false;
    }
    const size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(dir.substr(0, slash), made, why))
        return false;
    if (mkdir(dir.c_str(), 0777) != 0) {
        if (errno == EEXIST)
            return true;
        *why = strerror(errno);
        return false;
    }
    made->push_back(dir);
    return true;
}

bool MakeParentFolders(const std::string &path, std::vector<std::string> *made, std::string *why)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return true;
    return MakeFolders(path.substr(0, slash), made, why);
}

}  // namespace tk
