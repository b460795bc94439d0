// The medium tool's model of a module's resources: a flat list of entries,
// each with its type, name and language, as the resource section's three
// directory levels hold them. Readers fill it from an image; builders edit
// it; the writer turns it back into a resource section.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace medium {

// A type or a name: a number, or a name (upper-cased as the platform stores
// it, UTF-16).
struct ResId {
    bool named = false;
    uint16_t id = 0;
    std::u16string name;
};

inline ResId ResNumber(uint16_t id)
{
    ResId r;
    r.id = id;
    return r;
}

struct ResEntry {
    ResId type;
    ResId name;
    uint16_t lang = 0;           // LANGID, e.g. 0x0409
    uint32_t codePage = 0;       // the data entry's code page field (0 as windres writes)
    std::vector<uint8_t> data;
    // When not empty, the entry's bytes are this file's first dataFileSize
    // bytes and `data` is unused: builders stream large payloads from temp
    // files instead of holding them in memory.
    std::string dataFile;
    uint32_t dataFileSize = 0;
};

// The number of bytes the entry holds, wherever they are.
inline uint64_t ResDataSize(const ResEntry &e)
{
    return e.dataFile.empty() ? e.data.size() : e.dataFileSize;
}

using ResList = std::vector<ResEntry>;

// Standard resource types (RT_*).
enum : uint16_t {
    kRtCursor = 1,
    kRtBitmap = 2,
    kRtIcon = 3,
    kRtDialog = 5,
    kRtString = 6,
    kRtGroupIcon = 14,
    kRtVersion = 16,
    kRtManifest = 24,
};

}  // namespace medium
