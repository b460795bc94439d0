// The tools' one model of a PE image: headers, sections, data directories
// and imports parsed once (ParsePeImage), one RvaToOffset(rva, length) and
// one rule for a section's span. Everything that reads or writes PE files
// goes through here: the resource reader, the resource-only DLL writer, the
// writer that replaces an image's resource section, and the checksum.
//
// Input is read through the bounded cursor (base/bytes.h), field by field;
// every offset and size taken from the image is checked against the file
// before it is used. Errors are one line of English without the file name,
// which the caller knows and puts in front.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/lib/reslist.h"

namespace tk {

// Fixed places and values of the format.
constexpr uint32_t kPeLfanewOffset = 0x3C;         // where the MZ header keeps the PE header's offset
constexpr uint32_t kPeSignature = 0x00004550;      // "PE\0\0"
constexpr uint32_t kMzSignature = 0x5A4D;          // "MZ"
constexpr uint32_t kPeCoffSize = 20;
constexpr uint32_t kPeSectionHeaderSize = 40;
constexpr uint32_t kPeMagic32 = 0x10B;
constexpr uint32_t kPeMagic32Plus = 0x20B;
constexpr uint16_t kPeMachineI386 = 0x14C;         // COFF machine values
constexpr uint16_t kPeMachineArm = 0x1C0;
constexpr uint16_t kPeMachineArmThumb2 = 0x1C4;
constexpr uint16_t kPeMachineIa64 = 0x200;
constexpr uint16_t kPeMachineAmd64 = 0x8664;
constexpr uint16_t kPeMachineArm64 = 0xAA64;
// Optional header fields at the same place in PE32 and PE32+.
constexpr uint32_t kPeOptSizeOfCode = 4;
constexpr uint32_t kPeOptSizeOfInitData = 8;
constexpr uint32_t kPeOptEntryPoint = 16;
constexpr uint32_t kPeOptBaseOfCode = 20;
constexpr uint32_t kPeOptSectionAlignment = 32;
constexpr uint32_t kPeOptFileAlignment = 36;
constexpr uint32_t kPeOptOsVersion = 40;
constexpr uint32_t kPeOptSubsystemVersion = 48;
constexpr uint32_t kPeOptSizeOfImage = 56;
constexpr uint32_t kPeOptSizeOfHeaders = 60;
constexpr uint32_t kPeOptCheckSum = 64;
constexpr uint32_t kPeOptSubsystem = 68;
constexpr uint32_t kPeOptDllCharacteristics = 70;
// From 24 on the two differ: PE32 has BaseOfData there and a 4-byte
// ImageBase after it; PE32+ has no BaseOfData and an 8-byte ImageBase, and
// its stack and heap sizes (from 72) are 8 bytes each, so the directory
// count and the directories sit 16 bytes further on.
constexpr uint32_t kPe32OptBaseOfData = 24;
constexpr uint32_t kPe32OptImageBase = 28;
constexpr uint32_t kPe32OptStackReserve = 72;      // then stack commit, heap reserve, heap commit, 4 bytes each
constexpr uint32_t kPe32OptDirCount = 92;
constexpr uint32_t kPe32OptSize = 0xE0;            // with all 16 directories
constexpr uint32_t kPe64OptImageBase = 24;
constexpr uint32_t kPe64OptDirCount = 108;
constexpr uint32_t kPe64OptSize = 0xF0;
constexpr uint32_t PeOptDirCountOffset(bool pe32plus) { return pe32plus ? kPe64OptDirCount : kPe32OptDirCount; }
constexpr uint32_t PeOptDirectoriesOffset(bool pe32plus) { return PeOptDirCountOffset(pe32plus) + 4; }
constexpr uint32_t kPeDirCount = 16;
constexpr uint32_t kPeDirImport = 1;
constexpr uint32_t kPeDirResource = 2;
constexpr uint32_t kPeDirSecurity = 4;             // a file offset, not an RVA
constexpr uint32_t kPeDirBaseReloc = 5;
constexpr uint32_t kPeDirDebug = 6;
constexpr uint32_t kPeDebugEntrySize = 28;         // one IMAGE_DEBUG_DIRECTORY
constexpr uint32_t kPeDebugRawPointer = 24;        // its PointerToRawData (a file offset)
constexpr uint32_t kPeFileDll = 0x2000;            // COFF characteristics
constexpr uint32_t kScnCode = 0x20;                // section flags
constexpr uint32_t kScnInitializedData = 0x40;
constexpr uint32_t kScnExecute = 0x20000000;

// Limits on what the reader accepts from an image.
constexpr uint32_t kMaxSections = 96;               // the platform loader's own limit
constexpr uint32_t kMaxResourceEntries = 1u << 16;  // data entries in one tree
constexpr uint32_t kMaxResourceDirectories = 1u << 16;
constexpr uint32_t kMaxImportedLibraries = 64;      // more are not listed
constexpr uint32_t kMaxImportNameChars = 255;
constexpr uint32_t kMaxHeaderBytes = 1u << 20;      // the most read for an image's headers

// Largest resource section the writers make (entries' data and directories):
// keeps every RVA and size well inside 32 bits.
constexpr uint64_t kMaxSectionSize = 0x70000000u;

struct PeSection {
    std::string name;          // printable: other bytes as '?', up to the first zero
    uint32_t virtualSize = 0;
    uint32_t va = 0;
    uint32_t rawSize = 0;
    uint32_t rawPtr = 0;
    uint32_t flags = 0;        // IMAGE_SCN_*
    uint32_t headerOffset = 0; // where its header sits in the file
};

struct PeDataDir {
    uint32_t rva = 0;
    uint32_t size = 0;
};

struct PeImage {
    uint64_t fileSize = 0;
    uint32_t peOffset = 0;
    uint16_t machine = 0;
    uint16_t characteristics = 0;   // COFF
    bool pe32plus = false;          // magic 0x20B: the 64-bit layout of the optional header
    bool dll = false;
    uint32_t optOffset = 0;         // file offset of the optional header
    uint32_t optSize = 0;
    uint32_t magic = 0;
    uint32_t entryRva = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t checkSum = 0;
    uint32_t checkSumOffset = 0;    // file offset of the CheckSum field
    uint32_t dirOffset = 0;         // file offset of the data directories
    uint32_t dirCount = 0;          // how many the header holds (at most 16)
    PeDataDir dirs[kPeDirCount];    // those past dirCount are zero
    std::vector<PeSection> sections;
    std::vector<std::string> imports;   // imported libraries' names, printable
    bool importsUnreadable = false;     // the import directory points outside the sections or the file
};

// Where the readers below get a file's bytes: the whole image in memory or
// an open file read in bounded pieces, so a large medium is never held whole.
// Reads `n` bytes at `offset` into `buf`; false when they are not all there.
struct ByteSource {
    void *ctx = nullptr;
    bool (*read)(void *ctx, uint64_t offset, uint8_t *buf, size_t n) = nullptr;
};

// A source over bytes in memory; `span` must outlive the source.
struct MemoryBytes {
    const uint8_t *data = nullptr;
    size_t size = 0;
};
ByteSource MemorySource(MemoryBytes *span);
// A source over an open file (read with fseeko/fread).
ByteSource FileSource(FILE *f);

// Parses the PE32 or PE32+ image `image` of `size` bytes: headers, section
// table and import names. False with `*err` set when it is not a PE image,
// its headers or section table run past the file or past SizeOfHeaders, or
// its section count is 0 or above the loader's limit.
bool ParsePeImage(const uint8_t *image, size_t size, PeImage *out, std::string *err);
// The same over a file of `size` bytes read through `src`: the headers
// (bounded) and the import names, nothing else.
bool ParsePeImage(const ByteSource &src, uint64_t size, PeImage *out, std::string *err);
// The same over the file at `path`. False with `*err` set; `*unreadable`
// (when given) tells a file that cannot be read from one that is no image.
bool ParsePeFile(const std::string &path, PeImage *out, std::string *err, bool *unreadable = nullptr);

// The bytes a section spans in memory: VirtualSize, or SizeOfRawData when
// VirtualSize is 0 (as the loader reads them).
uint32_t SectionSpan(const PeSection &s);
// The section whose span holds `rva`, or null.
const PeSection *SectionOfRva(const PeImage &img, uint32_t rva);
// The file offset of `length` bytes at `rva`: all of them inside one
// section's raw data (and its span) and inside the file. False otherwise.
bool RvaToOffset(const PeImage &img, uint32_t rva, uint32_t length, uint32_t *offset);
// Raw bytes of the section that holds the resource directory (0 when none).
uint64_t ResourceSectionBytes(const PeImage &img);
// 1 when a section of the image holds code or may be executed.
bool HasExecutableSection(const PeImage &img);

// A machine's name for people: "i386", "x86-64", "ARM64", ..., else
// "unknown (0xNNNN)".
std::string PeMachineName(uint16_t machine);
// 1 for the machines whose images are PE32+ (x86-64, ARM64, IA-64).
bool PeMachineIs64Bit(uint16_t machine);
// 1 when every Windows that runs a program for `launcher` also runs one
// for `program`: the same machine, or i386 beside x86-64 or ARM64 (which
// run 32-bit x86 programs).
bool PeMachineRunsBeside(uint16_t launcher, uint16_t program);

// Reads the resource tree: all three levels (type, name, language), named
// and numbered ids. Replaces `*out` in tree order. An image without
// resources gives an empty list. False with `*err` set when the image is not
// a PE image, a structure runs past the file or its section, a directory is
// reached twice (a loop), a count is absurd, or entries share data or names
// so that the list would hold more than the file (and 1 MiB); `*out` is
// then empty.
bool ReadResources(const uint8_t *image, size_t size, ResList *out, std::string *err);
// The same over an image already parsed.
bool ReadResources(const uint8_t *image, const PeImage &img, ResList *out, std::string *err);

// Entries of one numbered type left in the file: such an entry holds no
// `data` but names `file`, its offset and size (ResEntry::dataFile...), so
// that large entries (payload pieces) are read later, one at a time. A list
// read so is for checking; the writers take dataFile from its start.
struct ResInFile {
    uint16_t type = 0;
    std::string file;
};
// The same through `src`, reading the tree entry by entry; every other
// entry's data is read whole.
bool ReadResources(const ByteSource &src, const PeImage &img, const ResInFile *inFile, ResList *out,
                   std::string *err);

// Writes a resource-only PE32 DLL holding `res` into `*out` (replaced):
// i386, no code, entry point 0, one .rsrc section, file alignment 512,
// section alignment 4096, timestamp 0 (the same list gives the same bytes).
// Entries may stream from files (ResEntry::dataFile). False with `*err` set
// on duplicate entries, an unreadable data file or a section too large.
bool WriteResourceDll(const ResList &res, std::vector<uint8_t> *out, std::string *err);

// Writes `image` with its resource section replaced by one holding `res`.
// The image (PE32 or PE32+) must have its resource directory at the start of a
// section that only the base relocation section may follow; that section is
// moved, SizeOfImage, SizeOfInitializedData, the resource and relocation
// directories and the CheckSum are fixed. An Authenticode certificate is
// dropped (any change breaks it) with a line in `*warnings`. Anything else
// (a section that would move, data appended after the sections, directories
// pointing past the resources) is refused with `*err` set.
//
// `fileAlignment` 0 keeps the image's file alignment. A larger power of two
// (up to the section alignment) lays every section's raw data and the end of
// the headers out on that boundary: FileAlignment, SizeOfHeaders, the raw
// pointers and sizes, SizeOfCode/SizeOfInitializedData and the debug
// directory's file offsets follow; addresses in memory do not change.
//
// The file form writes to `out` (opened "w+b", empty): entries' data is
// copied from their files in blocks, so the image is never whole in memory.
bool ReplaceResources(const uint8_t *image, size_t size, const ResList &res, std::vector<uint8_t> *out,
                      std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment = 0);
bool ReplaceResourcesToFile(const uint8_t *image, size_t size, const ResList &res, FILE *out,
                            std::vector<std::string> *warnings, std::string *err, uint32_t fileAlignment = 0);

// The optional header's CheckSum of a whole image, as the platform computes
// it (16-bit one's-complement sum with the CheckSum field taken as 0, plus
// the file length).
uint32_t PeChecksum(const uint8_t *image, size_t size);

}  // namespace tk
