// What `medium inspect` reads from a PE image's headers besides its
// resources: sections, entry point, imported libraries, the certificate
// table. Bounded like the resource reader: every offset is checked against
// the file before it is read.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace medium {

constexpr uint32_t kMaxImportedLibraries = 64;   // more are not listed
constexpr uint32_t kMaxImportNameChars = 255;

struct PeSection {
    std::string name;
    uint32_t va = 0;
    uint32_t virtualSize = 0;
    uint32_t rawPtr = 0;
    uint32_t rawSize = 0;
    uint32_t flags = 0;   // IMAGE_SCN_*
};

constexpr uint32_t kScnCode = 0x20;
constexpr uint32_t kScnExecute = 0x20000000;

struct PeFacts {
    uint64_t fileSize = 0;
    uint16_t machine = 0;
    bool pe32plus = false;
    bool dll = false;
    uint32_t entryRva = 0;
    std::vector<PeSection> sections;
    uint32_t resourceRva = 0, resourceSize = 0;
    uint64_t resourceBytes = 0;     // raw bytes of the section that holds the resources
    uint32_t securityOffset = 0, securitySize = 0;   // certificate table (a file offset)
    std::vector<std::string> imports;
    bool importsUnreadable = false; // the import directory points outside the sections
};

// Reads the headers of the PE image `image` of `size` bytes. False with
// `*err` set when it is not a PE image or its headers run past the file.
bool ReadPeFacts(const uint8_t *image, size_t size, PeFacts *facts, std::string *err);

// 1 when a section of the image holds code or may be executed.
bool HasExecutableSection(const PeFacts &facts);

}  // namespace medium
