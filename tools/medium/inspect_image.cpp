// PE headers for `medium inspect`.
#include "tools/medium/inspect_image.h"

#include "base/bytes.h"

namespace medium {
namespace {

constexpr uint32_t kLfanew = 0x3C;
constexpr uint32_t kMaxSectionsRead = 96;
constexpr uint32_t kDirImport = 1;
constexpr uint32_t kDirResource = 2;
constexpr uint32_t kDirSecurity = 4;
constexpr uint32_t kDllFlag = 0x2000;
constexpr uint32_t kImportDescriptorSize = 20;

// The file offset of `rva`, inside one section's raw data and the file.
bool RvaToOffset(const PeFacts &f, uint32_t rva, uint32_t *offset)
{
    for (const PeSection &s : f.sections) {
        if (rva < s.va || rva - s.va >= s.rawSize)
            continue;
        uint64_t at = (uint64_t)s.rawPtr + (rva - s.va);
        if (at >= f.fileSize)
            return false;
        *offset = (uint32_t)at;
        return true;
    }
    return false;
}

void ReadImports(const uint8_t *image, uint32_t size, uint32_t rva, PeFacts *f)
{
    uint32_t at = 0;
    if (!RvaToOffset(*f, rva, &at)) {
        f->importsUnreadable = true;
        return;
    }
    ByteReader r;
    ReaderInit(&r, image, size);
    ReaderSeek(&r, at);
    for (uint32_t i = 0; i < kMaxImportedLibraries; i++) {
        const unsigned char *d = ReaderTake(&r, kImportDescriptorSize);
        if (!d) {
            f->importsUnreadable = true;
            return;
        }
        bool empty = true;
        for (uint32_t k = 0; k < kImportDescriptorSize; k++)
            empty = empty && d[k] == 0;
        if (empty)
            return;
        uint32_t nameAt = 0;
        if (!RvaToOffset(*f, GetUi32(d + 12), &nameAt)) {
            f->imports.push_back("(a name outside the file)");
            continue;
        }
        std::string name;
        for (uint32_t k = 0; k < kMaxImportNameChars && nameAt + k < size && image[nameAt + k]; k++) {
            unsigned char c = image[nameAt + k];
            name += (c >= 0x20 && c < 0x7F) ? (char)c : '?';
        }
        f->imports.push_back(name);
    }
}

}  // namespace

bool ReadPeFacts(const uint8_t *image, size_t size, PeFacts *f, std::string *err)
{
    *f = PeFacts();
    if (size > 0xFFFFFFFFu) {
        *err = "larger than 4 GiB";
        return false;
    }
    f->fileSize = size;
    ByteReader r;
    ReaderInit(&r, image, (uint32_t)size);
    if (ReaderU16(&r) != 0x5A4D) {
        *err = "not a PE image (no MZ header)";
        return false;
    }
    ReaderSeek(&r, kLfanew);
    ReaderSeek(&r, ReaderU32(&r));
    if (ReaderU32(&r) != 0x00004550 || r.err) {
        *err = "not a PE image (no PE signature where the MZ header points)";
        return false;
    }
    f->machine = (uint16_t)ReaderU16(&r);
    const uint32_t sectionCount = ReaderU16(&r);
    ReaderTake(&r, 12);
    const uint32_t optSize = ReaderU16(&r);
    f->dll = (ReaderU16(&r) & kDllFlag) != 0;
    const uint32_t optAt = r.pos;
    const uint32_t magic = ReaderU16(&r);
    if (r.err || (magic != 0x10B && magic != 0x20B)) {
        *err = "not a PE32 or PE32+ image";
        return false;
    }
    f->pe32plus = magic == 0x20B;
    ReaderSeek(&r, optAt + 16);
    f->entryRva = ReaderU32(&r);
    const uint32_t countAt = f->pe32plus ? 108 : 92;
    ReaderSeek(&r, optAt + countAt);
    uint32_t dirCount = ReaderU32(&r);
    if (dirCount > 16)
        dirCount = 16;
    if (r.err || optSize < countAt + 4 + 8 * dirCount) {
        *err = "the optional header is cut short";
        return false;
    }
    uint32_t dirs[16][2] = {};
    for (uint32_t i = 0; i < dirCount; i++) {
        dirs[i][0] = ReaderU32(&r);
        dirs[i][1] = ReaderU32(&r);
    }
    if (sectionCount == 0 || sectionCount > kMaxSectionsRead) {
        *err = "absurd section count " + std::to_string(sectionCount);
        return false;
    }
    ReaderSeek(&r, optAt + optSize);
    for (uint32_t i = 0; i < sectionCount; i++) {
        PeSection s;
        const unsigned char *name = ReaderTake(&r, 8);
        for (int k = 0; name && k < 8 && name[k]; k++)
            s.name += (name[k] >= 0x20 && name[k] < 0x7F) ? (char)name[k] : '?';
        s.virtualSize = ReaderU32(&r);
        s.va = ReaderU32(&r);
        s.rawSize = ReaderU32(&r);
        s.rawPtr = ReaderU32(&r);
        ReaderTake(&r, 12);
        s.flags = ReaderU32(&r);
        f->sections.push_back(s);
    }
    if (r.err) {
        *err = "the section table runs past the end of the file";
        return false;
    }
    f->resourceRva = dirs[kDirResource][0];
    f->resourceSize = dirs[kDirResource][1];
    for (const PeSection &s : f->sections) {
        if (f->resourceSize && f->resourceRva >= s.va && f->resourceRva - s.va < s.virtualSize + 0ull + s.rawSize)
            f->resourceBytes = s.rawSize;
    }
    f->securityOffset = dirs[kDirSecurity][0];
    f->securitySize = dirs[kDirSecurity][1];
    if (dirs[kDirImport][0] && dirs[kDirImport][1])
        ReadImports(image, (uint32_t)size, dirs[kDirImport][0], f);
    return true;
}

bool HasExecutableSection(const PeFacts &facts)
{
    for (const PeSection &s : facts.sections) {
        if (s.flags & (kScnCode | kScnExecute))
            return true;
    }
    return false;
}

}  // namespace medium
