// medium inspect on hostile images: any bytes, read as a resource library and
// as a launcher, give a report without a crash or a hang, and the report
// agrees with the image model: an image the model refuses is an error in
// both reports (never a clean or a warnings-only result), one it reads has
// its size reported, and every finding names the file and says something.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/pe_image.h"
#include "tools/medium/inspect.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

const std::string *Fact(const medium::ReportNode &n, const char *key)
{
    for (const medium::ReportNode &c : n.items) {
        if (c.key == key)
            return &c.value;
    }
    return nullptr;
}

void CheckFindings(const medium::Inspection &in, const char *file)
{
    for (const medium::Finding &f : in.findings)
        Check(!f.text.empty() && f.file == file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<uint8_t> image(data, data + size);
    tk::PeImage pe;
    std::string err;
    const bool parsed = tk::ParsePeImage(data, size, &pe, &err);

    medium::Inspection library;
    medium::LibraryView view;
    medium::InspectLibraryImage(image, "_SETUP.DLL", &library, &view);
    CheckFindings(library, "_SETUP.DLL");

    // As the launcher, also with the piece counts a library would supply.
    medium::Inspection launcher;
    medium::InspectLauncherImage(image, "setup.exe", &launcher, view.pieceCounts);
    CheckFindings(launcher, "setup.exe");

    if (!parsed) {
        Check(!view.read);
        Check(medium::InspectStatus(library.findings) == medium::kInspectErrors);
        Check(medium::InspectStatus(launcher.findings) == medium::kInspectErrors);
    } else if (const std::string *reported = Fact(launcher.facts, "size")) {
        Check(*reported == std::to_string(size));
        const std::string *without = Fact(launcher.facts, "sizeWithoutResources");
        Check(without && std::stoull(*without) <= size);
    }
    return 0;
}
