// The check of a resource library (_SETUP.DLL) as the launcher reads it:
// the language table (through the launcher's own parser) against the
// resources it names, each message in each language, the splash each
// language gets. Used by `medium inspect` and `langtable check`.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/pe_image.h"
#include "tools/lib/report.h"
#include "tools/lib/reslist.h"

namespace tk {

// What one language of a library shows: its first box's caption and the
// splash, for a medium's summary.
struct LanguageView {
    std::string name;
    std::string lcids;
    std::string caption;     // UTF-8; empty: the launcher's own
    std::string splash;      // a phrase: "bitmap 7510 (400 x 240)", "none", ...
};

struct LibraryView {
    bool read = false;
    bool indexed = false;
    std::vector<LanguageView> languages;
    // The piece count strings that the library would supply (the launcher
    // then reads them from there); empty when it does not.
    std::string pieceCounts[3];
};

// ANSI bytes (a language's name, a logo script line) as UTF-8, read in
// `codePage` (1252 for one the tools cannot read); control characters as '?'.
std::string AnsiText(const std::string &ansi, uint32_t codePage);
// The code page of a table's language: that of the first LCID in its list
// (`*known` false and 1252 for an empty list or an unknown language).
uint32_t CodePageOfLcidList(const std::string &lcids, bool *known);
// The numbers of an LCID list ("1033, 2057"), in order; what is not a
// decimal number (up to 0xFFFFFFFF) between the commas is left out.
std::vector<uint64_t> LcidNumbers(const std::string &lcids);
// A table language's name as UTF-8, read in its own code page.
std::string LanguageNameText(const std::string &name, const std::string &lcids);

// Checks the resources of a library. Facts go under `facts`, problems into
// `findings` (named `file`). `pe` may be null (no header checks, as for a
// table checked alone).
void InspectLibraryResources(const ResList &res, const PeImage *pe, const std::string &file, ReportNode *facts,
                             std::vector<Finding> *findings, LibraryView *view);

}  // namespace tk
