// The PE image model, the resource reader and the writers.
#include "tools/lib/pe_image.h"

#include <string.h>

#include <algorithm>
#include <set>

#include "base/bytes.h"
#include "tools/lib/bytesink.h"
#include "tools/lib/fileio.h"
#include "tools/lib/pechecksum.h"
#include "tools/lib/strings.h"

namespace tk {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kDataAlign = 8;   // each entry's data starts 8-aligned, as linkers place it
constexpr size_t kCopyBlock = 1u << 16;
constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint64_t kHeaderBytes = 4096;          // where linkers' headers end

uint32_t AlignUp(uint32_t v, uint32_t a)
{
    return (v + (a - 1)) / a * a;
}

std::string Printable(const unsigned char *p, size_t n)
{
    std::string s;
    for (size_t k = 0; p && k < n && p[k]; k++)
        s += (p[k] >= 0x20 && p[k] < 0x7F) ? (char)p[k] : '?';
    return s;
}

bool MemoryRead(void *ctx, uint64_t offset, uint8_t *buf, size_t n)
{
    const MemoryBytes *m = static_cast<const MemoryBytes *>(ctx);
    if (offset > m->size || n > m->size - offset)
        return false;
    if (n)
        memcpy(buf, m->data + offset, n);
    return true;
}

bool FileRead(void *ctx, uint64_t offset, uint8_t *buf, size_t n)
{
    FILE *f = static_cast<FILE *>(ctx);
    NoteFileRead(n);
    if (offset > (uint64_t)INT64_MAX || fseeko(f, (off_t)offset, SEEK_SET) != 0)
        return false;
    return fread(buf, 1, n, f) == n;
}

// Reads the import directory's library names through `src`: descriptors
// one by one and each name bounded, so no more than a few hundred bytes are
// read at a time.
void ReadImports(const ByteSource &src, PeImage *img)
{
    const PeDataDir dir = img->dirs[kPeDirImport];
    if (dir.rva == 0 || dir.size == 0)
        return;
    uint32_t at = 0;
    if (!RvaToOffset(*img, dir.rva, kImportDescriptorSize, &at)) {
        img->importsUnreadable = true;
        return;
    }
    for (uint32_t i = 0; i < kMaxImportedLibraries; i++) {
        uint8_t d[kImportDescriptorSize];
        if (!src.read(src.ctx, at + (uint64_t)kImportDescriptorSize * i, d, sizeof d)) {
            img->importsUnreadable = true;
            return;
        }
        bool empty = true;
        for (uint32_t k = 0; k < kImportDescriptorSize; k++)
            empty = empty && d[k] == 0;
        if (empty)
            return;
        uint32_t nameAt = 0;
        unsigned char name[kMaxImportNameChars];
        const size_t room = RvaToOffset(*img, GetUi32(d + 12), 1, &nameAt)
                                ? (size_t)std::min<uint64_t>(kMaxImportNameChars, img->fileSize - nameAt)
                                : 0;
        if (room == 0 || !src.read(src.ctx, nameAt, name, room)) {
            img->imports.push_back("(a name outside the file)");
            continue;
        }
        img->imports.push_back(Printable(name, room));
    }
}

// The headers of an image of `size` bytes, from its first `have` bytes.
// `*needMore` says a failure came from running out of those bytes while
// the file has more.
bool ParseHeaders(const uint8_t *image, size_t have, uint64_t size, PeImage *h, bool *needMore, std::string *err)
{
    *needMore = false;
    *h = PeImage();
    h->fileSize = size;
    ByteReader r;
    ReaderInit(&r, image, (uint32_t)have);
    if (ReaderU16(&r) != kMzSignature) {
        *err = "not a PE image (no MZ header)";
        return false;
    }
    ReaderSeek(&r, kPeLfanewOffset);
    h->peOffset = ReaderU32(&r);
    ReaderSeek(&r, h->peOffset);
    const uint32_t signature = ReaderU32(&r);
    if (r.err || signature != kPeSignature) {
        *needMore = r.err && have < size;
        *err = "not a PE image (no PE signature where the MZ header points)";
        return false;
    }
    h->machine = (uint16_t)ReaderU16(&r);
    const uint32_t sectionCount = ReaderU16(&r);
    ReaderTake(&r, 12);   // timestamp, symbol table and count
    h->optSize = ReaderU16(&r);
    h->characteristics = (uint16_t)ReaderU16(&r);
    h->dll = (h->characteristics & kPeFileDll) != 0;
    h->optOffset = r.pos;
    h->magic = ReaderU16(&r);
    if (r.err) {
        *needMore = r.err && have < size;
        *err = "PE headers run past the end of the file";
        return false;
    }
    if (h->magic != kPeMagic32 && h->magic != kPeMagic32Plus) {
        *err = "unknown optional header magic " + Hex(h->magic) + " (not PE32 or PE32+)";
        return false;
    }
    h->pe32plus = h->magic == kPeMagic32Plus;
    if (sectionCount == 0 || sectionCount > kMaxSections) {
        *err = "absurd section count " + std::to_string(sectionCount);
        return false;
    }
    const uint32_t countField = PeOptDirCountOffset(h->pe32plus);
    if (h->optSize < countField + 4) {
        *err = "optional header too small (" + std::to_string(h->optSize) + " bytes)";
        return false;
    }
    ReaderSeek(&r, h->optOffset + kPeOptEntryPoint);
    h->entryRva = ReaderU32(&r);
    ReaderSeek(&r, h->optOffset + kPeOptSectionAlignment);
    h->sectionAlignment = ReaderU32(&r);
    h->fileAlignment = ReaderU32(&r);
    ReaderSeek(&r, h->optOffset + kPeOptSizeOfImage);
    h->sizeOfImage = ReaderU32(&r);
    h->sizeOfHeaders = ReaderU32(&r);
    h->checkSumOffset = r.pos;
    h->checkSum = ReaderU32(&r);
    ReaderSeek(&r, h->optOffset + countField);
    const uint32_t dirCount = ReaderU32(&r);
    h->dirOffset = r.pos;
    h->dirCount = std::min(dirCount, kPeDirCount);
    if ((uint64_t)countField + 4 + 8ull * h->dirCount > h->optSize) {
        *err = "data directories run past the optional header";
        return false;
    }
    for (uint32_t i = 0; i < h->dirCount; i++) {
        h->dirs[i].rva = ReaderU32(&r);
        h->dirs[i].size = ReaderU32(&r);
    }
    if (r.err) {
        *needMore = r.err && have < size;
        *err = "optional header runs past the end of the file";
        return false;
    }
    ReaderSeek(&r, h->optOffset);
    ReaderTake(&r, h->optSize);
    for (uint32_t i = 0; i < sectionCount; i++) {
        PeSection s;
        s.headerOffset = r.pos;
        s.name = Printable(ReaderTake(&r, 8), 8);
        s.virtualSize = ReaderU32(&r);
        s.va = ReaderU32(&r);
        s.rawSize = ReaderU32(&r);
        s.rawPtr = ReaderU32(&r);
        ReaderTake(&r, 12);   // relocations, line numbers and their counts
        s.flags = ReaderU32(&r);
        if (r.err) {
        *needMore = r.err && have < size;
            *err = "section table runs past the end of the file";
            return false;
        }
        h->sections.push_back(s);
    }
    // The loader maps the headers as SizeOfHeaders says; a section table
    // beyond them is not what it reads.
    if (r.pos > h->sizeOfHeaders) {
        *err = "section table (" + std::to_string(sectionCount) + " sections, ending at " + Hex(r.pos) +
               ") runs past SizeOfHeaders " + Hex(h->sizeOfHeaders);
        return false;
    }
    return true;
}

}  // namespace

ByteSource MemorySource(MemoryBytes *span)
{
    ByteSource s;
    s.ctx = span;
    s.read = MemoryRead;
    return s;
}

ByteSource FileSource(FILE *f)
{
    ByteSource s;
    s.ctx = f;
    s.read = FileRead;
    return s;
}

bool ParsePeImage(const ByteSource &src, uint64_t size, PeImage *h, std::string *err)
{
    *h = PeImage();
    if (size > 0xFFFFFFFFu) {
        *err = "image larger than 4 GiB";
        return false;
    }
    // Headers are read bounded: the first 4 KiB, and up to 1 MiB only for
    // an image whose headers reach further.
    std::vector<uint8_t> head;
    for (uint64_t want : {kHeaderBytes, (uint64_t)kMaxHeaderBytes}) {
        head.resize((size_t)std::min<uint64_t>(size, want));
        if (!src.read(src.ctx, 0, head.data(), head.size())) {
            *err = "the file cannot be read";
            return false;
        }
        bool needMore = false;
        if (ParseHeaders(head.data(), head.size(), size, h, &needMore, err))
            break;
        if (!needMore)
            return false;
        if (want == kMaxHeaderBytes) {
            *err += " (only the first 1 MiB is read for the headers)";
            return false;
        }
    }
    ReadImports(src, h);
    return true;
}

bool ParsePeImage(const uint8_t *image, size_t size, PeImage *h, std::string *err)
{
    MemoryBytes m{image, size};
    return ParsePeImage(MemorySource(&m), size, h, err);
}

uint32_t SectionSpan(const PeSection &s)
{
    return s.virtualSize ? s.virtualSize : s.rawSize;
}

const PeSection *SectionOfRva(const PeImage &img, uint32_t rva)
{
    for (const PeSection &s : img.sections) {
        if (rva >= s.va && rva - s.va < SectionSpan(s))
            return &s;
    }
    return nullptr;
}

bool RvaToOffset(const PeImage &img, uint32_t rva, uint32_t length, uint32_t *offset)
{
    const PeSection *s = SectionOfRva(img, rva);
    if (!s)
        return false;
    const uint32_t into = rva - s->va;
    const uint32_t backed = std::min(s->rawSize, SectionSpan(*s));
    if (into > backed || length > backed - into)
        return false;
    const uint64_t start = (uint64_t)s->rawPtr + into;
    if (start + length > img.fileSize)
        return false;
    *offset = (uint32_t)start;
    return true;
}

uint64_t ResourceSectionBytes(const PeImage &img)
{
    const PeDataDir dir = img.dirs[kPeDirResource];
    if (dir.size == 0)
        return 0;
    const PeSection *s = SectionOfRva(img, dir.rva);
    return s ? s->rawSize : 0;
}

bool HasExecutableSection(const PeImage &img)
{
    for (const PeSection &s : img.sections) {
        if (s.flags & (kScnCode | kScnExecute))
            return true;
    }
    return false;
}

std::string PeMachineName(uint16_t machine)
{
    switch (machine) {
    case kPeMachineI386:
        return "i386";
    case kPeMachineAmd64:
        return "x86-64";
    case kPeMachineArm64:
        return "ARM64";
    case kPeMachineIa64:
        return "IA-64";
    case kPeMachineArm:
        return "ARM";
    case kPeMachineArmThumb2:
        return "ARM Thumb-2";
    default:
        char buf[32];
        snprintf(buf, sizeof buf, "unknown (0x%04X)", (unsigned)machine);
        return buf;
    }
}

bool PeMachineIs64Bit(uint16_t machine)
{
    return machine == kPeMachineAmd64 || machine == kPeMachineArm64 || machine == kPeMachineIa64;
}

bool PeMachineRunsBeside(uint16_t launcher, uint16_t program)
{
    if (program == launcher)
        return true;
    return program == kPeMachineI386 && (launcher == kPeMachineAmd64 || launcher == kPeMachineArm64);
}

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

bool ReadResources(const ByteSource &src, const PeImage &h, const ResInFile *inFile, ResList *out,
                   std::string *err)
{
    out->clear();
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
        std::vector<DirEntry> typeNames = names;
        for (const DirEntry &n : typeNames) {
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
                ResEntry e = proto;
                e.lang = (uint16_t)l.nameField;
                e.codePage = GetUi32(d + 8);
                if (inFile && !e.type.named && e.type.id == inFile->type) {
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

namespace {

// A resource section laid out at an RVA: the directories, data entries and
// names as bytes (`head`), then each entry's data at its offset.
struct SectionPlan {
    std::vector<uint8_t> head;
    std::vector<const ResEntry *> order;
    std::vector<uint32_t> dataOffset;
    uint32_t size = 0;
};

bool PlanSection(const ResList &res, uint32_t rva, SectionPlan *plan, std::string *err)
{
    std::vector<const ResEntry *> order;
    for (const ResEntry &e : res)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const ResEntry *a, const ResEntry *b) { return ResLess(*a, *b); });
    const ResEntry *dupe = nullptr, *other = nullptr;
    if (ResFindDuplicate(res, &dupe, &other)) {
        *err = "duplicate resource: type " + ResIdText(dupe->type) + ", name " + ResIdText(dupe->name) +
               ", language " + std::to_string(dupe->lang);
        return false;
    }

    // Group boundaries: types, and (type, name) pairs.
    std::vector<size_t> typeStart, nameStart;
    for (size_t i = 0; i < order.size(); i++) {
        bool newType = i == 0 || !ResIdEqual(order[i - 1]->type, order[i]->type);
        if (newType)
            typeStart.push_back(i);
        if (newType || !ResIdEqual(order[i - 1]->name, order[i]->name))
            nameStart.push_back(i);
    }
    typeStart.push_back(order.size());
    nameStart.push_back(order.size());
    const size_t nTypes = typeStart.size() - 1;
    const size_t nNames = nameStart.size() - 1;

    // Sizes: root, one name directory per type, one language directory per
    // name, the data entries, then the names' strings.
    uint64_t at = 16 + 8 * nTypes;
    const uint64_t nameDirs = at;
    at += 16 * nTypes + 8 * nNames;
    const uint64_t langDirs = at;
    at += 16 * nNames + 8 * order.size();
    const uint64_t dataEntries = at;
    at += 16 * order.size();
    const uint64_t strings = at;
    // Each distinct name string once per directory entry that uses it.
    for (size_t t = 0; t < nTypes; t++) {
        if (order[typeStart[t]]->type.named)
            at += 2 + 2 * (uint64_t)order[typeStart[t]]->type.name.size();
    }
    for (size_t n = 0; n < nNames; n++) {
        if (order[nameStart[n]]->name.named)
            at += 2 + 2 * (uint64_t)order[nameStart[n]]->name.name.size();
    }
    for (const ResEntry *e : order) {
        if (e->type.named && (e->type.name.empty() || e->type.name.size() > 0xFFFF)) {
            *err = "resource type name of bad length " + std::to_string(e->type.name.size());
            return false;
        }
        if (e->name.named && (e->name.name.empty() || e->name.name.size() > 0xFFFF)) {
            *err = "resource name of bad length " + std::to_string(e->name.name.size());
            return false;
        }
    }
    if (at > kMaxSectionSize) {
        *err = "resource directory too large";
        return false;
    }
    const uint64_t headSize = at;
    plan->head.assign(headSize, 0);
    // Patched in place: every offset is known from the sizes above.
    ByteSink b(&plan->head);

    uint64_t str = strings;
    auto nameField = [&](const ResId &id) -> uint32_t {
        if (!id.named)
            return id.id;
        uint32_t field = (uint32_t)str | kHighBit;
        b.SetU16At(str, (uint32_t)id.name.size());
        for (size_t i = 0; i < id.name.size(); i++)
            b.SetU16At(str + 2 + 2 * i, id.name[i]);
        str += 2 + 2 * id.name.size();
        return field;
    };
    // Root: one entry per type.
    {
        uint32_t named = 0, numbered = 0;
        for (size_t t = 0; t < nTypes; t++)
            (order[typeStart[t]]->type.named ? named : numbered)++;
        b.SetU16At(12, named);
        b.SetU16At(14, numbered);
    }
    uint64_t nameDir = nameDirs;
    uint64_t langDir = langDirs;
    uint64_t dataEntry = dataEntries;
    size_t n = 0;
    for (size_t t = 0; t < nTypes; t++) {
        b.SetU32At(16 + 8 * t, nameField(order[typeStart[t]]->type));
        b.SetU32At(16 + 8 * t + 4, (uint32_t)nameDir | kHighBit);
        // The names of this type: groups n .. m-1.
        size_t m = n;
        while (m < nNames && nameStart[m] < typeStart[t + 1])
            m++;
        {
            uint32_t named = 0, numbered = 0;
            for (size_t g = n; g < m; g++)
                (order[nameStart[g]]->name.named ? named : numbered)++;
            b.SetU16At(nameDir + 12, named);
            b.SetU16At(nameDir + 14, numbered);
        }
        for (size_t g = n; g < m; g++) {
            uint64_t slot = nameDir + 16 + 8 * (g - n);
            b.SetU32At(slot, nameField(order[nameStart[g]]->name));
            b.SetU32At(slot + 4, (uint32_t)langDir | kHighBit);
            size_t count = nameStart[g + 1] - nameStart[g];
            b.SetU16At(langDir + 14, (uint32_t)count);
            for (size_t k = 0; k < count; k++) {
                b.SetU32At(langDir + 16 + 8 * k, order[nameStart[g] + k]->lang);
                b.SetU32At(langDir + 16 + 8 * k + 4, (uint32_t)dataEntry);
                dataEntry += 16;
            }
            langDir += 16 + 8 * count;
        }
        nameDir += 16 + 8 * (m - n);
        n = m;
    }

    // Data after the names, each 8-aligned.
    uint64_t data = (headSize + kDataAlign - 1) / kDataAlign * kDataAlign;
    plan->order = order;
    plan->dataOffset.clear();
    for (size_t i = 0; i < order.size(); i++) {
        const uint64_t len = ResDataSize(*order[i]);
        if (data + len > kMaxSectionSize || (uint64_t)rva + data + len > 0xFFFFFFFFu) {
            *err = "resources too large for one image (" + std::to_string(data + len) + " bytes)";
            return false;
        }
        plan->dataOffset.push_back((uint32_t)data);
        b.SetU32At(dataEntries + 16 * i, (uint32_t)(rva + data));
        b.SetU32At(dataEntries + 16 * i + 4, (uint32_t)len);
        b.SetU32At(dataEntries + 16 * i + 8, order[i]->codePage);
        data += len;
        if (i + 1 < order.size())
            data = (data + kDataAlign - 1) / kDataAlign * kDataAlign;
    }
    plan->size = (uint32_t)std::max<uint64_t>(data, headSize);
    return true;
}

// Where output goes: in memory or a file. Keeps the running checksum so a
// streamed image need not be read back.
class Output {
public:
    virtual ~Output() = default;
    virtual bool Write(const uint8_t *p, size_t n) = 0;
    virtual bool Patch(uint32_t at, const uint8_t *p, size_t n) = 0;
    uint64_t written = 0;
};

class VectorOutput : public Output {
public:
    explicit VectorOutput(std::vector<uint8_t> *v) : v_(v) { v_->clear(); }
    bool Write(const uint8_t *p, size_t n) override
    {
        v_->insert(v_->end(), p, p + n);
        written += n;
        return true;
    }
    bool Patch(uint32_t at, const uint8_t *p, size_t n) override
    {
        if (at > v_->size() || n > v_->size() - at)
            return false;
        memcpy(v_->data() + at, p, n);
        return true;
    }

private:
    std::vector<uint8_t> *v_;
};

class FileOutput : public Output {
public:
    explicit FileOutput(FILE *f) : f_(f) {}
    bool Write(const uint8_t *p, size_t n) override
    {
        written += n;
        return n == 0 || fwrite(p, 1, n, f_) == n;
    }
    bool Patch(uint32_t at, const uint8_t *p, size_t n) override
    {
        if (fflush(f_) != 0 || fseek(f_, (long)at, SEEK_SET) != 0 || fwrite(p, 1, n, f_) != n)
            return false;
        return fflush(f_) == 0 && fseek(f_, 0, SEEK_END) == 0;
    }

private:
    FILE *f_;
};

class Emitter {
public:
    // The written headers hold 0 in the CheckSum field, so no field is skipped.
    Emitter(Output *out, std::string *err) : out_(out), err_(err) { PeChecksumInit(&sum_, UINT64_MAX); }
    bool Bytes(const uint8_t *p, size_t n)
    {
        PeChecksumUpdate(&sum_, p, n);
        if (!out_->Write(p, n)) {
            *err_ = "cannot write the output";
            return false;
        }
        return true;
    }
    bool Zeros(uint64_t n)
    {
        static const uint8_t zero[4096] = {};
        while (n > 0) {
            size_t step = (size_t)std::min<uint64_t>(n, sizeof zero);
            if (!Bytes(zero, step))
                return false;
            n -= step;
        }
        return true;
    }
    bool PadTo(uint64_t at)
    {
        if (out_->written > at) {
            *err_ = "internal layout error";
            return false;
        }
        return Zeros(at - out_->written);
    }
    bool Entry(const ResEntry &e)
    {
        if (e.dataFile.empty())
            return Bytes(e.data.data(), e.data.size());
        FILE *f = fopen(e.dataFile.c_str(), "rb");
        if (!f) {
            *err_ = e.dataFile + ": cannot open";
            return false;
        }
        // Entries read in place from an image start inside it.
        if (e.dataFileOffset > (uint64_t)INT64_MAX || fseeko(f, (off_t)e.dataFileOffset, SEEK_SET) != 0) {
            fclose(f);
            *err_ = e.dataFile + ": cannot seek to the entry's data";
            return false;
        }
        std::vector<uint8_t> block(kCopyBlock);
        uint64_t left = e.dataFileSize;
        bool ok = true;
        while (ok && left > 0) {
            size_t want = (size_t)std::min<uint64_t>(left, block.size());
            if (fread(block.data(), 1, want, f) != want) {
                *err_ = e.dataFile + ": shorter than expected (changed while writing?)";
                ok = false;
                break;
            }
            ok = Bytes(block.data(), want);
            left -= want;
        }
        fclose(f);
        return ok;
    }
    bool Section(const SectionPlan &plan, uint64_t base)
    {
        if (!Bytes(plan.head.data(), plan.head.size()))
            return false;
        for (size_t i = 0; i < plan.order.size(); i++) {
            if (!PadTo(base + plan.dataOffset[i]) || !Entry(*plan.order[i]))
                return false;
        }
        return PadTo(base + plan.size);
    }
    bool FinishChecksum(uint32_t checksumOffset)
    {
        uint8_t v[4];
        SetUi32(v, PeChecksumFinish(&sum_));
        if (!out_->Patch(checksumOffset, v, 4)) {
            *err_ = "cannot write the output's checksum";
            return false;
        }
        return true;
    }
    uint64_t Written() const { return out_->written; }

private:
    Output *out_;
    std::string *err_;
    PeChecksumState sum_;
};

// The DOS header and stub that linkers put before the PE header.
const uint8_t kDosHeader[0x80] = {
    0x4D, 0x5A, 0x90, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0xB8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00,
    0x0E, 0x1F, 0xBA, 0x0E, 0x00, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x01, 0x4C, 0xCD, 0x21, 0x54, 0x68,
    0x69, 0x73, 0x20, 0x70, 0x72, 0x6F, 0x67, 0x72, 0x61, 0x6D, 0x20, 0x63, 0x61, 0x6E, 0x6E, 0x6F,
    0x74, 0x20, 0x62, 0x65, 0x20, 0x72, 0x75, 0x6E, 0x20, 0x69, 0x6E, 0x20, 0x44, 0x4F, 0x53, 0x20,
    0x6D, 0x6F, 0x64, 0x65, 0x2E, 0x0D, 0x0D, 0x0A, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

bool WriteDll(const ResList &res, Output *out, std::string *err)
{
    constexpr uint32_t kFileAlign = 512;
    constexpr uint32_t kSectionAlign = 4096;
    constexpr uint32_t kRsrcRva = kSectionAlign;
    constexpr uint32_t kHeadersSize = 512;
    SectionPlan plan;
    if (!PlanSection(res, kRsrcRva, &plan, err))
        return false;
    const uint32_t rawSize = AlignUp(plan.size, kFileAlign);

    std::vector<uint8_t> h(kHeadersSize, 0);
    memcpy(h.data(), kDosHeader, sizeof kDosHeader);
    ByteSink hs(&h);
    const uint32_t pe = 0x80;
    hs.SetU32At(pe, kPeSignature);
    const uint32_t coff = pe + 4;
    hs.SetU16At(coff + 0, kPeMachineI386);
    hs.SetU16At(coff + 2, 1);        // one section
    hs.SetU16At(coff + 16, kPe32OptSize);
    // Executable image, no line numbers or symbols, 32-bit, no debug
    // information, DLL.
    hs.SetU16At(coff + 18, 0x0002 | 0x0004 | 0x0008 | 0x0100 | 0x0200 | 0x2000);
    const uint32_t opt = coff + kPeCoffSize;
    hs.SetU16At(opt + 0, kPeMagic32);
    h[opt + 2] = 2;                  // linker version
    hs.SetU32At(opt + kPeOptSizeOfInitData, rawSize);
    hs.SetU32At(opt + kPeOptBaseOfCode, kRsrcRva);     // none
    hs.SetU32At(opt + kPe32OptBaseOfData, kRsrcRva);
    hs.SetU32At(opt + kPe32OptImageBase, 0x10000000);
    hs.SetU32At(opt + kPeOptSectionAlignment, kSectionAlign);
    hs.SetU32At(opt + kPeOptFileAlignment, kFileAlign);
    hs.SetU16At(opt + kPeOptOsVersion, 4);             // 4.0
    hs.SetU16At(opt + kPeOptSubsystemVersion, 4);      // 4.0
    hs.SetU32At(opt + kPeOptSizeOfImage, kRsrcRva + AlignUp(plan.size, kSectionAlign));
    hs.SetU32At(opt + kPeOptSizeOfHeaders, kHeadersSize);
    hs.SetU16At(opt + kPeOptSubsystem, 2);             // Windows GUI
    hs.SetU16At(opt + kPeOptDllCharacteristics, 0x0100);   // NX compatible (no relocations, so no dynamic base)
    const uint32_t sizes[4] = {0x200000, 0x1000, 0x100000, 0x1000};   // stack reserve, commit, heap reserve, commit
    for (uint32_t i = 0; i < 4; i++)
        hs.SetU32At(opt + kPe32OptStackReserve + 4 * i, sizes[i]);
    hs.SetU32At(opt + kPe32OptDirCount, kPeDirCount);
    const uint32_t dirs = opt + PeOptDirectoriesOffset(false);
    hs.SetU32At(dirs + 8 * kPeDirResource, kRsrcRva);
    hs.SetU32At(dirs + 8 * kPeDirResource + 4, plan.size);
    const uint32_t sec = opt + kPe32OptSize;
    memcpy(&h[sec], ".rsrc", 5);
    hs.SetU32At(sec + 8, plan.size);
    hs.SetU32At(sec + 12, kRsrcRva);
    hs.SetU32At(sec + 16, rawSize);
    hs.SetU32At(sec + 20, kHeadersSize);
    hs.SetU32At(sec + 36, 0x40000040);   // initialized data, readable

    Emitter em(out, err);
    return em.Bytes(h.data(), h.size()) && em.Section(plan, kHeadersSize) && em.PadTo(kHeadersSize + rawSize) &&
           em.FinishChecksum(opt + kPeOptCheckSum);
}

bool Replace(const uint8_t *image, size_t size, const ResList &res, uint32_t fileAlignment, Output *out,
             std::vector<std::string> *warnings, std::string *err)
{
    PeImage h;
    if (!ParsePeImage(image, size, &h, err))
        return false;
    if (h.dirCount <= kPeDirBaseReloc) {
        *err = "image has too few data directories";
        return false;
    }
    const uint32_t fa = h.fileAlignment;
    const uint32_t sa = h.sectionAlignment;
    if (fa < 512 || fa > 0x10000 || (fa & (fa - 1)) || sa < fa || (sa & (sa - 1))) {
        *err = "unusual file or section alignment (" + Hex(fa) + ", " + Hex(sa) + ")";
        return false;
    }
    const uint32_t outFa = fileAlignment ? fileAlignment : fa;
    if (outFa < fa || outFa > sa || (outFa & (outFa - 1))) {
        *err = "file alignment " + Hex(outFa) + " is not a power of two from the image's " + Hex(fa) + " to " + Hex(sa);
        return false;
    }
    const PeDataDir rsrcDir = h.dirs[kPeDirResource];
    size_t rs = h.sections.size();
    for (size_t i = 0; i < h.sections.size(); i++) {
        if (rsrcDir.rva != 0 && h.sections[i].va == rsrcDir.rva)
            rs = i;
    }
    if (rs == h.sections.size()) {
        *err = "image has no section that starts with its resource directory";
        return false;
    }
    const PeDataDir relocDir = h.dirs[kPeDirBaseReloc];
    for (size_t i = rs + 1; i < h.sections.size(); i++) {
        const PeSection &s = h.sections[i];
        const bool isReloc = relocDir.rva != 0 && SectionOfRva(h, relocDir.rva) == &s && i + 1 == h.sections.size();
        if (!isReloc) {
            *err = std::string("section ") + s.name + " follows the resources; only the relocations may";
            return false;
        }
    }
    // Sections in ascending order, raw data in order, inside the file.
    uint64_t endOfRaw = h.sizeOfHeaders;
    for (size_t i = 0; i < h.sections.size(); i++) {
        const PeSection &s = h.sections[i];
        if (i > 0 && s.va <= h.sections[i - 1].va) {
            *err = "sections are not in address order";
            return false;
        }
        if (s.rawSize == 0)
            continue;
        if (s.rawPtr < endOfRaw || (uint64_t)s.rawPtr + s.rawSize > size) {
            *err = std::string("section ") + s.name + "'s data overlaps another or runs past the file";
            return false;
        }
        endOfRaw = (uint64_t)s.rawPtr + s.rawSize;
    }
    // Nothing else may point into what moves.
    const uint32_t rsrcVa = h.sections[rs].va;
    for (uint32_t d = 0; d < h.dirCount; d++) {
        if (d == kPeDirResource || d == kPeDirBaseReloc || d == kPeDirSecurity)
            continue;
        if (h.dirs[d].rva != 0 && (uint64_t)h.dirs[d].rva + h.dirs[d].size > rsrcVa) {
            *err = "data directory " + std::to_string(d) + " points into or past the resources";
            return false;
        }
    }
    // After the sections: at most the certificate, which goes.
    const PeDataDir cert = h.dirs[kPeDirSecurity];
    uint64_t tail = size;
    if (cert.size != 0) {
        if (cert.rva < endOfRaw || (uint64_t)cert.rva + cert.size > size) {
            *err = "the certificate table is not where it should be (after the sections)";
            return false;
        }
        tail = cert.rva;
        warnings->push_back("the image's Authenticode signature is dropped (changing resources breaks it); sign the result again");
    }
    if (tail > endOfRaw) {
        *err = "image has " + std::to_string(tail - endOfRaw) +
               " bytes appended after its sections (symbols or data); strip it or use an image without them";
        return false;
    }

    SectionPlan plan;
    if (!PlanSection(res, rsrcVa, &plan, err))
        return false;

    // A wider file alignment moves every section's raw data (and the end of
    // the headers) to the new boundary; addresses in memory stay.
    const bool relayout = outFa != fa;
    uint32_t headersSize = h.sizeOfHeaders;
    std::vector<PeSection> secs = h.sections;
    if (relayout) {
        headersSize = AlignUp(h.sizeOfHeaders, outFa);
        if (headersSize > secs[0].va) {
            *err = "the headers would overlap the first section at file alignment " + Hex(outFa);
            return false;
        }
        uint64_t at = headersSize;
        for (size_t i = 0; i < rs; i++) {
            if (secs[i].rawSize == 0)
                continue;
            secs[i].rawPtr = (uint32_t)at;
            secs[i].rawSize = AlignUp(secs[i].rawSize, outFa);
            at += secs[i].rawSize;
        }
        secs[rs].rawPtr = (uint32_t)at;
    }
    // New section table from the resource section on.
    PeSection &r = secs[rs];
    r.virtualSize = plan.size;
    r.rawSize = AlignUp(plan.size, outFa);
    if (r.rawPtr == 0)
        r.rawPtr = (uint32_t)AlignUp((uint32_t)endOfRaw, fa);
    uint64_t nextVa = (uint64_t)r.va + AlignUp(plan.size, sa);
    uint64_t nextRaw = (uint64_t)r.rawPtr + r.rawSize;
    uint32_t relocShift = 0;
    for (size_t i = rs + 1; i < secs.size(); i++) {
        PeSection &s = secs[i];
        uint32_t oldVa = s.va;
        s.va = (uint32_t)nextVa;
        relocShift = s.va - oldVa;
        if (s.rawSize != 0) {
            s.rawPtr = (uint32_t)nextRaw;
            s.rawSize = AlignUp(s.rawSize, outFa);
        }
        nextVa += AlignUp(std::max(SectionSpan(s), 1u), sa);
        nextRaw += s.rawSize;
    }
    if (nextVa > 0x7FFFFFFFu || nextRaw > 0x7FFFFFFFu) {
        *err = "the image would be too large";
        return false;
    }
    const PeSection &last = secs.back();
    const uint32_t sizeOfImage = AlignUp(last.va + SectionSpan(last), sa);

    // Headers: copied, then patched.
    if (h.sizeOfHeaders > size || h.sections.back().headerOffset + kPeSectionHeaderSize > h.sizeOfHeaders) {
        *err = "section table does not fit SizeOfHeaders";
        return false;
    }
    std::vector<uint8_t> hdr(image, image + h.sizeOfHeaders);
    hdr.resize(headersSize, 0);
    ByteSink patch(&hdr);
    const uint32_t opt = h.optOffset;
    // The size fields sum the sections' raw sizes.
    uint32_t codeSize = GetUi32(&hdr[opt + kPeOptSizeOfCode]);
    uint32_t initData = GetUi32(&hdr[opt + kPeOptSizeOfInitData]);
    for (size_t i = 0; i < secs.size(); i++) {
        const uint32_t grown = secs[i].rawSize - h.sections[i].rawSize;
        if (secs[i].flags & kScnCode)
            codeSize += grown;
        else if (secs[i].flags & kScnInitializedData)
            initData += grown;
    }
    patch.SetU32At(opt + kPeOptSizeOfCode, codeSize);
    patch.SetU32At(opt + kPeOptSizeOfInitData, initData);
    patch.SetU32At(opt + kPeOptFileAlignment, outFa);
    patch.SetU32At(opt + kPeOptSizeOfHeaders, headersSize);
    patch.SetU32At(opt + kPeOptSizeOfImage, sizeOfImage);
    patch.SetU32At(opt + kPeOptCheckSum, 0);
    patch.SetU32At(h.dirOffset + 8 * kPeDirResource, rsrcVa);
    patch.SetU32At(h.dirOffset + 8 * kPeDirResource + 4, plan.size);
    patch.SetU32At(h.dirOffset + 8 * kPeDirSecurity, 0);
    patch.SetU32At(h.dirOffset + 8 * kPeDirSecurity + 4, 0);
    if (relocDir.rva != 0 && rs + 1 < secs.size())
        patch.SetU32At(h.dirOffset + 8 * kPeDirBaseReloc, relocDir.rva + relocShift);
    for (size_t i = 0; i < secs.size(); i++) {
        const uint32_t at = secs[i].headerOffset;
        patch.SetU32At(at + 8, secs[i].virtualSize);
        patch.SetU32At(at + 12, secs[i].va);
        patch.SetU32At(at + 16, secs[i].rawSize);
        patch.SetU32At(at + 20, secs[i].rawPtr);
    }

    // The debug directory's entries hold file offsets of their data.
    std::vector<uint8_t> debugSection;
    size_t debugIn = secs.size();
    const PeDataDir debugDir = h.dirCount > kPeDirDebug ? h.dirs[kPeDirDebug] : PeDataDir();
    if (relayout && debugDir.rva != 0 && debugDir.size != 0) {
        const PeSection *ds = SectionOfRva(h, debugDir.rva);
        uint32_t at = 0;
        if (!ds || !RvaToOffset(h, debugDir.rva, debugDir.size, &at)) {
            *err = "the debug directory lies outside the image's sections";
            return false;
        }
        debugIn = (size_t)(ds - h.sections.data());
        debugSection.assign(image + ds->rawPtr, image + ds->rawPtr + ds->rawSize);
        for (uint32_t e = 0; e + kPeDebugEntrySize <= debugDir.size; e += kPeDebugEntrySize) {
            const uint32_t field = at - ds->rawPtr + e + kPeDebugRawPointer;
            const uint32_t data = GetUi32(&debugSection[field]);
            if (data == 0)
                continue;
            size_t k = 0;
            while (k < rs && !(h.sections[k].rawSize != 0 && data >= h.sections[k].rawPtr &&
                               data < (uint64_t)h.sections[k].rawPtr + h.sections[k].rawSize))
                k++;
            if (k == rs) {
                *err = "debug data at " + Hex(data) + " lies outside the sections before the resources";
                return false;
            }
            SetUi32(&debugSection[field], data - h.sections[k].rawPtr + secs[k].rawPtr);
        }
    }

    Emitter em(out, err);
    if (!em.Bytes(hdr.data(), hdr.size()))
        return false;
    for (size_t i = 0; i < secs.size(); i++) {
        const PeSection &s = secs[i];
        if (s.rawSize == 0)
            continue;
        if (!em.PadTo(s.rawPtr))
            return false;
        if (i == rs) {
            if (!em.Section(plan, s.rawPtr))
                return false;
        } else if (i == debugIn) {
            if (!em.Bytes(debugSection.data(), debugSection.size()))
                return false;
        } else if (!em.Bytes(image + h.sections[i].rawPtr, h.sections[i].rawSize)) {
            return false;
        }
        if (!em.PadTo((uint64_t)s.rawPtr + s.rawSize))
            return false;
    }
    return em.FinishChecksum(opt + kPeOptCheckSum);
}

}  // namespace

bool WriteResourceDll(const ResList &res, std::vector<uint8_t> *out, std::string *err)
{
    VectorOutput o(out);
    if (WriteDll(res, &o, err))
        return true;
    out->clear();
    return false;
}

bool ReplaceResources(const uint8_t *image, size_t size, const ResList &res, std::vector<uint8_t> *out,
                      std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment)
{
    VectorOutput o(out);
    if (Replace(image, size, res, fileAlignment, &o, warnings, err))
        return true;
    out->clear();
    return false;
}

bool ReplaceResourcesToFile(const uint8_t *image, size_t size, const ResList &res, FILE *out,
                            std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment)
{
    FileOutput o(out);
    return Replace(image, size, res, fileAlignment, &o, warnings, err);
}

uint32_t PeChecksum(const uint8_t *image, size_t size)
{
    PeImage h;
    std::string err;
    PeChecksumState sum;
    PeChecksumInit(&sum, ParsePeImage(image, size, &h, &err) ? h.checkSumOffset : UINT64_MAX);
    PeChecksumUpdate(&sum, image, size);
    return PeChecksumFinish(&sum);
}

}  // namespace tk
