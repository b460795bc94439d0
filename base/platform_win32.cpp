// The platform calls of platform.h over the real Win32 API.
#include "base/platform.h"

#include <windows.h>

// NextChar, BlockAlloc and BlockFree are called from many places: kept out of
// line, each call is a short relative call instead of an indirect one through
// the import table that also needs a relocation.
__attribute__((noinline)) const char *NextChar(const char *p) { return CharNextA(p); }
const char *PrevChar(const char *start, const char *p) { return CharPrevA(start, p); }

int TextCompareNoCase(const char *a, const char *b) { return lstrcmpiA(a, b); }
int TextCompare(const char *a, const char *b) { return lstrcmpA(a, b); }

// Fixed, zero-filled blocks: the handle is the address, so nothing needs
// locking or remembering.
__attribute__((noinline)) void *BlockAlloc(int32_t pool, uint32_t size)
{
    (void)pool;
    return GlobalAlloc(GPTR, size ? size : 1);
}

__attribute__((noinline)) int BlockFree(int32_t pool, void *data)
{
    (void)pool;
    GlobalFree(data);
    return 1;
}

// An InputFile is the file's handle; INVALID_HANDLE_VALUE never escapes.
InputFile *InputFileOpen(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    return h == INVALID_HANDLE_VALUE ? NULL : (InputFile *)h;
}

uint32_t InputFileRead(InputFile *file, void *buffer, uint32_t cap)
{
    DWORD got = 0;
    if (!ReadFile((HANDLE)file, buffer, cap, &got, NULL) || got > cap)
        return 0;
    return got;
}

void InputFileClose(InputFile *file)
{
    if (file)
        CloseHandle((HANDLE)file);
}
