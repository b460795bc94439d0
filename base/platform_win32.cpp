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

__attribute__((noinline)) void *BlockAlloc(int32_t pool, uint32_t size)
{
    (void)pool;
    if (size > 0xFFFFFFFFu - 4u)
        return NULL;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size + 4u);
    if (!h)
        return NULL;
    unsigned char *p = (unsigned char *)GlobalLock(h);
    if (!p) {
        GlobalFree(h);
        return NULL;
    }
    uint32_t handle = (uint32_t)(uintptr_t)h;
    p[0] = (unsigned char)handle;
    p[1] = (unsigned char)(handle >> 8);
    p[2] = (unsigned char)(handle >> 16);
    p[3] = (unsigned char)(handle >> 24);
    return p + 4;
}

__attribute__((noinline)) int BlockFree(int32_t pool, void *data)
{
    (void)pool;
    const unsigned char *p = (const unsigned char *)data - 4;
    uint32_t handle = (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
                      ((uint32_t)p[3] << 24);
    HGLOBAL h = (HGLOBAL)(uintptr_t)handle;
    GlobalUnlock(h);
    GlobalFree(h);
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
