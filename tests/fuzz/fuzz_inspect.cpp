// medium inspect on hostile images: any bytes, read as a resource library and
// as a launcher, give a report and findings without a crash or a hang, and
// an image that cannot be read is always a finding.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/medium/inspect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> image(data, data + size);
    medium::Inspection library;
    medium::LibraryView view;
    medium::InspectLibraryImage(image, "_SETUP.DLL", &library, &view);
    if (!view.read && library.findings.empty())
        __builtin_trap();

    // As the launcher, also with the piece counts a library would supply.
    medium::Inspection launcher;
    medium::InspectLauncherImage(image, "setup.exe", &launcher, view.pieceCounts);
    if (launcher.kind.empty())
        __builtin_trap();
    for (const medium::Finding &f : launcher.findings) {
        if (f.text.empty())
            __builtin_trap();
    }
    return 0;
}
