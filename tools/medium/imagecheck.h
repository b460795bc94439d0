// What `medium inspect` checks in every image, launcher or library, besides
// what it carries: the structure as the platform's loader reads it, the PE
// checksum, the Authenticode signature, the manifest, the version resource
// and the icon groups. Facts go under `facts`, problems into `findings`
// (named `file`).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/pe_image.h"
#include "tools/lib/report.h"
#include "tools/lib/reslist.h"

namespace medium {

struct ImageCheckOptions {
    std::string caFile;      // PEM roots the signer must chain to; empty: the chain is not checked
    std::string tsaCaFile;   // PEM roots of time-stamp authorities; empty: those of caFile
};

// The image's bytes are read through `src` in bounded blocks.
void CheckImage(const tk::ByteSource &src, const tk::PeImage &pe, const tk::ResList &res,
                const ImageCheckOptions &opt, const std::string &file, tk::ReportNode *facts,
                std::vector<tk::Finding> *findings);

// The Authenticode signature alone: "signed" (no, verified, not verified)
// and the signature's facts under `facts`, its problems into `problems`.
void CheckSignature(const tk::ByteSource &src, const tk::PeImage &pe, const ImageCheckOptions &opt,
                    tk::ReportNode *facts, std::vector<tk::Finding> *problems);

}  // namespace medium
