// Libraries mapped as data: the resource module's libraries and the one the
// language table is read from.
#include "resmodule/reslibrary.h"

#include "base/platform.h"
#include "base/text.h"

enum { kErrorModeQuiet = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX };

HMODULE LoadResourceLibrary(const char *path)
{
    // As a data file: the library is only read for its resources, and its
    // entry point must never run inside the launcher.
    SetErrorMode(kErrorModeQuiet);
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    SetErrorMode(0);
    if ((UINT_PTR)module < 32)
        return NULL;
    return module;
}

struct LibraryRecord {
    char path[kPathBuffer];
    HMODULE module;
    LibraryRecord *next;
};

static LibraryRecord *g_libraries;

static LibraryRecord *FindLibrary(const char *path)
{
    for (LibraryRecord *r = g_libraries; r; r = r->next)
        if (TextCompare(r->path, path) == 0)
            return r;
    return NULL;
}

int LibraryOpen(const char *path)
{
    if (!path || !*path)
        return 0;
    // A record keeps the path it was opened under; one that cannot be kept
    // whole could not be found again, so it is not opened.
    if (TextLength(path) > kPathChars)
        return 0;
    HMODULE module = LoadResourceLibrary(path);
    if (!module)
        return 0;
    LibraryRecord *record = (LibraryRecord *)BlockAlloc(1, sizeof(LibraryRecord));
    if (!record) {
        FreeLibrary(module);
        return 0;
    }
    TextCopy(record->path, sizeof record->path, path);
    record->module = module;
    record->next = g_libraries;
    g_libraries = record;
    return 1;
}

HMODULE LibraryHandle(const char *path)
{
    LibraryRecord *r = path ? FindLibrary(path) : NULL;
    return r ? r->module : NULL;
}

static void DropRecord(LibraryRecord **link)
{
    LibraryRecord *r = *link;
    FreeLibrary(r->module);
    *link = r->next;
    BlockFree(1, r);
}

int LibraryClose(const char *path)
{
    if (!path)
        return 1;
    for (LibraryRecord **link = &g_libraries; *link; link = &(*link)->next)
        if (TextCompare((*link)->path, path) == 0) {
            DropRecord(link);
            break;
        }
    return 1;
}

// Closes the record that holds `module`. The resource module closes its
// libraries this way: the indexed mode keeps no secondary path, and that
// library must not stay loaded after close.
void LibraryCloseModule(HMODULE module)
{
    for (LibraryRecord **link = &g_libraries; *link; link = &(*link)->next)
        if ((*link)->module == module) {
            DropRecord(link);
            return;
        }
}

