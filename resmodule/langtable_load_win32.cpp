// Language table: the fetch of the table resource from the resource library.
#include <windows.h>

#include <string.h>

#include "base/platform.h"
#include "resmodule/langtable.h"
#include "resmodule/resbytes.h"
#include "resmodule/reslibrary.h"

// The library is mapped as a data file (LoadResourceLibrary), so its entry
// point never runs: the table is data. A library the resource module has
// open already is read where it is mapped rather than mapped again.
static unsigned char *FetchTableResource(const char *libraryPath, int32_t pool, uint32_t *sizeOut)
{
    unsigned char *copy = nullptr;
    HMODULE mapped = nullptr;

    *sizeOut = 0;
    HMODULE module = LibraryHandle(libraryPath);
    if (!module)
        module = mapped = LoadResourceLibrary(libraryPath);
    if (!module)
        return nullptr;

    {
        // Only bytes that lie inside the library: a size that runs past
        // its file counts as no table.
        uint32_t size = 0;
        const unsigned char *bytes = ResourceBytes(module, MAKEINTRESOURCEA(RT_LANG_TABLE),
                                                   MAKEINTRESOURCEA(RES_LANG_TABLE_NAME), &size);
        if (!bytes || size > 0xFFFFFFFFu - 8u)
            goto done;
        // Two zero bytes after the data, as the block is zero-filled.
        copy = (unsigned char *)BlockAlloc(pool, size + 2u);
        if (copy) {
            memcpy(copy, bytes, size);
            *sizeOut = size;
        }
    }
done:
    if (mapped)
        FreeLibrary(mapped);
    return copy;
}

LangTable *LangTableLoad(const char *libraryPath, int loadFlags)
{
    return LangTableLoadWith(libraryPath, loadFlags, FetchTableResource);
}
