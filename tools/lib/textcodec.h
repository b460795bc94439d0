// The text codec of the tools: UTF-8, UTF-16 and the Windows code pages
// (through iconv). Malformed UTF-8 (overlong forms, surrogates, past
// U+10FFFF, cut sequences) is refused everywhere the same way.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

namespace tk {

// ANSI code pages whose texts the tools can check: every Windows ANSI code
// page a language uses: the single-byte ones (874, 1250-1258) and the
// double-byte ones (932, 936, 949, 950). Others are refused, since the
// checks walk texts character by character as the launcher does.
bool CodePageSupported(uint32_t codePage);

// The ANSI code page of users of a language (by the primary language of
// `lcid`); `*known` false (and 1252) for a language not in the table.
uint32_t CodePageOfLanguage(uint32_t lcid, bool *known);

// UTF-8 into code points. False at the first malformed sequence, with its
// byte offset in `badOffset`; `points` then holds those before it.
bool Utf8Decode(const std::string &text, std::vector<uint32_t> *points, size_t *badOffset);
// One code point as UTF-8.
std::string Utf8Encode(uint32_t point);

// UTF-8 into UTF-16. False (with `out` holding what came before) on
// malformed UTF-8.
bool Utf8ToUtf16(const std::string &in, std::u16string *out);
// For text already known to be valid UTF-8.
std::u16string Utf8ToUtf16(const std::string &text);
// UTF-16 into UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string &s);

// UTF-8 into the bytes of `codePage`. False with the first character that
// the code page cannot hold in `badPoint` (its code point), or 0 when the
// text is not UTF-8 or the code page is unknown to the system's converter.
bool ToCodePage(const std::string &utf8, uint32_t codePage, std::string *out, uint32_t *badPoint);
// Bytes of `codePage` into UTF-8. A byte (or pair) the code page does not
// define becomes U+FFFD and makes the result false; `out` is whole either way.
bool FromCodePage(const std::string &bytes, uint32_t codePage, std::string *out);

// "U+00F1 'ñ'" for messages (control characters without the quote).
std::string DescribePoint(uint32_t point);

// The code page in which the launcher's portable parsers walk characters
// (NextChar), for the life of the object; the one before comes back after.
class ParserCodePage {
public:
    explicit ParserCodePage(uint32_t codePage);
    ~ParserCodePage();
    ParserCodePage(const ParserCodePage &) = delete;
    ParserCodePage &operator=(const ParserCodePage &) = delete;

private:
    int previous_;
};

}  // namespace tk
