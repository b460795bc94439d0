// The PE image model: headers, sections, the machine, the checksum. The
// resource reader is pe_resread.cpp, the writers pe_reswrite.cpp.
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

constexpr uint32_t kImportDescriptorSize = 20;
constexpr uint64_t kHeaderBytes = 4096;          // where linkers' headers end

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

bool ParsePeFile(const std::string &path, PeImage *out, std::string *err, bool *unreadable)
{
    uint64_t size = 0;
    FILE *f = OpenForReading(path, 0xFFFFFFFFu, "4 GiB", &size, err);
    if (unreadable)
        *unreadable = !f;
    if (!f) {
        *out = PeImage();
        return false;
    }
    const bool ok = ParsePeImage(FileSource(f), size, out, err);
    fclose(f);
    return ok;
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
