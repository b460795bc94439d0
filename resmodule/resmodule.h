// The resource module: _SETUP.DLL opened as a resource library, and the
// redirection of (resource kind, id) to the module and id to load from.
#pragma once

#include <windows.h>

#include "base/ids.h"

struct LangTable;


// Opens the primary (and optional secondary) library. 1 when open.
int ResModuleOpen(HMODULE defaultModule, int pool, const char *primaryPath, const char *secondaryPath);
int ResModuleClose();
int ResModuleIsOpen();
// Copies both paths into `primaryOut` and `secondaryOut` of their
// capacities (kPathBuffer hold any); 0 with both empty when not open.
int ResModuleGetPaths(char *primaryOut, size_t primaryCap, char *secondaryOut, size_t secondaryCap);
LangTable *ResModuleLanguageTable();
HMODULE ResModulePrimary();

// Resource types as numbers (the values of RT_BITMAP, RT_ICON, RT_DIALOG and
// RT_STRING), as ResKindToType gives them and ResProbe takes them.
enum ResType {
    RES_TYPE_BITMAP = 2,
    RES_TYPE_ICON = 3,
    RES_TYPE_DIALOG = 5,
    RES_TYPE_STRING = 6,
};

int ResRedirect(HMODULE defaultModule, int kind, int id, HMODULE *moduleOut);
HMODULE ResRedirectModule(int kind, int id);
int ResRedirectId(int kind, int id);
int ResKindToType(int kind);
int ResProbe(HMODULE module, int type, int id);
int ResHasLanguageTable(HMODULE module);
