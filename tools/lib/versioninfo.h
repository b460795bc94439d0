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

// "1.2.3.4" from two DWORDs of the fixed information.
std::string VersionText(uint32_t ms, uint32_t ls);

// Reads the version resource `data` of `size` bytes.
void ReadVersionInfo(const uint8_t *data, size_t size, VersionInfo *out, Problems *problems);

}  // namespace tk
