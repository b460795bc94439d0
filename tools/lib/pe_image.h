// PE32 images for the medium tool: read a module's resource tree into a
// ResList, write a resource-only DLL, and replace the resource section of an
// existing image (the launcher stub).
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

#include "tools/medium/reslist.h"

namespace medium {

// Limits on what the reader accepts from an image.
constexpr uint32_t kMaxSections = 96;               // the platform loader's own limit
constexpr uint32_t kMaxResourceEntries = 1u << 16;  // data entries in one tree
constexpr uint32_t kMaxResourceDirectories = 1u << 16;

// Largest resource section the writers make (entries' data and directories):
// keeps every RVA and size well inside 32 bits.
constexpr uint64_t kMaxSectionSize = 0x70000000u;

// Reads the resource tree of the PE32 (or PE32+) image `image` of `size`
// bytes: all three levels (type, name, language), named and numbered ids.
// Replaces `*out` in tree order. An image without resources gives an empty
// list. False with `*err` set when the image is not a PE image, a structure
// runs past the file or its section, a directory is reached twice (a loop),
// or a count is absurd.
bool ReadResources(const uint8_t *image, size_t size, ResList *out, std::string *err);

// Writes a resource-only PE32 DLL holding `res` into `*out` (replaced):
// i386, no code, entry point 0, one .rsrc section, file alignment 512,
// section alignment 4096, timestamp 0 (the same list gives the same bytes).
// Entries may stream from files (ResEntry::dataFile). False with `*err` set
// on duplicate entries, an unreadable data file or a section too large.
bool WriteResourceDll(const ResList &res, std::vector<uint8_t> *out, std::string *err);

// Writes `image` with its resource section replaced by one holding `res`.
// The image must be PE32 with its resource directory at the start of a
// section that only the base relocation section may follow; that section is
// moved, SizeOfImage, SizeOfInitializedData, the resource and relocation
// directories and the CheckSum are fixed. An Authenticode certificate is
// dropped (any change breaks it) with a line in `*warnings`. Anything else
// (a section that would move, data appended after the sections, directories
// pointing past the resources) is refused with `*err` set.
//
// The file form writes to `out` (opened "w+b", empty): entries' data is
// copied from their files in blocks, so the image is never whole in memory.
bool ReplaceResources(const uint8_t *image, size_t size, const ResList &res, std::vector<uint8_t> *out,
                      std::vector<std::string> *warnings, std::string *err);
bool ReplaceResourcesToFile(const uint8_t *image, size_t size, const ResList &res, FILE *out,
                            std::vector<std::string> *warnings, std::string *err);

// The optional header's CheckSum of a whole image, as the platform computes
// it (16-bit one's-complement sum with the CheckSum field taken as 0, plus
// the file length).
uint32_t PeChecksum(const uint8_t *image, size_t size);

}  // namespace medium
