// The resource reader: the tree of a PE image's resource section into a
// resource list, bounded against the section's file backing.
#include "tools/lib/pe_image.h"

#include <string.h>

#include <algorithm>
#include <set>

#include "base/bytes.h"
#include "tools/lib/pe_resdir.h"
#include "tools/lib/strings.h"

namespace tk {

namespace {

// The resource section's bytes from the tree's start to the end of its file
// backing, read through a source: every offset in the tree is relative to
// that start and checked against `available` before it is read.
struct SectionBytes {
    const ByteSource *src;
    uint64_t start;
    uint32_t available;
};

bool ReadAt(const SectionBytes &s, uint32_t at, uint64_t n, uint8_t *buf)
{
    if (at > s.available || n > s.available - at)
        return false;
    return s.src->read(s.src->ctx, s.start + at, buf, (size_t)n);
}

// Reads one name or id of a directory entry; names sit inside the section.
bool ReadId(const SectionBytes &section, uint32_t field, ResId *id, std::string *err)
{
    if (!(field & kHighBit)) {
        if (field > 0xFFFF) {
            *err = "resource id " + Hex(field) + " does not fit 16 bits";
            return false;
        }
        id->named = false;
        id->id = (uint16_t)field;
        return true;
    }
    uint32_t at = field & ~kHighBit;
    uint8_t len[2];
    std::vector<uint8_t> chars;
    bool ok = ReadAt(section, at, 2, len);
    if (ok) {
        chars.resize(2u * GetUi16(len));
        ok = ReadAt(section, at + 2, chars.size(), chars.data());
    }
    if (!ok) {
        *err = "resource name at " + Hex(at) + " runs past the resource section";
        return false;
    }
    id->named = true;
    id->name.clear();
    for (size_t i = 0; i < chars.size(); i += 2)
        id->name.push_back((char16_t)GetUi16(chars.data() + i));
    return true;
}

struct DirEntry {
    uint32_t nameField;
    uint32_t target;
};

// Reads the directory at `at` of the section, refusing one already read
// (two entries reaching one directory make a loop or a shared subtree, which
// no linker writes).
bool ReadDirectory(const SectionBytes &section, uint32_t at, std::set<uint32_t> *seen,
                   std::vector<DirEntry> *entries, std::string *err)
{
    if (!seen->insert(at).second) {
        *err = "resource directory at " + Hex(at) + " is reached twice (a loop)";
        return false;
    }
    if (seen->size() > kMaxResourceDirectories) {
        *err = "too many resource directories";
        return false;
    }
    uint8_t head[16];
    std::vector<uint8_t> raw;
    bool ok = ReadAt(section, at, sizeof head, head);
    if (ok) {
        // characteristics, timestamp, version, then the named and numbered counts
        const uint32_t count = GetUi16(head + 12) + GetUi16(head + 14);
        ok = count <= (section.available - at - 16) / 8;
        if (ok) {
            raw.resize(8u * count);
            ok = ReadAt(section, at + 16, raw.size(), raw.data());
        }
    }
    if (!ok) {
        *err = "resource directory at " + Hex(at) + " runs past the resource section";
        return false;
    }
    entries->clear();
    for (size_t i = 0; i < raw.size(); i += 8)
        entries->push_back({GetUi32(raw.data() + i), GetUi32(raw.data() + i + 4)});
    return true;
}

}  // namespace

bool ReadResources(const uint8_t *image, size_t size, ResList *out, std::string *err)
{
    out->clear();
    PeImage h;
    if (!ParsePeImage(image, size, &h, err))
        return false;
    return ReadResources(image, h, out, err);
}

bool ReadResources(const uint8_t *image, const PeImage &h, ResList *out, std::string *err)
{
    MemoryBytes m{image, (size_t)h.fileSize};
    return ReadResources(MemorySource(&m), h, nullptr, out, err);
}

namespace {

bool ReadTree(const ByteSource &src, const PeImage &h, const ResInFile *inFile, ResList *out, std::string *err)
{
    const PeDataDir dir = h.dirs[kPeDirResource];
    if (dir.rva == 0 && dir.size == 0)
        return true;

    uint32_t start = 0;
    if (!RvaToOffset(h, dir.rva, 16, &start)) {
        *err = "resource directory at RVA " + Hex(dir.rva) + " is outside the file's sections";
        return false;
    }
    const PeSection *rs = SectionOfRva(h, dir.rva);
    uint32_t available = std::min(rs->rawSize, SectionSpan(*rs)) - (dir.rva - rs->va);
    available = (uint32_t)std::min<uint64_t>(available, h.fileSize - start);
    const SectionBytes section = {&src, start, available};

    std::set<uint32_t> seen;
    std::vector<DirEntry> types, names, langs;
    // Bytes the list holds. Entries of an honest image each have data of
    // their own, so it stays within the file's size (and a little for the
    // names copied into every language); a hostile one can point thousands
    // of entries at one large blob and ask for many times its size.
    const uint64_t holdLimit = h.fileSize + (1u << 20);
    uint64_t held = 0;
    if (!ReadDirectory(section, 0, &seen, &types, err))
        return false;
    for (const DirEntry &t : types) {
        ResEntry proto;
        if (!ReadId(section, t.nameField, &proto.type, err))
            return false;
        if (!(t.target & kHighBit)) {
            *err = "resource type entry points at data, not at a name directory";
            return false;
        }
        if (!ReadDirectory(section, t.target & ~kHighBit, &seen, &names, err))
            return false;
        for (const DirEntry &n : names) {
            if (!ReadId(section, n.nameField, &proto.name, err))
                return false;
            if (!(n.target & kHighBit)) {
                *err = "resource name entry points at data, not at a language directory";
                return false;
            }
            if (!ReadDirectory(section, n.target & ~kHighBit, &seen, &langs, err))
                return false;
            for (const DirEntry &l : langs) {
                if ((l.nameField & kHighBit) || l.nameField > 0xFFFF) {
                    *err = "resource language entry " + Hex(l.nameField) + " is not a language id";
                    return false;
                }
                if (l.target & kHighBit) {
                    *err = "resource language entry points at a directory, not at data";
                    return false;
                }
                if (out->size() >= kMaxResourceEntries) {
                    *err = "more than " + std::to_string(kMaxResourceEntries) + " resource entries";
                    return false;
                }
                uint8_t d[16];
                if (!ReadAt(section, l.target, sizeof d, d)) {
                    *err = "resource data entry at " + Hex(l.target) + " runs past the resource section";
                    return false;
                }
                const uint32_t dataRva = GetUi32(d);
                const uint32_t dataSize = GetUi32(d + 4);
                uint32_t dataOffset = 0;
                if (dataSize != 0 && !RvaToOffset(h, dataRva, dataSize, &dataOffset)) {
                    *err = "resource data at RVA " + Hex(dataRva) + " (" + std::to_string(dataSize) +
                           " bytes) runs past its section or the file";
                    return false;
                }
                const bool leftInFile = inFile && !proto.type.named && proto.type.id == inFile->type;
                held += 2 * (proto.type.name.size() + proto.name.name.size()) + (leftInFile ? 0 : dataSize);
                if (held > holdLimit) {
                    *err = "resource entries share their data or names: they would hold more than " +
                           std::to_string(holdLimit) + " bytes from a file of " + std::to_string(h.fileSize) +
                           "; the image is damaged or made to exhaust memory";
                    return false;
                }
                ResEntry e = proto;
                e.lang = (uint16_t)l.nameField;
                e.codePage = GetUi32(d + 8);
                if (leftInFile) {
                    e.dataFile = inFile->file;
                    e.dataFileOffset = dataOffset;
                    e.dataFileSize = dataSize;
                } else {
                    e.data.resize(dataSize);
                    if (!src.read(src.ctx, dataOffset, e.data.data(), dataSize)) {
                        *err = "resource data at RVA " + Hex(dataRva) + " cannot be read";
                        return false;
                    }
                }
                out->push_back(std::move(e));
            }
        }
    }
    return true;
}

}  // namespace

bool ReadResources(const ByteSource &src, const PeImage &h, const ResInFile *inFile, ResList *out,
                   std::string *err)
{
    out->clear();
    if (ReadTree(src, h, inFile, out, err))
        return true;
    out->clear();   // nothing half read
    return false;
}

}  // namespace tk
