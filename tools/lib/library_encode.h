// The pieces of a resource library that `medium library` makes: texts in a
// language's code page, string table blocks, bitmap resources from BMP files,
// and the check of a logo script with the launcher's own line parser.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/medium/reslist.h"

namespace medium {

// ANSI code pages whose texts the tool can check: the single-byte Windows
// code pages (874, 1250-1258) and 932. Others are refused, since the checks
// walk texts character by character as the launcher does.
bool LibCodePageSupported(uint32_t codePage);

// UTF-8 into code points. False at the first malformed sequence (an overlong
// form, a surrogate, past U+10FFFF), with its byte offset in `badOffset`.
bool Utf8Decode(const std::string &text, std::vector<uint32_t> *points, size_t *badOffset);

// UTF-8 into UTF-16 (the text must be valid UTF-8).
std::u16string Utf8ToUtf16(const std::string &text);

// UTF-8 into the bytes of `codePage`. False with the first character that the
// code page cannot hold in `badPoint` (its code point), or 0 when the text is
// not UTF-8 or the code page is unknown to the system's converter.
bool ToCodePage(const std::string &utf8, uint32_t codePage, std::string *out, uint32_t *badPoint);

// "U+00F1 'ñ'" for messages.
std::string DescribePoint(uint32_t point);

// String table resources (type 6) for `strings` (id, text; ids unique): one
// block per 16 ids, named id / 16 + 1, each holding 16 counted UTF-16 texts
// (an absent id is a zero count). Appended to `out` in block order.
void AddStringTables(const std::vector<std::pair<uint16_t, std::u16string>> &strings, uint16_t lang,
                     ResList *out);

// The data of one string table block, `texts` indexed by id % 16.
std::vector<uint8_t> EncodeStringBlock(const std::u16string (&texts)[16]);

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

}  // namespace medium
