// Pieces of a resource library that the tools make and check: bitmap
// resources from BMP files, and the check of a logo script with the
// launcher's own line parser.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/lib/reslist.h"

namespace tk {

enum {
    kBmpMaxSide = 4096,             // a splash is shown 1:1; larger is a mistake
    kBmpMaxFile = 64 * 1024 * 1024,
};

// A BMP file into the data of a BITMAP resource (the file without its
// 14-byte header, the pixels moved right behind the colour table as the
// platform's loader expects them). False with what is wrong in `why`.
bool BmpToResource(const std::vector<uint8_t> &file, std::vector<uint8_t> *dib, std::string *why);

enum {
    kLogoFaceNameChars = 31,   // a font face name holds 31 characters
};

// Checks a logo script, already in `codePage`, as the launcher reads it:
// line lengths, texts and faces that would be cut, "<face,size>" lines the
// parser would misread, colour directives that fall back to the default, a
// keyword followed by a blank (read as a comment). Returns (line, problem)
// pairs, empty when the script is sound.
std::vector<std::pair<int, std::string>> CheckLogoScript(const std::string &script, uint32_t codePage);

}  // namespace tk
