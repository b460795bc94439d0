// The resource module: _SETUP.DLL opened for its resources, and the
// redirection of every (kind, id) the launcher loads to a module and an id.
//
// Probing mode (no language table): a resource comes from the library when the
// library has it, else from the launcher. Indexed mode: the language table
// maps the id to the library's id for the current language; ids it does not
// list come from the launcher.
#include "resmodule/resmodule.h"

#include "base/bytes.h"
#include "base/ids.h"
#include "base/platform.h"
#include "base/text.h"
#include "resmodule/langtable.h"
#include "resmodule/resbytes.h"
#include "resmodule/reslibrary.h"

enum {
    kLanguageNameBuffer = 52,
    kProbeBuffer = 1024,
    kNoSuchType = 10000,
};

struct ResModuleState {
    HMODULE defaultModule;
    int open;
    int indexed;
    HMODULE primaryModule;
    HMODULE secondaryModule;
    LangTable *languageTable;
    char *primaryPath;     // kPathBuffer bytes, a memory block
    char *secondaryPath;   // kPathBuffer bytes, a memory block
};

static ResModuleState g_res;

static void ChooseLanguage(LangTable *table)
{
    char lcid[kDecimalBuffer];
    char name[kLanguageNameBuffer] = "";
    FormatDecimal(lcid, sizeof lcid, (long)GetUserDefaultLCID());
    LangTableMatchLcid(table, lcid, name, sizeof name);
    if (!LangTableSelect(table, name)) {
        LangTableDefaultName(table, name, sizeof name);
        LangTableSelect(table, name);
    }
}

int ResModuleOpen(HMODULE defaultModule, int pool, const char *primaryPath, const char *secondaryPath)
{
    g_res.defaultModule = defaultModule;
    if (g_res.open)
        return 1;
    g_res.primaryModule = NULL;
    g_res.secondaryModule = NULL;
    g_res.languageTable = NULL;
    g_res.indexed = 0;

    if (!g_res.primaryPath)
        g_res.primaryPath = (char *)BlockAlloc(pool, kPathBuffer);
    if (!g_res.secondaryPath)
        g_res.secondaryPath = (char *)BlockAlloc(pool, kPathBuffer);
    if (!g_res.primaryPath || !g_res.secondaryPath)
        return 0;

    if (LibraryOpen(primaryPath))
        g_res.primaryModule = LibraryHandle(primaryPath);
    if (LibraryOpen(secondaryPath))
        g_res.secondaryModule = LibraryHandle(secondaryPath);

    if (ResHasLanguageTable(g_res.primaryModule)) {
        LangTable *table = LangTableLoad(primaryPath, LANG_LOAD_LIBRARY);
        if (!table) {
            // The module stays closed and everything comes from the launcher;
            // nothing will close these libraries later, so release them now.
            LibraryCloseModule(g_res.primaryModule);
            if (g_res.secondaryModule)
                LibraryCloseModule(g_res.secondaryModule);
            g_res.primaryModule = NULL;
            g_res.secondaryModule = NULL;
            return 0;
        }
        g_res.languageTable = table;
        g_res.indexed = 1;
        ChooseLanguage(table);
        TextCopy(g_res.primaryPath, kPathBuffer, primaryPath);
        g_res.open = 1;
        return 1;
    }

    if (!g_res.primaryModule && !g_res.secondaryModule)
        return 0;
    g_res.open = 1;
    TextCopy(g_res.primaryPath, kPathBuffer, primaryPath ? primaryPath : "");
    TextCopy(g_res.secondaryPath, kPathBuffer, secondaryPath ? secondaryPath : "");
    return 1;
}

int ResModuleClose()
{
    if (!g_res.open)
        return 0;
    if (g_res.languageTable)
        LangTableClose(g_res.languageTable);
    if (g_res.primaryModule)
        LibraryCloseModule(g_res.primaryModule);
    if (g_res.secondaryModule)
        LibraryCloseModule(g_res.secondaryModule);
    if (g_res.primaryPath)
        BlockFree(1, g_res.primaryPath);
    if (g_res.secondaryPath)
        BlockFree(1, g_res.secondaryPath);
    g_res.primaryPath = NULL;
    g_res.secondaryPath = NULL;
    g_res.open = 0;
    g_res.indexed = 0;
    g_res.primaryModule = NULL;
    g_res.secondaryModule = NULL;
    g_res.languageTable = NULL;
    return 1;
}

int ResModuleIsOpen() { return g_res.open; }

int ResModuleGetPaths(char *primaryOut, size_t primaryCap, char *secondaryOut, size_t secondaryCap)
{
    TextCopy(primaryOut, primaryCap, "");
    TextCopy(secondaryOut, secondaryCap, "");
    if (!g_res.open)
        return 0;
    TextCopy(primaryOut, primaryCap, g_res.primaryPath);
    TextCopy(secondaryOut, secondaryCap, g_res.secondaryPath);
    return 1;
}

LangTable *ResModuleLanguageTable() { return g_res.languageTable; }
HMODULE ResModulePrimary() { return g_res.primaryModule; }

int ResKindToType(int kind)
{
    switch (kind) {
    case RES_KIND_STRING: return RES_TYPE_STRING;
    case RES_KIND_DIALOG: return RES_TYPE_DIALOG;
    case RES_KIND_ICON: return RES_TYPE_ICON;
    case RES_KIND_BITMAP: return RES_TYPE_BITMAP;
    default: return kNoSuchType;
    }
}

int ResProbe(HMODULE module, int type, int id)
{
    switch (type) {
    case RES_TYPE_STRING: {
        // An empty string counts as absent. On the stack: a static buffer
        // would cost its size in the file.
        char probe[kProbeBuffer];
        return LoadStringBounded(module, id, probe, kProbeBuffer) != 0;
    }
    case RES_TYPE_ICON:
        return LoadIconA(module, MAKEINTRESOURCEA(id)) != NULL;
    case RES_TYPE_DIALOG:
    case RES_TYPE_BITMAP:
        return FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(type)) != NULL;
    default:
        return 0;
    }
}

int ResHasLanguageTable(HMODULE module)
{
    if (!module)
        return 0;
    return FindResourceA(module, MAKEINTRESOURCEA(RES_LANG_TABLE_NAME),
                         MAKEINTRESOURCEA(RT_LANG_TABLE)) != NULL;
}

int ResRedirect(HMODULE defaultModule, int kind, int id, HMODULE *moduleOut)
{
    *moduleOut = defaultModule;
    if (!g_res.open)
        return id;
    if (!g_res.indexed) {
        int type = ResKindToType(kind);
        if (g_res.secondaryModule && ResProbe(g_res.secondaryModule, type, id))
            *moduleOut = g_res.secondaryModule;
        else if (g_res.primaryModule && ResProbe(g_res.primaryModule, type, id))
            *moduleOut = g_res.primaryModule;
        return id;
    }
    char name[kDecimalBuffer];
    char value[kLangValueBuffer];
    FormatDecimal(name, sizeof name, id);
    if (!LangTableLookup(g_res.languageTable, name, kind, value, sizeof value))
        return id;
    *moduleOut = g_res.primaryModule;
    return (int)ParseDecimal(value);
}

HMODULE ResRedirectModule(int kind, int id)
{
    HMODULE module;
    ResRedirect(g_res.defaultModule, kind, id, &module);
    return module;
}

int ResRedirectId(int kind, int id)
{
    HMODULE module;
    return ResRedirect(g_res.defaultModule, kind, id, &module);
}
