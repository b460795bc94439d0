#include "szdd_codec.h"

#include <string.h>

namespace szdd {

const uint8_t kMagic[kMagicSize] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

namespace {

const size_t kWindowMask = kWindowSize - 1;

// Farthest match we emit. The expander copies a match byte by byte, reading
// each byte before it writes one, so even 4096 would decode; staying 18 short
// keeps the source of a match clear of the bytes it is about to overwrite, and
// no expander, however it orders the copy, can then see other data. It costs
// 18 of 4096 window positions.
const size_t kMaxDistance = kWindowSize - kMaxMatch;

// The search runs over the input with this many blanks put in front: they
// stand for the expander's initial window, so leading blanks compress. More
// would add nothing: a candidate farther back than this has only blanks for
// its whole length, and the one at kMaxMatch has the same bytes and is nearer.
const size_t kBlankLead = kMaxMatch;
const uint8_t kBlank = 0x20;

const int kHashBits = 15;
const size_t kHashSize = size_t(1) << kHashBits;
const size_t kNone = ~size_t(0);

// Candidates tried per position. A window holds at most 4078, and text or
// code rarely has more than a few hundred places starting with the same three
// bytes, so the parse stays all but exact (measured: within 0.01% of an
// unbounded search) while degenerate input cannot make the search crawl.
const size_t kMaxChain = 1024;

// Positions parsed per optimal-parse block: the cost tables stay small and
// cache-resident whatever the input size; a block boundary costs at most one
// slightly worse choice.
const size_t kBlockSize = size_t(1) << 16;

// Bits an item takes in the output, its flag bit included.
const uint32_t kLiteralBits = 9;
const uint32_t kMatchBits = 17;

uint32_t GetU32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutU32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t Hash3(const uint8_t *p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

// Hash chains over the whole buffer; `prev` is a ring one window long, which is
// enough because no chain is followed farther back than kMaxDistance.
class MatchFinder {
public:
    MatchFinder(const uint8_t *buf, size_t len)
        : buf_(buf), len_(len), head_(kHashSize, kNone), prev_(kWindowSize, kNone) {}

    // Longest match (at most `limit` bytes, limit <= len - pos) for `pos`
    // against earlier positions, then enters `pos` in the chains. Positions
    // must be given in order, each once. Returns the length (0 when under
    // kMinMatch) and its start in *source.
    size_t FindAndInsert(size_t pos, size_t limit, size_t *source) {
        if (len_ - pos < kMinMatch)
            return 0;
        const uint32_t h = Hash3(buf_ + pos);
        const uint8_t *cur = buf_ + pos;
        const size_t lowest = pos > kMaxDistance ? pos - kMaxDistance : 0;
        size_t best = kMinMatch - 1;
        size_t bestSource = 0;
        size_t cand = head_[h];
        size_t tries = kMaxChain;
        // kNone fails cand < pos, ending the walk at a chain's end.
        while (limit >= kMinMatch && cand < pos && cand >= lowest && tries-- > 0) {
            const uint8_t *p = buf_ + cand;
            // best < limit here, so p[best] and cur[best] are inside the buffer;
            // p may run into cur, which is what the expander's copy sees.
            if (p[best] == cur[best]) {
                size_t n = 0;
                while (n < limit && p[n] == cur[n])
                    ++n;
                if (n > best) {
                    best = n;
                    bestSource = cand;
                    if (n == limit)
                        break;
                }
            }
            const size_t next = prev_[cand & kWindowMask];
            if (next >= cand)
                break;
            cand = next;
        }
        prev_[pos & kWindowMask] = head_[h];
        head_[h] = pos;
        if (best < kMinMatch)
            return 0;
        *source = bestSource;
        return best;
    }

private:
    const uint8_t *buf_;
    size_t len_;
    std::vector<size_t> head_;
    std::vector<size_t> prev_;
};

// Appends items, opening a new flag byte before every eighth.
class ItemWriter {
public:
    explicit ItemWriter(std::vector<uint8_t> &out) : out_(out) {}

    void Literal(uint8_t c) {
        size_t flag = OpenItem();
        out_[flag] |= uint8_t(1u << bit_);
        out_.push_back(c);
        ++bit_;
    }

    void Match(unsigned windowPos, size_t length) {
        OpenItem();
        out_.push_back(uint8_t(windowPos & 0xFF));
        out_.push_back(uint8_t(((windowPos >> 4) & 0xF0) | (length - kMinMatch)));
        ++bit_;
    }

private:
    size_t OpenItem() {
        if (bit_ == 8) {
            flagIndex_ = out_.size();
            out_.push_back(0);
            bit_ = 0;
        }
        return flagIndex_;
    }

    std::vector<uint8_t> &out_;
    size_t flagIndex_ = 0;
    unsigned bit_ = 8;
};

}  // namespace

const char *ResultText(Result result) {
    switch (result) {
    case Result::Ok: return "ok";
    case Result::TooLarge: return "input is 4 GiB or more, too large for an SZDD file";
    case Result::ShortHeader: return "file is shorter than the 14-byte SZDD header";
    case Result::BadMagic: return "not an SZDD file (bad magic)";
    case Result::BadMethod: return "unsupported SZDD compression method (only 'A' is known)";
    case Result::Truncated: return "compressed data ends before the expanded size in the header";
    case Result::SizeMismatch: return "compressed data goes on past the expanded size in the header";
    }
    return "unknown error";
}

size_t MaxCompressedSize(size_t len) {
    return kHeaderSize + len + (len + 7) / 8;
}

Result Compress(const uint8_t *data, size_t len, std::vector<uint8_t> &out) {
    out.clear();
    if (len > 0xFFFFFFFFu)
        return Result::TooLarge;
    out.reserve(MaxCompressedSize(len));
    out.insert(out.end(), kMagic, kMagic + kMagicSize);
    out.push_back(kMethodA);
    out.push_back(0);  // last character of the file name: not recorded
    out.resize(kHeaderSize);
    PutU32(&out[kSizeOffset], uint32_t(len));
    if (len == 0)
        return Result::Ok;

    std::vector<uint8_t> buf(kBlankLead + len, kBlank);
    memcpy(&buf[kBlankLead], data, len);
    const size_t end = buf.size();

    MatchFinder finder(&buf[0], end);
    size_t unused;
    for (size_t i = 0; i < kBlankLead; ++i)
        finder.FindAndInsert(i, 0, &unused);

    // Per block: longest match at each position, then costs from the block's
    // end backwards (every shorter length at the same source is also a match),
    // then the cheapest path forwards.
    std::vector<uint8_t> matchLen(kBlockSize);
    std::vector<size_t> matchSource(kBlockSize);
    std::vector<uint32_t> cost(kBlockSize + 1);
    std::vector<uint8_t> choice(kBlockSize);
    ItemWriter writer(out);

    for (size_t start = kBlankLead; start < end; start += kBlockSize) {
        const size_t stop = end - start > kBlockSize ? start + kBlockSize : end;
        const size_t count = stop - start;

        for (size_t k = 0; k < count; ++k) {
            const size_t pos = start + k;
            const size_t limit = end - pos < kMaxMatch ? end - pos : kMaxMatch;
            matchLen[k] = uint8_t(finder.FindAndInsert(pos, limit, &matchSource[k]));
        }

        cost[count] = 0;
        for (size_t k = count; k-- > 0;) {
            uint32_t bestCost = cost[k + 1] + kLiteralBits;
            uint8_t bestChoice = 1;
            size_t longest = matchLen[k];
            if (longest > count - k)
                longest = count - k;
            for (size_t n = kMinMatch; n <= longest; ++n) {
                const uint32_t c = cost[k + n] + kMatchBits;
                if (c < bestCost) {
                    bestCost = c;
                    bestChoice = uint8_t(n);
                }
            }
            cost[k] = bestCost;
            choice[k] = bestChoice;
        }

        for (size_t k = 0; k < count;) {
            if (choice[k] == 1) {
                writer.Literal(buf[start + k]);
                ++k;
                continue;
            }
            // Input byte i (counting from 0) goes to window position
            // kWindowStart + i; buf holds it at kBlankLead + i.
            const unsigned windowPos =
                unsigned(matchSource[k] + kWindowStart - kBlankLead) & kWindowMask;
            writer.Match(windowPos, choice[k]);
            k += choice[k];
        }
    }
    return Result::Ok;
}

Result Expand(const uint8_t *data, size_t len, std::vector<uint8_t> &out) {
    out.clear();
    if (len < kHeaderSize)
        return Result::ShortHeader;
    if (memcmp(data, kMagic, kMagicSize) != 0)
        return Result::BadMagic;
    if (data[kMethodOffset] != kMethodA)
        return Result::BadMethod;
    const uint32_t size = GetU32(data + kSizeOffset);
    const uint8_t *body = data + kHeaderSize;
    const size_t bodyLen = len - kHeaderSize;

    // A body byte yields at most 144/17 output bytes (a flag byte and eight
    // 18-byte matches), so a larger size cannot be reached: refuse it before
    // allocating what a forged header asks for.
    if (uint64_t(size) > uint64_t(bodyLen) * 9)
        return Result::Truncated;

    uint8_t window[kWindowSize];
    memset(window, kBlank, sizeof window);
    size_t writePos = kWindowStart;

    out.resize(size);
    size_t produced = 0;
    size_t pos = 0;
    unsigned flags = 0;
    unsigned flagsLeft = 0;
    Result result = Result::Ok;

    while (produced < size) {
        if (flagsLeft == 0) {
            if (pos >= bodyLen) {
                result = Result::Truncated;
                break;
            }
            flags = body[pos++];
            flagsLeft = 8;
        }
        if (flags & 1) {
            if (pos >= bodyLen) {
                result = Result::Truncated;
                break;
            }
            const uint8_t c = body[pos++];
            out[produced++] = c;
            window[writePos] = c;
            writePos = (writePos + 1) & kWindowMask;
        } else {
            if (bodyLen - pos < 2) {
                result = Result::Truncated;
                break;
            }
            const unsigned b0 = body[pos];
            const unsigned b1 = body[pos + 1];
            pos += 2;
            size_t src = b0 | (b1 & 0xF0) << 4;
            const size_t n = (b1 & 0x0F) + kMinMatch;
            if (n > size - produced) {
                result = Result::SizeMismatch;
                break;
            }
            // Byte by byte, reading before writing: a match that reaches into
            // the bytes it writes repeats them, as the platform's expander does.
            for (size_t j = 0; j < n; ++j) {
                const uint8_t c = window[src];
                src = (src + 1) & kWindowMask;
                out[produced++] = c;
                window[writePos] = c;
                writePos = (writePos + 1) & kWindowMask;
            }
        }
        flags >>= 1;
        --flagsLeft;
    }
    if (result == Result::Ok && pos != bodyLen)
        result = Result::SizeMismatch;
    out.resize(produced);
    return result;
}

}  // namespace szdd
