// Language table: the fetch of the table resource from the resource library.
#include <windows.h>

#include <string.h>

#include "base/platform.h"
#include "resmodule/langtable.h"
#include "resmodule/reslibrary.h"

// The library is mapped as a data file (LoadResourceLibrary), so its entry
// point never runs: the table is data.
static unsigned char *FetchTableResource(const char *libraryPath, int32_t pool, uint32_t *sizeOut)
{
    HMODULE module = nullptr;
    unsigned char *copy = nullptr;

    *sizeOut = 0;
    module = LoadResourceLibrary(libraryPath);
    if (!module)
        return nullptr;

    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(RES_LANG_TABLE_NAME),
                               MAKEINTRESOURCEA(RT_LANG_TABLE));
    if (!info)
        goto done;
    {
        DWORD size = SizeofResource(module, info);
        HGLOBAL loaded = LoadResource(module, info);
        const void *bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes || size > 0xFFFFFFFFu - 8u)
            goto done;
        // Two zero bytes after the data, as the block is zero-filled.
        copy = (unsigned char *)BlockAlloc(pool, (uint32_t)size + 2u);
        if (copy) {
            memcpy(copy, bytes, size);
            *sizeOut = (uint32_t)size;
        }
        FreeResource(loaded);
    }
done:
    FreeLibrary(module);
    return copy;
}

LangTable *LangTableLoad(const char *libraryPath, int loadFlags)
{
    return LangTableLoadWith(libraryPath, loadFlags, FetchTableResource);
}
