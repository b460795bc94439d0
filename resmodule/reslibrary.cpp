// Libraries mapped as data: the resource module's libraries and the one the
// language table is read from.
#include "resmodule/reslibrary.h"

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
