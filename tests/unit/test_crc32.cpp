// CRC-32: known vectors, chaining over every split, and the eight-byte steps
// against a bit-at-a-time reference at every length and alignment.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <random>
#include <vector>

#include "base/crc32.h"

namespace {

uint32_t BitwiseCrc(const unsigned char *p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

struct Crc32Test : ::testing::Test {
    void SetUp() override { Crc32Init(&table); }
    uint32_t Crc(const void *p, size_t n, uint32_t crc = 0) { return Crc32Update(&table, crc, p, n); }
    Crc32Table table;
};

TEST_F(Crc32Test, KnownVectors) {
    struct Case {
        const char *text;
        uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.crc, Crc(c.text, strlen(c.text)));
    }
    // 32 zero bytes and 32 0xFF bytes (the iSCSI test patterns, CRC-32 flavour).
    const std::vector<unsigned char> zeros(32, 0), ones(32, 0xFF);
    EXPECT_EQ(0x190A55ADu, Crc(zeros.data(), zeros.size()));
    EXPECT_EQ(0xFF6CAB0Bu, Crc(ones.data(), ones.size()));
    EXPECT_EQ(0u, Crc(nullptr, 0));
}

TEST_F(Crc32Test, ChainsOverEverySplit) {
    const char text[] = "The quick brown fox jumps over the lazy dog";
    const size_t n = sizeof text - 1;
    for (size_t split = 0; split <= n; ++split) {
        SCOPED_TRACE(split);
        EXPECT_EQ(0x414FA339u, Crc(text + split, n - split, Crc(text, split)));
    }
}

TEST_F(Crc32Test, MatchesBitwiseAtEveryLengthAndAlignment) {
    std::mt19937 rng(5);
    std::vector<unsigned char> data(300);
    for (auto &b : data)
        b = (unsigned char)rng();
    for (size_t offset = 0; offset < 8; ++offset)
        for (size_t len = 0; offset + len <= 100; ++len)
            ASSERT_EQ(BitwiseCrc(&data[offset], len), Crc(&data[offset], len))
                << "offset " << offset << " len " << len;
    EXPECT_EQ(BitwiseCrc(data.data(), data.size()), Crc(data.data(), data.size()));
}

}  // namespace
