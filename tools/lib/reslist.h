// The tools' model of a module's resources: a flat list of entries, each
// with its type, name and language, as the resource section's three
// directory levels hold them. Readers fill it from an image (pe_image.h);
// builders change it through the verbs below; the writers turn it back into
// a resource section, in the one order ResLess defines.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace tk {

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
    // Where the bytes start in dataFile: 0 for builders' files; a resource's
    // offset for entries the reader left in the image (ResInFile).
    uint64_t dataFileOffset = 0;
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
    kRtRcData = 10,
    kRtGroupIcon = 14,
    kRtVersion = 16,
    kRtManifest = 24,
};

// "Any language" for the lookups.
constexpr uint16_t kAnyLang = 0xFFFF;

// Directory order, as the loader's binary search expects it: names first (by
// UTF-16 unit), then ids ascending.
bool ResIdLess(const ResId &a, const ResId &b);
bool ResIdEqual(const ResId &a, const ResId &b);
// "7510" or "\"LOGO\"" (non-ASCII units as '?'), for messages.
std::string ResIdText(const ResId &id);
// The one order of entries: type, then name, then language.
bool ResLess(const ResEntry &a, const ResEntry &b);
// Same type, name and language.
bool ResSameKey(const ResEntry &a, const ResEntry &b);

// find: the entry of `type`/`name` in language `lang`, or the first of any
// language when `lang` is kAnyLang; null when there is none.
const ResEntry *ResFind(const ResList &res, const ResId &type, const ResId &name, uint16_t lang = kAnyLang);
const ResEntry *ResFind(const ResList &res, uint16_t type, uint16_t name, uint16_t lang = kAnyLang);
ResEntry *ResFind(ResList *res, uint16_t type, uint16_t name, uint16_t lang = kAnyLang);
// find as a library is read: the entry in `lang` when there is one, else the
// first of that type and name in any language.
const ResEntry *ResFindPreferring(const ResList &res, uint16_t type, uint16_t name, uint16_t lang);

// put: adds `entry`, or replaces the entry of the same type, name and
// language. Returns the entry in the list.
ResEntry *ResPut(ResList *res, ResEntry entry);
// remove: drops the entries of `type`/`name` in `lang` (every language for
// kAnyLang). Returns how many went.
size_t ResRemove(ResList *res, uint16_t type, uint16_t name, uint16_t lang = kAnyLang);

// Sorts into the one order (stable: entries of the same key keep theirs).
void ResSort(ResList *res);
// The first pair of entries with the same key in `res` (sorted or not), or
// false when every key is unique.
bool ResFindDuplicate(const ResList &res, const ResEntry **first, const ResEntry **second);
// Equal lists: the same entries in the same order, with the same bytes
// (entries that stream from files compare by file name and size).
bool ResListEqual(const ResList &a, const ResList &b);

}  // namespace tk
