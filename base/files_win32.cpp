// Path helpers that ask the file system.
#include "base/files.h"
#include "base/text.h"

#include <windows.h>

#include "base/platform.h"

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

// The system's own name for what `path` opens, as "\\?\C:\..." (cut to
// `cap`). 0 when it cannot be had. (Vista and later, as the manifest says.)
static DWORD FinalPath(const char *path, char *out, DWORD cap)
{
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD n = GetFinalPathNameByHandleA(h, out, cap, 0);
    CloseHandle(h);
    return n < cap ? n : 0;
}

// 0 when the existing `path` is a link to a file elsewhere: the system then
// names the file it opens other than the folder's own name joined with the
// file name. Deleting such a name can remove the file it points at (Wine does),
// so it is neither deleted nor written.
static int NameIsItsOwnFile(const char *path)
{
    char directory[kLongPathBuffer];
    char fileFinal[kLongPathBuffer + 8];
    char dirFinal[kLongPathBuffer + 8];
    if (!DirectoryPart(path, directory, sizeof directory) || !FinalPath(path, fileFinal, sizeof fileFinal))
        return 0;
    // The name follows the directory part and the separator it drops.
    const char *name = path + TextLength(directory);
    if (*name == '\\' || *name == '/')
        name++;
    // A name without a folder part has no final path to compare with: it
    // counts as a link, and the launcher only ever passes full paths.
    char expected[kLongPathBuffer + 8];
    return FinalPath(directory, dirFinal, sizeof dirFinal) &&
           PathJoin(expected, sizeof expected, dirFinal, name) && TextCompareNoCase(expected, fileFinal) == 0;
}

int NameIsLink(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES && !NameIsItsOwnFile(path);
}

HANDLE FileCreateNew(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) || !NameIsItsOwnFile(path))
            return INVALID_HANDLE_VALUE;
        DeleteFileA(path);
    }
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
}

int FileWriteAll(HANDLE file, const void *data, uint32_t size)
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, NULL) && written == size;
}

int WideNameToCodePage(unsigned codePage, const wchar_t *wide, char *out, size_t cap)
{
    BOOL lossy = FALSE;
    // No best fit: a letter the code page lacks becomes the default character
    // and is reported, instead of turning into another name.
    int n = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, -1, out, (int)cap, NULL, &lossy);
    // UTF-8 holds every character and refuses both the flag and the report;
    // there only a lone surrogate is lost, and this flag refuses it. The
    // other code pages refuse this flag itself (and a conversion that failed
    // for want of room fails again: a best fit is never shorter).
    if (n == 0)
        n = WideCharToMultiByte(codePage, WC_ERR_INVALID_CHARS, wide, -1, out, (int)cap, NULL, NULL);
    return n > 0 && !lossy;
}

int AnsiPathFromWide(const wchar_t *path, unsigned long length, char *out, size_t cap)
{
    // First the path as given, then its short form: the short name is made
    // of characters every code page holds, where the volume keeps one.
    wchar_t shortPath[kPathBuffer];
    for (;;) {
        if (length == 0 || length >= kPathBuffer)
            return 0;
        if (WideNameToCodePage(CP_ACP, path, out, cap))
            return 1;
        if (path == shortPath)
            return 0;
        length = GetShortPathNameW(path, shortPath, kPathBuffer);
        path = shortPath;
    }
}
