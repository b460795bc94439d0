// Resource encoders of the medium tool: string table blocks, the version
// resource, icon groups from .ico files and the manifest's execution level.
// Each reads its input with bounds and reports what is wrong in one line
// (without the file name, which the caller adds).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/medium/reslist.h"

namespace medium {

// UTF-8 (as given on a command line) to UTF-16; false on bad sequences.
bool Utf8ToUtf16(const std::string &in, std::u16string *out);

// The entry of `type`/`name` in `res` with language `lang`, or the first of
// any language when `lang` is 0xFFFF; null when there is none.
ResEntry *FindEntry(ResList *res, uint16_t type, uint16_t name, uint16_t lang = 0xFFFF);

// String table blocks: 16 counted UTF-16 strings, the block of string `id`
// being resource (id / 16) + 1.
bool ReadStringBlock(const std::vector<uint8_t> &data, std::u16string out[16], std::string *err);
std::vector<uint8_t> WriteStringBlock(const std::u16string strings[16]);
// Sets string `id` in the block of language `lang`, creating the block when
// the list has none.
bool SetString(ResList *res, uint16_t id, uint16_t lang, const std::u16string &text, std::string *err);
// Reads string `id` of language `lang` (empty when absent).
bool GetString(const ResList &res, uint16_t id, uint16_t lang, std::u16string *text, std::string *err);

// VS_VERSIONINFO: sets (or adds) KEY=VALUE in every string table of the
// version resource `in`; "FileVersion" and "ProductVersion" of the form
// a[.b[.c[.d]]] (numbers up to 65535) also set the fixed file info.
bool EditVersionInfo(const std::vector<uint8_t> &in, const std::vector<std::pair<std::string, std::string>> &keys,
                     std::vector<uint8_t> *out, std::string *err);
// The string `key` of the first string table (for tests and reports).
bool VersionString(const std::vector<uint8_t> &in, const std::string &key, std::u16string *value, std::string *err);

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
// The level the manifest asks for, or empty.
std::string ExecutionLevel(const std::vector<uint8_t> &manifest);

}  // namespace medium
