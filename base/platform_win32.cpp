// The platform calls of platform.h over the real Win32 API.
#include "base/platform.h"

#include <windows.h>

#include <string.h>

// NextChar, BlockAlloc and BlockFree are called from many places: kept out of
// line, each call is a short relative call instead of an indirect one through
// the import table that also needs a relocation.
__attribute__((noinline)) const char *NextChar(const char *p) { return CharNextA(p); }
const char *PrevChar(const char *start, const char *p) { return CharPrevA(start, p); }

int TextCompareNoCase(const char *a, const char *b) { return lstrcmpiA(a, b); }
int TextCompare(const char *a, const char *b) { return lstrcmpA(a, b); }

// The block's handle sits in a header in front of the data: 4 bytes on
// 32-bit Windows, and a whole pointer on 64-bit Windows, where a handle cut
// to 32 bits would free another object and the data would lose the pointer
// alignment that GlobalLock gives.
__attribute__((noinline)) void *BlockAlloc(int32_t pool, uint32_t size)
{
    (void)pool;
    if (size > 0xFFFFFFFFu - kBlockHeaderSize)
        return NULL;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (SIZE_T)size + kBlockHeaderSize);
    if (!h)
        return NULL;
    unsigned char *p = (unsigned char *)GlobalLock(h);
    if (!p) {
        GlobalFree(h);
        return NULL;
    }
    memcpy(p, &h, sizeof h);
    return p + kBlockHeaderSize;
}

__attribute__((noinline)) int BlockFree(int32_t pool, void *data)
{
    (void)pool;
    HGLOBAL h;
    memcpy(&h, (const unsigned char *)data - kBlockHeaderSize, sizeof h);
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
