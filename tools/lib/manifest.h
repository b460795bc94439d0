// An application manifest (resource type 24) checked as the platform's
// side-by-side loader would refuse it: well-formed XML (read with expat,
// bounded in size, depth, attributes and with no document type, so no
// entity can expand), an `assembly` root in the asm.v1 namespace with
// manifestVersion "1.0", and at most one `requestedExecutionLevel` whose
// level and uiAccess are values the platform knows.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "tools/lib/problem.h"

namespace tk {

constexpr size_t kMaxManifestBytes = 1u << 20;
constexpr int kMaxManifestDepth = 64;
constexpr int kMaxManifestElements = 10000;

struct ManifestInfo {
    bool wellFormed = false;
    std::string executionLevel;   // as written; empty when none is requested
    std::string uiAccess;         // as written; empty when absent
};

// Checks the manifest `data` of `size` bytes. Problems name the line and
// column where XML is concerned.
void CheckManifest(const uint8_t *data, size_t size, ManifestInfo *out, Problems *problems);

}  // namespace tk
