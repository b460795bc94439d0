// SZDD for the host tools: the compressor (optimal LZSS parse, streaming with
// bounded memory) and thin wrappers over the base expander (base/szdd.h,
// which also documents the format).
//
// Portable: no platform headers, so the same code builds into the host tool,
// its tests and fuzzer, and the Windows test that checks our files against
// the platform's own expander.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/szdd.h"

namespace szdd {

constexpr size_t kHeaderSize = kSzddHeaderSize;
constexpr size_t kMagicSize = kSzddMagicSize;
constexpr size_t kMethodOffset = kSzddMethodOffset;
constexpr size_t kNameCharOffset = kSzddNameCharOffset;
constexpr size_t kSizeOffset = kSzddSizeOffset;
constexpr size_t kWindowSize = kSzddWindowSize;
constexpr size_t kWindowStart = kSzddWindowStart;
constexpr size_t kMinMatch = kSzddMinMatch;
constexpr size_t kMaxMatch = kSzddMaxMatch;
constexpr uint8_t kMethodA = kSzddMethodA;
constexpr uint64_t kMaxInput = 0xFFFFFFFFu;   // the header's size field

enum class Result {
    Ok,
    TooLarge,        // input does not fit the 32-bit size field
    NotSzdd,         // expand: no SZDD magic
    BadHeader,       // expand: header cut short or method other than 'A'
    Truncated,       // expand: data ends before the header's size is reached
    TooLong,         // expand: data goes on past the header's size
    SinkFailed,      // the output sink returned false
    NoMemory,        // expand: the window could not be allocated
    LengthMismatch,  // compress: the input given differs from the length announced
};

// One line of English, no terminating period, for messages; never null.
const char *ResultText(Result result);

// The base expander's result as a Result.
Result FromSzddResult(int result);

// Receives output in order; returns false to stop (the call then fails with
// SinkFailed).
using Sink = std::function<bool(const uint8_t *data, size_t len)>;

// Streaming compressor. The SZDD header holds the expanded size, so the total
// input length is given up front; input then arrives in chunks of any size
// and the file leaves through the sink, header first. Memory stays bounded
// (about 1.5 MB) whatever the input's size. The output is the same however
// the input is cut into chunks.
class Compressor {
public:
    Compressor(uint64_t totalLength, Sink sink);
    ~Compressor();
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    // Takes the next `len` bytes (data may be null when len is 0). After an
    // error every later call returns that same error.
    Result Write(const uint8_t *data, size_t len);
    // Codes what is left and delivers the rest of the file; the input given
    // must add up to the announced length.
    Result Finish();

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Compresses `len` bytes at `data` (may be null when len is 0) into a whole
// SZDD file, header included, replacing the contents of `out`. The match
// search is an optimal parse over bit costs, so the output is never larger
// than MaxCompressedSize(len).
Result Compress(const uint8_t *data, size_t len, std::vector<uint8_t> &out);

// Expands the whole SZDD file at `data` into `out` (replaced), strictly as
// SzddExpand does. On error `out` holds what the expander delivered.
Result Expand(const uint8_t *data, size_t len, std::vector<uint8_t> &out);

// Worst-case compressed size for `len` input bytes, header included.
uint64_t MaxCompressedSize(uint64_t len);

}  // namespace szdd
