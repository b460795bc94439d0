// The PE checksum: small sums worked by hand, the value osslsigncode writes
// into the images it signs, and the same result however the file is cut
// into chunks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tests/host/signing_kit.h"
#include "tools/lib/pechecksum.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Sum(const Bytes &b, uint64_t field)
{
    tk::PeChecksumState s;
    tk::PeChecksumInit(&s, field);
    tk::PeChecksumUpdate(&s, b.data(), b.size());
    return tk::PeChecksumFinish(&s);
}

TEST(PeChecksum, WorkedByHand)
{
    const uint64_t kNoField = 1000;
    const struct {
        const char *name;
        Bytes bytes;
        uint64_t field;
        uint32_t want;
    } cases[] = {
        {"empty", {}, kNoField, 0},
        {"two words", {0x01, 0x00, 0x02, 0x00}, kNoField, 3 + 4},
        {"little-endian words", {0x34, 0x12}, kNoField, 0x1234 + 2},
        {"carry folded back", {0xFF, 0xFF, 0x02, 0x00}, kNoField, 0x0002 + 4},
        {"odd last byte padded", {0x01, 0x00, 0x05}, kNoField, 6 + 3},
        {"field taken as zero", {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x00}, 2, 3 + 8},
        {"field at the odd end", {0x01, 0x00, 0xFF}, 2, 1 + 3},
        {"two carries in one word pair", {0x00, 0x80, 0x00, 0x80}, kNoField, 1 + 4},
        {"all ones stays 0xFFFF", Bytes(64, 0xFF), kNoField, 0xFFFF + 64},
        {"all ones but the field", Bytes(64, 0xFF), 17, 0xFFFF + 64},
        {"zeros stay zero", Bytes(64, 0x00), kNoField, 64},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Sum(c.bytes, c.field), c.want);
    }
}

TEST(PeChecksum, AgreesWithOsslsigncode)
{
    const SigningKit &kit = TestSigningKit();
    ASSERT_TRUE(kit.ready);
    ASSERT_TRUE(SignWithKit(kit, std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/small.exe",
                            kit.Path("sum.exe"), false));
    Bytes b = ReadFile(kit.Path("sum.exe"));
    uint32_t field = GetUi32(&b[0x3C]) + 24 + 64;
    uint32_t stored = GetUi32(&b[field]);
    ASSERT_NE(stored, 0u);
    EXPECT_EQ(Sum(b, field), stored);

    FILE *f = fopen(kit.Path("sum.exe").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint32_t fromFile = 0;
    std::string err;
    EXPECT_TRUE(tk::PeChecksumOfFile(f, field, &fromFile, &err)) << err;
    fclose(f);
    EXPECT_EQ(fromFile, stored);
}

// Long inputs go eight bytes at a time: against a plain word-by-word sum,
// with the field at every offset of a stretch and the input starting odd.
TEST(PeChecksum, WideSumsAgreeWithWordByWord)
{
    Bytes b(1027);
    for (size_t i = 0; i < b.size(); i++)
        b[i] = (uint8_t)(i * 151 + (i >> 3) * 7 + 0xC5);
    auto plain = [&](uint64_t field) {
        uint32_t sum = 0;
        for (size_t i = 0; i < b.size(); i += 2) {
            uint32_t lo = (i >= field && i < field + 4) ? 0 : b[i];
            uint32_t hi = (i + 1 >= b.size() || (i + 1 >= field && i + 1 < field + 4)) ? 0 : b[i + 1];
            sum += lo | hi << 8;
            sum = (sum & 0xFFFF) + (sum >> 16);
        }
        return sum + (uint32_t)b.size();
    };
    for (uint64_t field : {uint64_t(0), uint64_t(1), uint64_t(7), uint64_t(8), uint64_t(9), uint64_t(512),
                           uint64_t(1023), uint64_t(1024), uint64_t(5000)})
        EXPECT_EQ(Sum(b, field), plain(field)) << "field at " << field;
}

// Chunk boundaries inside a word and inside the field must not matter.
TEST(PeChecksum, ChunksGiveTheWholeSum)
{
    Bytes b(301);
    for (size_t i = 0; i < b.size(); i++)
        b[i] = (uint8_t)(i * 37 + 11);
    const uint64_t field = 133;   // odd: the field straddles words
    const uint32_t whole = Sum(b, field);
    for (size_t cut = 1; cut < 9; cut++) {
        tk::PeChecksumState s;
        tk::PeChecksumInit(&s, field);
        for (size_t at = 0; at < b.size(); at += cut)
            tk::PeChecksumUpdate(&s, b.data() + at, std::min(cut, b.size() - at));
        EXPECT_EQ(tk::PeChecksumFinish(&s), whole) << "chunks of " << cut;
    }
    // Any one byte changed outside the field changes the sum.
    for (size_t at = 0; at < b.size(); at++) {
        Bytes c = b;
        c[at] ^= 0x80;
        if (at >= field && at < field + 4)
            EXPECT_EQ(Sum(c, field), whole) << at;
        else
            EXPECT_NE(Sum(c, field), whole) << at;
    }
}

}  // namespace
