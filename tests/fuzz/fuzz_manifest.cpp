// Manifests: any bytes are checked within the bounds, and a manifest passed
// without an error requests a level the platform knows.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "tools/lib/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tk::ManifestInfo info;
    tk::Problems p;
    tk::CheckManifest(data, size, &info, &p);
    bool error = tk::HasError(p);
    if (!info.wellFormed && !error)
        __builtin_trap();
    if (!error && !info.executionLevel.empty()) {
        const std::string &l = info.executionLevel;
        if (l != "asInvoker" && l != "highestAvailable" && l != "requireAdministrator")
            __builtin_trap();
        if (!info.uiAccess.empty() && info.uiAccess != "true" && info.uiAccess != "false")
            __builtin_trap();
    }
    return 0;
}
