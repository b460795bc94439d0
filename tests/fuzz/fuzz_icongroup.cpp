// Icon groups: the input is a group and two icons (two length bytes
// first); any bytes are read within the bounds, and a group passed without
// an error names only icons that are there with the sizes it gives.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "tools/lib/icongroup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t groupSize = data[0] < size - 2 ? data[0] : size - 2;
    size_t rest = size - 2 - groupSize;
    size_t first = (size_t)data[1] * 8 < rest ? (size_t)data[1] * 8 : rest;
    const uint8_t *group = data + 2;
    std::vector<tk::IconResource> icons = {{1, group + groupSize, first},
                                             {2, group + groupSize + first, rest - first}};
    std::vector<tk::IconEntry> entries;
    tk::Problems p;
    tk::CheckIconGroup(group, groupSize, icons, "icon group 1", &entries, &p);
    if (entries.size() > tk::kMaxIconGroupEntries || entries.size() > groupSize / 14)
        __builtin_trap();
    if (!tk::HasError(p)) {
        if (entries.empty())
            __builtin_trap();
        for (const tk::IconEntry &e : entries) {
            if (e.id != 1 && e.id != 2)
                __builtin_trap();
            if (e.bytes != icons[e.id - 1].size)
                __builtin_trap();
        }
    }
    return 0;
}
