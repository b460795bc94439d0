// SZDD: the compressed file format that the platform's LZ expansion service
// (LZOpenFile / LZCopy) reads, method 'A' (LZSS over a 4 KiB window).
//
// Layout: the 8-byte magic, the method byte 'A', one byte for the last
// character of the original file name (we write 0), the expanded size as a
// 32-bit little-endian number, then the coded data: a flag byte before each
// group of up to 8 items, read from its lowest bit; a set bit is one literal
// byte, a clear bit is a 2-byte match (12-bit window position, 4-bit length
// minus 3). The window starts filled with blanks and is first written at
// 4096 - 16.
//
// Portable: no platform headers, so the same code builds into the host tool,
// its tests and fuzzer, and the Windows test that checks our files against
// the platform's own expander.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace szdd {

constexpr size_t kHeaderSize = 14;
constexpr size_t kMagicSize = 8;
constexpr size_t kMethodOffset = 8;
constexpr size_t kNameCharOffset = 9;
constexpr size_t kSizeOffset = 10;
constexpr size_t kWindowSize = 4096;
constexpr size_t kWindowStart = 4096 - 16;   // first write position in the window
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;             // 4 length bits + kMinMatch

extern const uint8_t kMagic[kMagicSize];   // "SZDD" 0x88 0xF0 0x27 0x33
constexpr uint8_t kMethodA = 'A';

enum class Result {
    Ok,
    TooLarge,        // compress: input does not fit the 32-bit size field
    ShortHeader,     // expand: fewer bytes than the header
    BadMagic,        // expand: not an SZDD file
    BadMethod,       // expand: method byte is not 'A'
    Truncated,       // expand: data ends before the header's size is reached
    SizeMismatch,    // expand: data goes on past the header's size
};

// One line of English, no terminating period, for messages; never null.
const char *ResultText(Result result);

// Compresses `len` bytes at `data` (may be null when len is 0) into a whole
// SZDD file, header included, replacing the contents of `out`. The match
// search is an optimal parse over bit costs, so the output is never larger
// than kHeaderSize + len + (len + 7) / 8.
Result Compress(const uint8_t *data, size_t len, std::vector<uint8_t> &out);

// Expands the whole SZDD file at `data` into `out` (replaced). Strict: the
// coded data must produce exactly the header's size and end there, so a cut
// or padded file is refused. On error `out` holds what was expanded so far.
Result Expand(const uint8_t *data, size_t len, std::vector<uint8_t> &out);

// Worst-case compressed size for `len` input bytes, header included.
size_t MaxCompressedSize(size_t len);

}  // namespace szdd
