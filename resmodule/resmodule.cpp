// Resource module. Until the library is opened, every lookup answers with
// the default module and the id unchanged.
#include "resmodule/resmodule.h"

struct ResModuleState {
    HMODULE defaultModule;
    int open;
};

static ResModuleState g_res;

int ResModuleOpen(HMODULE defaultModule, int pool, const char *primaryPath, const char *secondaryPath)
{
    (void)pool;
    (void)primaryPath;
    (void)secondaryPath;
    g_res.defaultModule = defaultModule;
    return 0;
}

int ResModuleClose()
{
    if (!g_res.open)
        return 0;
    g_res.open = 0;
    return 1;
}

int ResModuleIsOpen() { return g_res.open; }

int ResRedirect(HMODULE defaultModule, int kind, int id, HMODULE *moduleOut)
{
    (void)kind;
    *moduleOut = defaultModule;
    return id;
}

HMODULE ResRedirectModule(int kind, int id)
{
    HMODULE m;
    ResRedirect(g_res.defaultModule, kind, id, &m);
    return m;
}

int ResRedirectId(int kind, int id)
{
    HMODULE m;
    return ResRedirect(g_res.defaultModule, kind, id, &m);
}
