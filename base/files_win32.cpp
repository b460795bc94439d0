// Path helpers that ask the file system.
#include "base/files.h"
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

int IsDirectory(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

HANDLE FileCreateNew(const char *path)
{
    if (IsDirectory(path))
        return INVALID_HANDLE_VALUE;
    DeleteFileA(path);
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
}

int FileWriteAll(HANDLE file, const void *data, uint32_t size)
{
    DWORD written = 0;
    if (size == 0)
        return 1;
    return WriteFile(file, data, size, &written, NULL) && written == size;
}
