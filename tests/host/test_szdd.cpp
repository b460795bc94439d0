// SZDD codec: hand-coded streams pin the expander to the format, a file from
// an independent compressor (Debian's mscompress) checks it against another
// implementation, and round trips then check the compressor through it.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "base/platform.h"
#include "tools/lib/szdd_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromText(const std::string &s) {
    return Bytes(s.begin(), s.end());
}

Bytes Header(uint32_t size) {
    Bytes h = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, 'A', 0,
               uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
    return h;
}

Bytes Concat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto &b : out)
        b = uint8_t(rng());
    return out;
}

// English-like lines with indentation, so both words and blanks repeat.
Bytes Text(size_t n, uint32_t seed) {
    static const char *const kWords[] = {
        "the", "setup", "program", "installs", "files", "into", "a", "directory",
        "of", "your", "choice", "press", "Next", "to", "continue", "or", "Cancel",
        "quit", "disk", "space", "is", "required", "for", "this", "installation",
    };
    const size_t kWordCount = sizeof kWords / sizeof kWords[0];
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s.append(rng() % 3 * 4, ' ');
        const size_t words = 3 + rng() % 9;
        for (size_t i = 0; i < words; ++i) {
            s += kWords[rng() % kWordCount];
            s += i + 1 < words ? ' ' : '\n';
        }
    }
    s.resize(n);
    return FromText(s);
}

Bytes Periodic(size_t period, size_t n, uint32_t seed) {
    const Bytes unit = RandomBytes(period, seed);
    Bytes out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = unit[i % period];
    return out;
}

// Text, random data, zeros, a long-range repeat and blanks in one file.
Bytes Mixed(size_t n) {
    Bytes out;
    uint32_t seed = 1;
    while (out.size() < n) {
        const Bytes text = Text(200000, seed);
        out = Concat(out, text);
        out = Concat(out, RandomBytes(100000, seed + 100));
        out = Concat(out, Bytes(30000, 0));
        out = Concat(out, text);  // far beyond the window: must not match
        out = Concat(out, Bytes(5000, ' '));
        ++seed;
    }
    out.resize(n);
    return out;
}

// Batches of 20-byte random units, each followed by its repeats with a
// random separator. A repeat of 20 bytes costs two matches (17 + 3, say);
// taking the longest match first leaves two literals, one bit more.
const size_t kUnit = 20, kUnitsPerBatch = 50, kBatches = 20;

Bytes TwentyByteRepeats() {
    std::mt19937 rng(9);
    Bytes out;
    for (size_t b = 0; b < kBatches; ++b) {
        const Bytes units = RandomBytes(kUnit * kUnitsPerBatch, uint32_t(rng()));
        out = Concat(out, units);
        for (size_t u = 0; u < kUnitsPerBatch; ++u) {
            out.insert(out.end(), units.begin() + u * kUnit, units.begin() + (u + 1) * kUnit);
            out.push_back(uint8_t(rng()));
        }
    }
    return out;
}

size_t TwentyByteRepeatsBound() {
    const size_t bitsPerBatch = kUnitsPerBatch * (kUnit * 9 + 2 * 17 + 9);
    return szdd::kHeaderSize + (kBatches * bitsPerBatch + 7) / 8;
}

Bytes Compress(const Bytes &in) {
    Bytes out;
    EXPECT_EQ(szdd::Result::Ok, szdd::Compress(in.data(), in.size(), out));
    return out;
}

// Size of a parse of `n` bytes into `literals` literals and then matches of
// the longest length: what an optimal parse must reach or beat. `blocks`
// allows one extra match per parse block boundary.
size_t LongMatchBound(size_t n, size_t literals, size_t blocks = 1) {
    const size_t matches = (n - literals + szdd::kMaxMatch - 1) / szdd::kMaxMatch + blocks - 1;
    const size_t bits = literals * 9 + matches * 17;
    return szdd::kHeaderSize + (bits + 7) / 8;
}

TEST(SzddExpand, HandCodedStreams) {
    struct Case {
        const char *name;
        Bytes body;
        std::string expected;
    };
    const Case cases[] = {
        // Flag bits are taken from the lowest; a ninth item needs a new flag byte.
        {"literals over two flag bytes",
         {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x01, 'I'}, "ABCDEFGHI"},
        // The whole window starts as blanks, not just the part before 0xFF0.
        {"match in the initial blanks", {0x00, 0x23, 0x11}, "    "},
        // Writing starts at 0xFF0, and a match copies byte by byte, so a match
        // on the byte just written repeats it.
        {"run from the first write position", {0x01, 'x', 0xF0, 0xF0}, "xxxx"},
        // Position: low byte first, then its high nibble over the length.
        {"high nibble of the position", {0x03, 'a', 'b', 0xF0, 0xF2}, "abababa"},
        // The 17th literal wraps to 0x000; a match across the wrap reads the
        // byte it wrote itself on its first step.
        {"window wrap",
         {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xFF, 'i', 'j', 'k', 'l', 'm', 'n', 'o',
          'p', 0x01, 'q', 0xFE, 0xF1},
         "abcdefghijklmnopqopqo"},
        {"empty", {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = Concat(Header(uint32_t(c.expected.size())), c.body);
        Bytes out;
        ASSERT_EQ(szdd::Result::Ok, szdd::Expand(file.data(), file.size(), out));
        EXPECT_EQ(c.expected, std::string(out.begin(), out.end()));
    }
}

TEST(SzddExpand, FileFromAnotherCompressor) {
    // mscompress 2.0 output for the text below.
    const Bytes file = {
        0x53, 0x5a, 0x44, 0x44, 0x88, 0xf0, 0x27, 0x33, 0x41, 0x00, 0x58, 0x00, 0x00, 0x00,
        0xfd, 0x20, 0xf0, 0xf4, 0x48, 0x65, 0x6c, 0x6c, 0x6f, 0x2c, 0xfb, 0x20, 0x68, 0xf9,
        0xf8, 0x20, 0x77, 0x6f, 0x72, 0x6c, 0x17, 0x64, 0x21, 0x0a, 0xf0, 0xf5, 0x7a, 0x1b,
        0x0d, 0x2b, 0x0d, 0x33, 0x04, 0x1f, 0x20, 0x65, 0x6e, 0x64, 0x0a,
    };
    const std::string expected =
        "        Hello, hello, hello world!\n"
        "        zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz end\n";
    Bytes out;
    ASSERT_EQ(szdd::Result::Ok, szdd::Expand(file.data(), file.size(), out));
    EXPECT_EQ(expected, std::string(out.begin(), out.end()));
}

// The base expander's results in full are in tests/unit/test_szdd_expand.cpp;
// here, that the wrapper passes each of them on.
TEST(SzddExpand, WrapperReportsEachResult) {
    Bytes methodB = Header(0);
    methodB[szdd::kMethodOffset] = 'B';
    struct Case {
        const char *name;
        Bytes file;
        szdd::Result expected;
    };
    const Case cases[] = {
        {"empty file", {}, szdd::Result::NotSzdd},
        {"plain text", FromText("hello"), szdd::Result::NotSzdd},
        {"method B", methodB, szdd::Result::BadHeader},
        {"header only", Header(1), szdd::Result::Truncated},
        {"match past the size", Concat(Header(2), {0x00, 0x00, 0x00}), szdd::Result::TooLong},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        EXPECT_EQ(c.expected, szdd::Expand(c.file.data(), c.file.size(), out));
        EXPECT_STRNE("unknown error", szdd::ResultText(c.expected));
    }
}

// The window is the expander's one allocation: without it nothing reaches
// the sink, and with it (one block allowed) the file expands whole.
TEST(SzddExpand, WindowAllocationFailureExpandsNothing) {
    const Bytes plain = Text(10000, 7);
    Bytes file;
    ASSERT_EQ(szdd::Result::Ok, szdd::Compress(plain.data(), plain.size(), file));
    struct Case {
        int allowed;
        szdd::Result expected;
        size_t outSize;
    };
    const Case cases[] = {{0, szdd::Result::NoMemory, 0}, {1, szdd::Result::Ok, plain.size()}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.allowed);
        HostFailAllocAfter(c.allowed);
        Bytes out;
        const szdd::Result got = szdd::Expand(file.data(), file.size(), out);
        HostFailAllocAfter(-1);
        EXPECT_EQ(c.expected, got);
        EXPECT_EQ(c.outSize, out.size());
    }
    EXPECT_STRNE("unknown error", szdd::ResultText(szdd::Result::NoMemory));
}

TEST(SzddRoundTrip, Cases) {
    struct Case {
        std::string name;
        Bytes data;
        size_t bound;   // largest acceptable file; 0: the general worst case
    };
    std::vector<Case> cases = {
        {"empty", {}, szdd::kHeaderSize},
        {"one byte", {0x41}, 0},
        {"one blank", {' '}, 0},
        {"incompressible 64 KiB", RandomBytes(65536, 3), 0},
        {"zeros", Bytes(60000, 0), LongMatchBound(60000, 1)},
        {"repeated phrase", Periodic(37, 60000, 4), LongMatchBound(60000, 37)},
        // Leading blanks are matched in the initial window, without a literal.
        {"18 blanks", Bytes(18, ' '), LongMatchBound(18, 0)},
        {"blanks past a whole window", Bytes(5000, ' '), LongMatchBound(5000, 0)},
        {"blanks then text", Concat(Bytes(100, ' '), Text(5000, 5)), 0},
        {"20-byte repeats", TwentyByteRepeats(), TwentyByteRepeatsBound()},
        {"3 MB mixed", Mixed(3 << 20), 0},
    };
    // Repeats right at the reach of a match and just beyond it.
    for (size_t period : {1, 2, 17, 18, 19, 4077, 4078, 4079, 4095, 4096, 4097}) {
        const size_t n = period + 20000;
        cases.push_back({"period " + std::to_string(period), Periodic(period, n, uint32_t(period)),
                         period <= 4078 ? LongMatchBound(n, period) : 0});
    }

    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes packed = Compress(c.data);
        ASSERT_GE(packed.size(), szdd::kHeaderSize);
        EXPECT_EQ(0, memcmp(packed.data(), kSzddMagic, szdd::kMagicSize));
        EXPECT_EQ('A', packed[szdd::kMethodOffset]);
        EXPECT_EQ(0, packed[szdd::kNameCharOffset]);
        EXPECT_LE(packed.size(), c.bound ? c.bound : szdd::MaxCompressedSize(c.data.size()));

        Bytes out;
        ASSERT_EQ(szdd::Result::Ok, szdd::Expand(packed.data(), packed.size(), out));
        EXPECT_TRUE(out == c.data);
    }
}

TEST(SzddCompress, ShrinksText) {
    const Bytes text = Text(200000, 11);
    const Bytes packed = Compress(text);
    // An optimal parse gets generated text like this to about 30%; greedy or
    // broken matching lands well above 40%.
    EXPECT_LT(packed.size(), text.size() * 40 / 100);
}

TEST(SzddCompress, RefusesInputBeyondTheSizeField) {
    if (sizeof(size_t) <= 4)
        GTEST_SKIP() << "needs 64-bit sizes";
    // The length is checked before the data is read.
    const uint8_t dummy = 0;
    Bytes out;
    EXPECT_EQ(szdd::Result::TooLarge, szdd::Compress(&dummy, size_t(0xFFFFFFFFu) + 1, out));
}

}  // namespace

namespace {

// Compresses through the streaming API, `data` cut into chunks of the given
// sizes in turn (the last repeated).
Bytes CompressInChunks(const Bytes &data, const std::vector<size_t> &sizes) {
    Bytes out;
    szdd::Compressor c(data.size(), [&out](const uint8_t *p, size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    size_t at = 0;
    for (size_t i = 0; at < data.size(); ++i) {
        const size_t want = sizes[i < sizes.size() ? i : sizes.size() - 1];
        const size_t n = want < data.size() - at ? want : data.size() - at;
        EXPECT_EQ(szdd::Result::Ok, c.Write(data.data() + at, n));
        at += n;
    }
    EXPECT_EQ(szdd::Result::Ok, c.Finish());
    return out;
}

// Bit cost of the items in an SZDD file (9 per literal, 17 per match).
uint64_t ItemBits(const Bytes &file) {
    const uint32_t size = uint32_t(file[10]) | uint32_t(file[11]) << 8 |
                          uint32_t(file[12]) << 16 | uint32_t(file[13]) << 24;
    size_t pos = szdd::kHeaderSize;
    uint64_t produced = 0, bits = 0;
    unsigned flags = 0;
    while (produced < size) {
        if (flags <= 1)
            flags = file.at(pos++) | 0x100u;
        if (flags & 1) {
            pos += 1;
            produced += 1;
            bits += 9;
        } else {
            produced += (file.at(pos + 1) & 0x0F) + szdd::kMinMatch;
            pos += 2;
            bits += 17;
        }
        flags >>= 1;
    }
    return bits;
}

// The least bit cost of any parse of `data` (one parse block, so under 64 KiB),
// from a search of every candidate in reach at every position.
uint64_t OptimalBits(const Bytes &data) {
    const size_t lead = szdd::kMaxMatch, reach = szdd::kWindowSize - szdd::kMaxMatch;
    Bytes s(lead, ' ');
    s.insert(s.end(), data.begin(), data.end());
    const size_t n = data.size();
    std::vector<size_t> longest(n);
    for (size_t k = 0; k < n; ++k) {
        const size_t pos = lead + k;
        const size_t limit = std::min(szdd::kMaxMatch, s.size() - pos);
        for (size_t cand = pos > reach ? pos - reach : 0; cand < pos; ++cand) {
            size_t len = 0;
            while (len < limit && s[cand + len] == s[pos + len])
                ++len;
            longest[k] = std::max(longest[k], len);
        }
    }
    std::vector<uint64_t> cost(n + 1, 0);
    for (size_t k = n; k-- > 0;) {
        cost[k] = cost[k + 1] + 9;
        for (size_t len = szdd::kMinMatch; len <= std::min(longest[k], n - k); ++len)
            cost[k] = std::min(cost[k], cost[k + len] + 17);
    }
    return cost[0];
}

}  // namespace

TEST(SzddCompress, ParseIsOptimal) {
    std::mt19937 rng(12);
    Bytes twoSymbols(12000), counters;
    for (auto &b : twoSymbols)
        b = uint8_t(rng() & 1);
    // Little-endian 32-bit counters: long runs of keys that share their first
    // bytes and differ late, the hard case for a search tree.
    for (uint32_t i = 0; counters.size() < 12000; ++i)
        for (int k = 0; k < 4; ++k)
            counters.push_back(uint8_t((i * 7) >> (8 * k)));
    Bytes repeats = TwentyByteRepeats();
    repeats.resize(12000);
    struct Case {
        const char *name;
        Bytes data;
    };
    const Case cases[] = {
        {"text", Text(12000, 13)},
        {"two symbols", twoSymbols},
        {"counters", counters},
        {"20-byte repeats", repeats},
        {"blanks then text", Concat(Bytes(40, ' '), Text(3000, 14))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OptimalBits(c.data), ItemBits(Compress(c.data)));
    }
}

TEST(SzddStream, SameFileWhateverTheChunks) {
    // Over several parse blocks (64 KiB) and buffer slides.
    const Bytes data = Mixed(300000);
    const Bytes whole = Compress(data);
    const std::vector<std::vector<size_t>> patterns = {
        {1},
        {17},
        {65536 + 17},
        {65536 + 18},
        {65536 + 19},
        {200000, 1, 1, 1},
        {4096},
        {0, 3, 0, 131071},
        {300000},
    };
    for (const auto &p : patterns) {
        SCOPED_TRACE(::testing::Message() << "first chunk " << p[0]);
        EXPECT_TRUE(whole == CompressInChunks(data, p));
    }
}

TEST(SzddStream, LengthMustMatchTheAnnouncement) {
    const Bytes data = Text(1000, 15);
    auto sink = [](const uint8_t *, size_t) { return true; };
    {
        szdd::Compressor c(data.size() + 1, sink);
        EXPECT_EQ(szdd::Result::Ok, c.Write(data.data(), data.size()));
        EXPECT_EQ(szdd::Result::LengthMismatch, c.Finish());
    }
    {
        szdd::Compressor c(data.size() - 1, sink);
        EXPECT_EQ(szdd::Result::LengthMismatch, c.Write(data.data(), data.size()));
        // Errors stick.
        EXPECT_EQ(szdd::Result::LengthMismatch, c.Write(data.data(), 0));
        EXPECT_EQ(szdd::Result::LengthMismatch, c.Finish());
    }
    {
        szdd::Compressor c(uint64_t(1) << 32, sink);
        EXPECT_EQ(szdd::Result::TooLarge, c.Write(data.data(), data.size()));
        EXPECT_EQ(szdd::Result::TooLarge, c.Finish());
    }
    {
        szdd::Compressor c(data.size(), sink);
        EXPECT_EQ(szdd::Result::Ok, c.Write(data.data(), data.size()));
        EXPECT_EQ(szdd::Result::Ok, c.Finish());
        EXPECT_NE(szdd::Result::Ok, c.Write(data.data(), 1));   // already finished
    }
}

TEST(SzddStream, SinkFailureStops) {
    const Bytes data = Mixed(1 << 20);
    for (int failAt : {1, 2, 5}) {
        SCOPED_TRACE(failAt);
        int calls = 0;
        szdd::Compressor c(data.size(), [&](const uint8_t *, size_t) { return ++calls != failAt; });
        szdd::Result r = c.Write(data.data(), data.size());
        if (r == szdd::Result::Ok)
            r = c.Finish();
        EXPECT_EQ(szdd::Result::SinkFailed, r);
        EXPECT_EQ(failAt, calls);
        EXPECT_EQ(szdd::Result::SinkFailed, c.Finish());
        EXPECT_EQ(failAt, calls);
    }
}
