// String loading through the resource redirection.
#include "resmodule/setupstring.h"

#include <windows.h>

#include "resmodule/resbytes.h"
#include "resmodule/resmodule.h"

int LoadSetupString(int id, char *buffer, int size)
{
    HMODULE module = ResRedirectModule(RES_KIND_STRING, id);
    int mapped = ResRedirectId(RES_KIND_STRING, id);
    return LoadStringBounded(module, mapped, buffer, size);
}
