// The base SZDD expander: results on damaged pieces, the copy path for files
// that are not compressed, the sink's chunks and failures, and the CRC kept
// on the way. Built for both hosts, so the launcher's build runs it too.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/szdd.h"
#include "tools/lib/szdd_codec.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Header(uint32_t size, unsigned char method = 'A') {
    return {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33, method, 0,
            (unsigned char)size, (unsigned char)(size >> 8), (unsigned char)(size >> 16),
            (unsigned char)(size >> 24)};
}

Bytes Concat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Text(size_t n, uint32_t seed) {
    static const char *const kWords[] = {"setup ", "files ", "the ", "disk ", "\n    ", "Next "};
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n)
        s += kWords[rng() % 6];
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

Bytes Compress(const Bytes &in) {
    std::vector<uint8_t> out;
    EXPECT_EQ(szdd::Result::Ok, szdd::Compress(in.data(), in.size(), out));
    return out;
}

// Collects the output; can be told to fail at its nth call (counting from 1).
struct Collector {
    Bytes data;
    std::vector<uint32_t> chunks;
    int failAt = 0;
    static int Sink(void *ctx, const unsigned char *p, uint32_t n) {
        Collector *c = static_cast<Collector *>(ctx);
        c->chunks.push_back(n);
        if (int(c->chunks.size()) == c->failAt)
            return 0;
        c->data.insert(c->data.end(), p, p + n);
        return 1;
    }
};

struct SzddExpandTest : ::testing::Test {
    void SetUp() override { Crc32Init(&table); }
    uint32_t Crc(const Bytes &b, uint32_t crc = 0) {
        return Crc32Update(&table, crc, b.data(), b.size());
    }
    int Expand(const Bytes &file, Collector &c, SzddOutput &out, bool orCopy = false,
               uint32_t crcIn = 0) {
        const void *p = file.empty() ? nullptr : file.data();
        return orCopy ? SzddExpandOrCopy(p, uint32_t(file.size()), &table, crcIn, Collector::Sink,
                                         &c, &out)
                      : SzddExpand(p, uint32_t(file.size()), &table, crcIn, Collector::Sink, &c,
                                   &out);
    }
    Crc32Table table;
};

TEST_F(SzddExpandTest, Results) {
    const Bytes text = Text(10000, 1);
    const Bytes good = Compress(text);
    auto withSize = [&](uint32_t size) {
        Bytes f = good;
        for (int i = 0; i < 4; ++i)
            f[kSzddSizeOffset + i] = (unsigned char)(size >> (8 * i));
        return f;
    };
    const Bytes small = Concat(Header(9), {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x01, 'I'});
    struct Case {
        const char *name;
        Bytes file;
        int expected;
        int copyExpected;   // from SzddExpandOrCopy
    };
    const Case cases[] = {
        {"good", good, SZDD_OK, SZDD_OK},
        {"literals over two flag bytes", small, SZDD_OK, SZDD_OK},
        {"empty payload", Header(0), SZDD_OK, SZDD_OK},
        {"header only, size 1", Header(1), SZDD_TRUNCATED, SZDD_TRUNCATED},
        {"last byte missing", Bytes(good.begin(), good.end() - 1), SZDD_TRUNCATED,
         SZDD_TRUNCATED},
        {"cut in half", Bytes(good.begin(), good.begin() + good.size() / 2), SZDD_TRUNCATED,
         SZDD_TRUNCATED},
        {"match cut in half", Concat(Header(3), {0x00, 0x00}), SZDD_TRUNCATED, SZDD_TRUNCATED},
        {"flag byte without its item", Concat(Header(1), {0xFF}), SZDD_TRUNCATED, SZDD_TRUNCATED},
        {"byte appended", Concat(good, {0x00}), SZDD_TOO_LONG, SZDD_TOO_LONG},
        {"flag byte appended", Concat(small, {0x00}), SZDD_TOO_LONG, SZDD_TOO_LONG},
        {"bytes after an empty payload", Concat(Header(0), {0x00}), SZDD_TOO_LONG, SZDD_TOO_LONG},
        {"size lies up by one", withSize(10001), SZDD_TRUNCATED, SZDD_TRUNCATED},
        {"size lies down by one", withSize(9999), SZDD_TOO_LONG, SZDD_TOO_LONG},
        {"size lies down to zero", withSize(0), SZDD_TOO_LONG, SZDD_TOO_LONG},
        {"forged 4 GiB size", withSize(0xFFFFFFFFu), SZDD_TRUNCATED, SZDD_TRUNCATED},
        {"match past the size", Concat(Header(2), {0x00, 0x00, 0x00}), SZDD_TOO_LONG,
         SZDD_TOO_LONG},
        // Flag bit 2 of "abc" turned into a match: it needs two bytes, one is left.
        {"flag bit flipped", Concat(Header(3), {0x03, 'a', 'b', 'c'}), SZDD_TRUNCATED,
         SZDD_TRUNCATED},
        {"method B", Concat(Header(3, 'B'), {0x07, 'a', 'b', 'c'}), SZDD_BAD_HEADER,
         SZDD_BAD_HEADER},
        {"header cut after the magic", Bytes(good.begin(), good.begin() + 13), SZDD_BAD_HEADER,
         SZDD_BAD_HEADER},
        {"magic only", Bytes(good.begin(), good.begin() + 8), SZDD_BAD_HEADER, SZDD_BAD_HEADER},
        {"last magic byte wrong", Concat({'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x34},
                                         Bytes(good.begin() + 8, good.end())),
         SZDD_NOT_SZDD, SZDD_OK},
        {"plain text", Text(5000, 2), SZDD_NOT_SZDD, SZDD_OK},
        {"seven bytes of the magic", Bytes(good.begin(), good.begin() + 7), SZDD_NOT_SZDD,
         SZDD_OK},
        {"empty file", {}, SZDD_NOT_SZDD, SZDD_OK},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (bool orCopy : {false, true}) {
            Collector col;
            SzddOutput out = {123, 456};
            EXPECT_EQ(orCopy ? c.copyExpected : c.expected, Expand(c.file, col, out, orCopy));
            // The output record always tells what the sink accepted.
            EXPECT_EQ(col.data.size(), out.length);
            EXPECT_EQ(Crc(col.data), out.crc);
        }
    }
}

TEST_F(SzddExpandTest, ExpandsAndCopiesExactly) {
    // Longer than two rings, so that matches reach back across the ring's
    // wrap and the output leaves in several chunks.
    const Bytes text = Text(150000, 3);
    struct Case {
        const char *name;
        Bytes file;
        Bytes expected;
        bool compressed;
    };
    const Case cases[] = {
        {"compressed text", Compress(text), text, true},
        {"blanks only", Compress(Bytes(140000, ' ')), Bytes(140000, ' '), true},
        {"plain text copied", text, text, false},
        {"one byte copied", {0x41}, {0x41}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Collector col;
        SzddOutput out;
        ASSERT_EQ(SZDD_OK, Expand(c.file, col, out, true));
        EXPECT_TRUE(col.data == c.expected);
        EXPECT_EQ(c.expected.size(), out.length);
        EXPECT_EQ(Crc(c.expected), out.crc);
        // No chunk is longer than the ring, and only the last may be short
        // (after the first, which runs up to the ring's end).
        for (size_t i = 0; i < col.chunks.size(); ++i) {
            EXPECT_GE(col.chunks[i], 1u);
            EXPECT_LE(col.chunks[i], uint32_t(kSzddRingSize));
            if (i > 0 && i + 1 < col.chunks.size()) {
                EXPECT_EQ(uint32_t(kSzddRingSize), col.chunks[i]);
            }
        }
        if (c.compressed) {
            EXPECT_EQ(uint32_t(kSzddRingSize - kSzddWindowStart), col.chunks[0]);
        }
    }
}

TEST_F(SzddExpandTest, CrcChainsOverPieces) {
    const Bytes a = Text(7000, 4), b = Text(3000, 5);
    Collector col;
    SzddOutput first, second;
    ASSERT_EQ(SZDD_OK, Expand(Compress(a), col, first, false));
    ASSERT_EQ(SZDD_OK, Expand(b, col, second, true, first.crc));   // a plain piece
    EXPECT_EQ(Crc(Concat(a, b)), second.crc);
    EXPECT_EQ(b.size(), second.length);
}

TEST_F(SzddExpandTest, SinkFailureStops) {
    // Enough for more than five chunks of a ring each.
    const Bytes text = Text(400000, 6);
    const Bytes packed = Compress(text);
    for (bool orCopy : {false, true})
        for (int failAt : {1, 2, 5}) {
            SCOPED_TRACE(::testing::Message() << "copy " << orCopy << " fail at " << failAt);
            Collector col;
            col.failAt = failAt;
            SzddOutput out;
            EXPECT_EQ(SZDD_SINK_FAILED, Expand(orCopy ? text : packed, col, out, orCopy));
            EXPECT_EQ(size_t(failAt), col.chunks.size());   // not called again
            EXPECT_EQ(col.data.size(), out.length);
            EXPECT_EQ(Crc(col.data), out.crc);
            EXPECT_TRUE(Bytes(text.begin(), text.begin() + col.data.size()) == col.data);
        }
}

// Damage anywhere in a piece is caught by the result or, when the damaged
// piece still decodes to the right length, by the CRC; never passed silently.
TEST_F(SzddExpandTest, EveryBitFlipIsCaught) {
    const Bytes text = Text(600, 7);
    const Bytes good = Compress(text);
    const uint32_t crc = Crc(text);
    for (size_t i = 0; i < good.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= (unsigned char)(1u << bit);
            Collector col;
            SzddOutput out;
            if (Expand(bad, col, out) == SZDD_OK && col.data != text) {
                ASSERT_NE(crc, out.crc) << "byte " << i << " bit " << bit;
            }
        }
}

}  // namespace
