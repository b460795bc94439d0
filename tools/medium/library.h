// `medium library`: the resource library _SETUP.DLL from one text description
// (docs/medium-library.md). The description is read into a LibDescription,
// checked against what the launcher can show, and turned into the
// resources of a ResList: one string table per language, the language
// table, and the splash pictures or logo scripts.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/lib/reslist.h"

namespace medium {

// The medium tool is built on the toolkit's model of images and resources.
using namespace tk;

enum class LibSplash { None, Bitmap, Logo };

struct LibText {
    uint16_t id = 0;        // the launcher's id: 7061-7068, 7110, 7111
    std::string utf8;       // escapes resolved
    int line = 0;
};

struct LibLanguage {
    std::string name;       // UTF-8, as written
    int line = 0;
    std::vector<uint32_t> lcids;
    int lcidLine = 0;
    uint32_t codePage = 1252;
    int codePageLine = 0;
    LibSplash splash = LibSplash::None;
    std::string splashFile;     // as written, relative to the description's folder
    int splashLine = 0;
    std::vector<LibText> texts;
};

struct LibDescription {
    std::string defaultName;    // empty: the first language
    int defaultLine = 0;
    std::vector<LibLanguage> languages;
};

// Reads a description. `file` names it in the messages ("file:line: what is
// wrong; what to do"), at most 20 of them. False when any line is wrong.
bool ParseLibraryDescription(const std::string &file, const std::string &text, LibDescription *out,
                             std::vector<std::string> *errors);

// Reads a file that the description names (the path is already joined to the
// description's folder). False with the reason in `why`.
using LibFileReader = std::function<bool(const std::string &path, std::vector<uint8_t> *data, std::string *why)>;

enum {
    kLibOk = 0,
    kLibInvalid = 1,      // the description or a file it names is wrong
    kLibUnreadable = 3,   // a file it names cannot be read
};

// Checks a parsed description and gives its resources in a fixed order (so
// the same inputs give the same bytes). `folder` is put before every file
// name of the description (empty or ending in '/'). Returns kLibOk, or
// kLibInvalid / kLibUnreadable with the messages in `errors`.
int BuildLibraryResources(const std::string &file, const std::string &folder, const LibDescription &desc,
                          const LibFileReader &read, ResList *out, std::vector<std::string> *errors);

// The library's own ids for language `index` (0-based): the launcher's id
// 7061 becomes 1061 for the first language, 2061 for the second, and so on.
uint16_t LibStringId(size_t index, uint16_t launcherId);
uint16_t LibBitmapId(size_t index);
uint16_t LibLogoId(size_t index);

}  // namespace medium
