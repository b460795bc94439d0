// Bounded resource access.
#include "resmodule/resbytes.h"

#include "base/bytes.h"
#include "base/strblock.h"

enum {
    kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY,
};

// 1 when the `size` bytes at `p` are committed, readable memory of one
// allocation (the module's mapping): a size past the file's end reaches
// memory that is free or belongs to something else.
static int InsideOneMapping(const unsigned char *p, uint32_t size)
{
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(p, &info, sizeof info))
        return 0;
    void *allocation = info.AllocationBase;
    const unsigned char *at = p;
    uint32_t left = size;
    for (;;) {
        if (info.State != MEM_COMMIT || !(info.Protect & kReadable) || (info.Protect & PAGE_GUARD) ||
            info.AllocationBase != allocation)
            return 0;
        uintptr_t regionEnd = (uintptr_t)info.BaseAddress + info.RegionSize;
        uintptr_t room = regionEnd - (uintptr_t)at;
        if (left <= room)
            return 1;
        left -= (uint32_t)room;
        at = (const unsigned char *)regionEnd;
        if (!VirtualQuery(at, &info, sizeof info))
            return 0;
    }
}

const unsigned char *ResourceBytes(HMODULE module, LPCSTR type, LPCSTR name, uint32_t *size)
{
    *size = 0;
    // A null module is the program's own image, as for FindResourceA.
    HRSRC info = FindResourceA(module, name, type);
    if (!info)
        return NULL;
    DWORD n = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const unsigned char *bytes = loaded ? (const unsigned char *)LockResource(loaded) : NULL;
    if (!bytes || (n && !InsideOneMapping(bytes, n)))
        return NULL;
    *size = n;
    return bytes;
}

int LoadStringBounded(HMODULE module, int id, char *buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    buffer[0] = '\0';
    if ((unsigned)id > 0xFFFF)
        return 0;
    uint32_t blockSize = 0;
    const unsigned char *block =
        ResourceBytes(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(StringBlockName((uint32_t)id)), &blockSize);
    if (!block)
        return 0;
    const unsigned char *chars = NULL;
    uint32_t count = 0;
    if (!StringBlockEntry(block, blockSize, (uint32_t)id % kStringsPerBlock, &chars, &count) || !chars)
        return 0;

    // Character by character, so that a double-byte character is copied
    // whole or not at all.
    int used = 0;
    for (uint32_t i = 0; i < count; i++) {
        WCHAR wide[2];
        int units = 1;
        wide[0] = (WCHAR)GetUi16(chars + 2 * i);
        if (wide[0] >= 0xD800 && wide[0] < 0xDC00 && i + 1 < count) {
            wide[1] = (WCHAR)GetUi16(chars + 2 * (i + 1));
            units = 2;
        }
        // Straight into the room left before the terminator: a character
        // that does not fit whole fails and ends the copy there.
        int n = WideCharToMultiByte(CP_ACP, 0, wide, units, buffer + used, size - 1 - used, NULL, NULL);
        if (n <= 0)
            break;
        used += n;
        i += (uint32_t)(units - 1);
    }
    buffer[used] = '\0';
    return used;
}
