// The version resource (VS_VERSIONINFO, resource type 16) read whole and
// bounded: the fixed file information, every StringFileInfo table and key,
// and VarFileInfo's Translation. Findings: a node that runs past its parent,
// a wrong signature, a FileVersion text that disagrees with the fixed file
// version, keys the platform does not know (with the closest standard key).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/problem.h"

namespace tk {

constexpr uint32_t kVsFixedSignature = 0xFEEF04BD;
constexpr uint32_t kVsFixedSize = 52;
constexpr uint32_t kMaxVersionNodes = 4096;
constexpr uint32_t kMaxVersionKeyChars = 256;

struct VersionString {
    std::string table;   // the StringTable's key, "040904B0"
    std::string key;     // UTF-8
    std::string value;   // UTF-8, without the terminating zero
};

struct VersionInfo {
    bool read = false;          // the root node and its fixed information were read
    uint32_t fileVersionMS = 0, fileVersionLS = 0;
    uint32_t productVersionMS = 0, productVersionLS = 0;
    uint32_t fileFlags = 0, fileOS = 0, fileType = 0;
    std::vector<VersionString> strings;   // in resource order
    std::vector<uint32_t> translations;   // language in the low word, code page in the high word
};

// One node of a version resource as it lies in the bytes: wLength,
// wValueLength, wType, the key, the value, then the children, each 4-byte
// aligned. Offsets are into the resource.
struct VersionNode {
    uint32_t at = 0, end = 0;              // the node's bytes
    uint32_t valueLength = 0, type = 0;    // as stored: characters for text (type 1), else bytes
    std::u16string key;
    uint32_t valueAt = 0, valueSize = 0;   // the value, in bytes
    uint32_t childrenAt = 0;               // the first child, or `end`
};

// Reads the node at `at` of `data`, which must lie inside [at, limit): every
// length checked against its parent before it is used. False with `*why`
// set ("the version resource's <what> at offset N ..."), when it runs past
// its parent, its key has no terminating zero within kMaxVersionKeyChars,
// its type is not 0 or 1, or its value runs past it.
bool ReadVersionNode(const uint8_t *data, uint32_t at, uint32_t limit, const char *what, VersionNode *n,
                     std::string *why);

// Where the child after one ending at `childEnd` starts, or 0 when none is
// left inside `parent` (what remains is padding).
uint32_t NextVersionChild(const VersionNode &parent, uint32_t childEnd);

// "1.2.3.4" from two DWORDs of the fixed information.
std::string VersionText(uint32_t ms, uint32_t ls);

// Reads the version resource `data` of `size` bytes.
void ReadVersionInfo(const uint8_t *data, size_t size, VersionInfo *out, Problems *problems);

}  // namespace tk
