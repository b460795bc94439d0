#include "tools/lib/szdd_codec.h"

#include <string.h>

namespace szdd {

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
const uint8_t kBlank = kSzddBlank;

const int kHashBits = 15;
const size_t kHashSize = size_t(1) << kHashBits;
const uint64_t kNone = ~uint64_t(0);

// Tree nodes: a ring of one per position, a whole window long (more than
// the kMaxDistance + 1 within reach, so the slot is a mask, not a division).
const size_t kCyclic = kWindowSize;

// Positions parsed per optimal-parse block: the cost tables stay small and
// cache-resident whatever the input size; a block boundary costs at most one
// slightly worse choice.
const size_t kBlockSize = size_t(1) << 16;

// The input buffer: a window of history before the block being parsed, the
// block, and room to take the next one in before sliding.
const size_t kBufferSize = kWindowSize + 2 * kBlockSize;

// Output collected before it goes to the sink.
const size_t kOutChunk = size_t(1) << 16;

// Bits an item takes in the output, its flag bit included.
const uint32_t kLiteralBits = 9;
const uint32_t kMatchBits = 17;

uint32_t Hash3(const uint8_t *p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    return (v * 2654435761u) >> (32 - kHashBits);
}

// Collects items into groups of eight behind their flag byte, and whole
// groups into chunks for the sink.
class ItemWriter {
public:
    explicit ItemWriter(const Sink &sink) : sink_(sink) { out_.reserve(kOutChunk + 32); }

    void Literal(uint8_t c) {
        group_[0] |= uint8_t(1u << items_);
        group_[groupLen_++] = c;
        Next();
    }

    void Match(unsigned windowPos, size_t length) {
        group_[groupLen_++] = uint8_t(windowPos & 0xFF);
        group_[groupLen_++] = uint8_t(((windowPos >> 4) & 0xF0) | (length - kMinMatch));
        Next();
    }

    void Bytes(const uint8_t *p, size_t n) { out_.insert(out_.end(), p, p + n); }

    // Delivers what is collected; `last` also closes a partial group.
    bool Flush(bool last) {
        if (last && items_ > 0)
            CloseGroup();
        const bool ok = out_.empty() || sink_(out_.data(), out_.size());
        out_.clear();
        return ok;
    }

    bool Full() const { return out_.size() >= kOutChunk; }

private:
    void Next() {
        if (++items_ == 8)
            CloseGroup();
    }

    void CloseGroup() {
        out_.insert(out_.end(), group_, group_ + groupLen_);
        group_[0] = 0;
        groupLen_ = 1;
        items_ = 0;
    }

    const Sink &sink_;
    std::vector<uint8_t> out_;
    uint8_t group_[1 + 8 * 2] = {0};
    size_t groupLen_ = 1;
    unsigned items_ = 0;
};

}  // namespace

// Positions are counted in the input with the blanks put in front ("stream
// positions"); the buffer holds stream positions [base, end).
struct Compressor::State {
    State(uint64_t totalLength, Sink s)
        : total(totalLength), sink(std::move(s)), writer(sink), buf(kBufferSize),
          head(kHashSize, kNone), tree(2 * kCyclic, kNone), matchLen(kBlockSize),
          matchPos(kBlockSize), cost(kBlockSize + 1), choice(kBlockSize) {}

    uint64_t total;
    uint64_t received = 0;
    Sink sink;
    ItemWriter writer;
    Result error = Result::Ok;
    bool started = false;

    std::vector<uint8_t> buf;
    uint64_t base = 0;
    uint64_t end = 0;
    uint64_t next = 0;       // first stream position not yet parsed
    uint64_t inserted = 0;   // first stream position not yet in the match finder

    // Match finder: per hash of the first three bytes, a binary search tree
    // of the positions within reach, ordered by their next kMaxMatch bytes;
    // `head` is the root, the newest position. With slot = p % kCyclic,
    // tree[2 * slot] and tree[2 * slot + 1] are the roots of p's smaller and
    // greater subtrees, all older than p, so a walk ends at the first node
    // out of reach. Searching for a position and inserting it are one walk.
    std::vector<uint64_t> head;
    std::vector<uint64_t> tree;

    // Per block: the longest match at each position (0 for none) and its
    // window position, then the cheapest cost from each position to the
    // block's end and the item length chosen there.
    std::vector<uint8_t> matchLen;
    std::vector<uint16_t> matchPos;
    std::vector<uint32_t> cost;
    std::vector<uint8_t> choice;

    const uint8_t *At(uint64_t pos) const { return buf.data() + (pos - base); }
    size_t FindAndInsert(uint64_t pos, size_t limit, uint64_t *source);
    void Start();
    void ParseBlock(uint64_t stop);
    void Slide();
    Result Fail(Result r) {
        if (error == Result::Ok)
            error = r;
        return error;
    }
};

void Compressor::State::Start() {
    started = true;
    uint8_t header[kHeaderSize];
    memcpy(header, kSzddMagic, kMagicSize);
    header[kMethodOffset] = kMethodA;
    header[kNameCharOffset] = 0;   // last character of the file name: not recorded
    for (int i = 0; i < 4; ++i)
        header[kSizeOffset + i] = uint8_t(total >> (8 * i));
    writer.Bytes(header, kHeaderSize);

    memset(buf.data(), kBlank, kBlankLead);
    end = next = kBlankLead;
}

// Longest match (at most `limit` bytes, limit <= end - pos and <= kMaxMatch)
// for `pos` against the positions within reach, then enters `pos` as the root
// of its tree. Positions must be given in order, each once. Returns the
// length (0 when under kMinMatch) and its start in *source. The search is
// exact: the longest common prefix is shared with a neighbour in key order,
// and the walk passes both neighbours.
size_t Compressor::State::FindAndInsert(uint64_t pos, size_t limit, uint64_t *source) {
    if (limit < kMinMatch)
        return 0;
    const uint8_t *cur = At(pos);
    const uint32_t h = Hash3(cur);
    uint64_t cand = head[h];
    head[h] = pos;
    const size_t slot = size_t(pos) & (kCyclic - 1);
    uint64_t *smaller = &tree[2 * slot];     // where the next smaller node hangs
    uint64_t *greater = &tree[2 * slot + 1];
    size_t smallerLen = 0;   // prefix shared with every node left to visit...
    size_t greaterLen = 0;   // ...is at least the lesser of these two
    size_t best = kMinMatch - 1;
    uint64_t bestSource = 0;
    for (;;) {
        if (cand == kNone || pos - cand > kMaxDistance) {
            *smaller = kNone;
            *greater = kNone;
            break;
        }
        uint64_t *pair = &tree[2 * (size_t(cand) & (kCyclic - 1))];
        // p may run into cur, which is what the expander's copy sees.
        const uint8_t *p = At(cand);
        size_t len = smallerLen < greaterLen ? smallerLen : greaterLen;
        while (len < limit && p[len] == cur[len])
            ++len;
        if (len > best) {
            best = len;
            bestSource = cand;
        }
        if (len == limit) {
            // Same key: the new node takes the old one's place.
            *smaller = pair[0];
            *greater = pair[1];
            break;
        }
        if (p[len] < cur[len]) {
            *smaller = cand;
            smaller = &pair[1];
            cand = pair[1];
            smallerLen = len;
        } else {
            *greater = cand;
            greater = &pair[0];
            cand = pair[0];
            greaterLen = len;
        }
    }
    if (best < kMinMatch)
        return 0;
    *source = bestSource;
    return best;
}

// Parses stream positions [next, stop): longest match at each position, then
// costs from the block's end backwards (every shorter length at the same
// source is also a match), then the cheapest path forwards.
void Compressor::State::ParseBlock(uint64_t stop) {
    // The blanks in front are entered once the bytes after them are here.
    for (uint64_t unused; inserted < next; ++inserted)
        FindAndInsert(inserted, end - inserted < kMaxMatch ? size_t(end - inserted) : kMaxMatch,
                      &unused);
    const size_t count = size_t(stop - next);
    for (size_t k = 0; k < count; ++k) {
        const uint64_t pos = next + k;
        const size_t limit = end - pos < kMaxMatch ? size_t(end - pos) : kMaxMatch;
        uint64_t source = 0;
        const size_t n = FindAndInsert(pos, limit, &source);
        inserted = pos + 1;
        matchLen[k] = uint8_t(n);
        // Input byte i (counting from 0) goes to window position
        // kWindowStart + i; the stream holds it at kBlankLead + i.
        matchPos[k] = uint16_t((source + kWindowStart - kBlankLead) & kWindowMask);
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

    const uint8_t *block = At(next);
    for (size_t k = 0; k < count;) {
        if (choice[k] == 1) {
            writer.Literal(block[k]);
            ++k;
        } else {
            writer.Match(matchPos[k], choice[k]);
            k += choice[k];
        }
    }
    next = stop;
}

// Drops what lies more than a window before the next position to parse.
void Compressor::State::Slide() {
    const uint64_t keep = next - base > kWindowSize ? next - kWindowSize : base;
    const size_t n = size_t(end - keep);
    memmove(buf.data(), At(keep), n);
    base = keep;
}

Compressor::Compressor(uint64_t totalLength, Sink sink)
    : s_(new State(totalLength, std::move(sink))) {}

Compressor::~Compressor() = default;

Result Compressor::Write(const uint8_t *data, size_t len) {
    State &s = *s_;
    if (s.error != Result::Ok)
        return s.error;
    if (s.total > kMaxInput)
        return s.Fail(Result::TooLarge);
    if (len > s.total - s.received)
        return s.Fail(Result::LengthMismatch);
    if (!s.started)
        s.Start();
    s.received += len;
    while (len > 0) {
        if (s.end - s.base == kBufferSize)
            s.Slide();
        const size_t room = kBufferSize - size_t(s.end - s.base);
        const size_t n = len < room ? len : room;
        memcpy(s.buf.data() + (s.end - s.base), data, n);
        s.end += n;
        data += n;
        len -= n;
        // A block is parsed once the longest match from its last position
        // can be measured.
        while (s.end - s.next >= kBlockSize + kMaxMatch) {
            s.ParseBlock(s.next + kBlockSize);
            if (s.writer.Full() && !s.writer.Flush(false))
                return s.Fail(Result::SinkFailed);
        }
    }
    return Result::Ok;
}

Result Compressor::Finish() {
    State &s = *s_;
    if (s.error != Result::Ok)
        return s.error;
    if (s.total > kMaxInput)
        return s.Fail(Result::TooLarge);
    if (s.received != s.total)
        return s.Fail(Result::LengthMismatch);
    if (!s.started)
        s.Start();
    while (s.next < s.end)
        s.ParseBlock(s.end - s.next > kBlockSize ? s.next + kBlockSize : s.end);
    if (!s.writer.Flush(true))
        return s.Fail(Result::SinkFailed);
    // Any later call reports the file as already finished.
    s.error = Result::LengthMismatch;
    return Result::Ok;
}

const char *ResultText(Result result) {
    switch (result) {
    case Result::Ok: return "ok";
    case Result::TooLarge: return "input is 4 GiB or more, too large for an SZDD file";
    case Result::NotSzdd: return "not an SZDD file (no SZDD signature)";
    case Result::BadHeader: return "damaged SZDD header or unsupported method (only 'A' is known)";
    case Result::Truncated: return "compressed data ends before the expanded size in the header";
    case Result::TooLong: return "compressed data goes on past the expanded size in the header";
    case Result::SinkFailed: return "output could not be written";
    case Result::NoMemory: return "not enough memory to expand";
    case Result::LengthMismatch: return "input length differs from the length announced";
    }
    return "unknown error";
}

Result FromSzddResult(int result) {
    switch (result) {
    case SZDD_OK: return Result::Ok;
    case SZDD_NOT_SZDD: return Result::NotSzdd;
    case SZDD_BAD_HEADER: return Result::BadHeader;
    case SZDD_TRUNCATED: return Result::Truncated;
    case SZDD_TOO_LONG: return Result::TooLong;
    case SZDD_NO_MEMORY: return Result::NoMemory;
    default: return Result::SinkFailed;
    }
}

uint64_t MaxCompressedSize(uint64_t len) {
    return kHeaderSize + len + (len + 7) / 8;
}

Result Compress(const uint8_t *data, size_t len, std::vector<uint8_t> &out) {
    out.clear();
    if (uint64_t(len) > kMaxInput)
        return Result::TooLarge;
    out.reserve(size_t(MaxCompressedSize(len)));
    Compressor c(len, [&out](const uint8_t *p, size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    const Result r = c.Write(data, len);
    return r != Result::Ok ? r : c.Finish();
}

namespace {

int AppendToVector(void *ctx, const unsigned char *data, uint32_t len) {
    std::vector<uint8_t> *out = static_cast<std::vector<uint8_t> *>(ctx);
    out->insert(out->end(), data, data + len);
    return 1;
}

}  // namespace

Result Expand(const uint8_t *data, size_t len, std::vector<uint8_t> &out) {
    out.clear();
    if (uint64_t(len) > kMaxInput)   // the base expander takes 32-bit sizes
        return Result::TooLarge;
    Crc32Table table;
    Crc32Init(&table);
    SzddOutput got;
    return FromSzddResult(SzddExpand(data, uint32_t(len), &table, 0, AppendToVector, &out, &got));
}

}  // namespace szdd
