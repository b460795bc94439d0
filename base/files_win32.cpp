// Path helpers that ask the file system.
#include "base/text.h"

#include <windows.h>

int FileExists(const char *path)
{
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(path, &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(h);
    return 1;
}
