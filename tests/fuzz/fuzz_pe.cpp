// PE resource reader: any bytes are read or refused cleanly; what is read
// writes back into a DLL (and into the image itself, where it can take it)
// that reads back to the same list.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/pe_image.h"

namespace {

bool Same(const tk::ResList &a, const tk::ResList &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        const tk::ResEntry &x = a[i];
        const tk::ResEntry &y = b[i];
        if (x.type.named != y.type.named || x.type.id != y.type.id || x.type.name != y.type.name ||
            x.name.named != y.name.named || x.name.id != y.name.id || x.name.name != y.name.name ||
            x.lang != y.lang || x.codePage != y.codePage || x.data != y.data)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tk::ResList res;
    std::string err;
    if (!tk::ReadResources(data, size, &res, &err)) {
        if (err.empty())
            __builtin_trap();
        return 0;
    }
    // The writer sorts and refuses duplicates; a list it takes reads back
    // in its sorted order, which a second write leaves alone.
    std::vector<uint8_t> dll;
    if (!tk::WriteResourceDll(res, &dll, &err))
        return 0;
    tk::ResList back, again;
    std::vector<uint8_t> dll2;
    if (!tk::ReadResources(dll.data(), dll.size(), &back, &err) ||
        !tk::WriteResourceDll(back, &dll2, &err) || dll2 != dll)
        __builtin_trap();

    std::vector<uint8_t> image;
    std::vector<std::string> warnings;
    if (tk::ReplaceResources(data, size, back, &image, &warnings, &err)) {
        if (!tk::ReadResources(image.data(), image.size(), &again, &err) || !Same(back, again))
            __builtin_trap();
    }
    // The page-aligned layout of the same image reads back the same.
    image.clear();
    again.clear();
    if (tk::ReplaceResources(data, size, back, &image, &warnings, &err, 4096)) {
        if (!tk::ReadResources(image.data(), image.size(), &again, &err) || !Same(back, again))
            __builtin_trap();
    }
    return 0;
}
