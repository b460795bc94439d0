// Resource encoders of the medium tool: the version resource, icon groups
// from .ico files and the manifest's execution level. (String tables are the
// toolkit's: tools/lib/stringtable.h.)
// Each reads its input with bounds and reports what is wrong in one line
// (without the file name, which the caller adds).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/reslist.h"
#include "tools/lib/stringtable.h"
#include "tools/lib/textcodec.h"

namespace medium {

using namespace tk;

// VS_VERSIONINFO: sets (or adds) KEY=VALUE in every string table of the
// version resource `in`; "FileVersion" and "ProductVersion" must be version
// numbers (tk::ParseVersionNumber, an error otherwise) and set the fixed
// file info to the same number.
bool EditVersionInfo(const std::vector<uint8_t> &in, const std::vector<std::pair<std::string, std::string>> &keys,
                     std::vector<uint8_t> *out, std::string *err);

// One image of an .ico file.
struct IconImage {
    uint8_t width, height, colors;
    uint16_t planes, bitCount;
    std::vector<uint8_t> data;   // BITMAPINFOHEADER-based DIB or PNG
};
constexpr uint32_t kMaxIconImages = 64;
// Parses an .ico file: header, directory and images, each inside the file
// and each a DIB (40-byte header) or a PNG.
bool ParseIco(const std::vector<uint8_t> &ico, std::vector<IconImage> *images, std::string *err);
// Replaces icon group `groupId` (and the RT_ICON images it used) with the
// images of `ico`, in the group's language (0x409 when there was none).
bool ReplaceIconGroup(ResList *res, uint16_t groupId, const std::vector<uint8_t> &ico, std::string *err);

// Execution levels a manifest may ask for.
bool IsExecutionLevel(const std::string &level);
// Sets the level in the manifest text `in` (its requestedExecutionLevel
// element must be there).
bool SetExecutionLevel(const std::vector<uint8_t> &in, const std::string &level, std::vector<uint8_t> *out,
                       std::string *err);

}  // namespace medium
