// The payload check record: the exact byte layout, lookups, and every way a
// damaged record must be told apart from one that lacks the id.
#include <gtest/gtest.h>

#include <stdint.h>

#include <vector>

#include "base/ids.h"
#include "base/payload_record.h"

namespace {

using Bytes = std::vector<unsigned char>;

const PayloadRecordEntry kEntries[] = {
    {PAYLOAD_BOOTSTRAP, 1, 0x00012345u, 0xCBF43926u},
    {PAYLOAD_ENGINE, 2, 0x00ABCDEFu, 0x01020304u},
    {PAYLOAD_COMPANION, 3, 0u, 0u},
};

Bytes Record(const PayloadRecordEntry *entries, uint32_t count) {
    Bytes b(PayloadRecordSize(count));
    EXPECT_EQ(b.size(), PayloadRecordWrite(b.data(), uint32_t(b.size()), entries, count));
    return b;
}

Bytes Good() { return Record(kEntries, 3); }

void PutU32(Bytes &b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (unsigned char)(v >> (8 * i));
}

int Find(const Bytes &b, uint32_t id, PayloadRecordEntry *e) {
    return PayloadRecordFind(b.empty() ? nullptr : b.data(), uint32_t(b.size()), id, e);
}

TEST(PayloadRecord, ByteLayout) {
    const PayloadRecordEntry one = {7100, 2, 0x11223344u, 0xA1B2C3D4u};
    const Bytes expected = {'C', 'V', 'C', 'K', 1, 0, 1, 0,
                            0xBC, 0x1B, 0, 0, 2, 0, 0, 0,
                            0x44, 0x33, 0x22, 0x11, 0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(expected, Record(&one, 1));
    EXPECT_EQ(8u + 3 * 16, Good().size());
}

TEST(PayloadRecord, FindsEachEntry) {
    const Bytes rec = Good();
    for (const PayloadRecordEntry &want : kEntries) {
        SCOPED_TRACE(want.baseId);
        PayloadRecordEntry got = {0, 0, 0, 0};
        ASSERT_EQ(PAYLOAD_RECORD_FOUND, Find(rec, want.baseId, &got));
        EXPECT_EQ(want.baseId, got.baseId);
        EXPECT_EQ(want.pieceCount, got.pieceCount);
        EXPECT_EQ(want.length, got.length);
        EXPECT_EQ(want.crc, got.crc);
    }
}

TEST(PayloadRecord, AbsentAndMalformed) {
    auto with = [](void (*edit)(Bytes &)) {
        Bytes b = Good();
        edit(b);
        return b;
    };
    struct Case {
        const char *name;
        Bytes record;
        uint32_t id;
        int expected;
    };
    const Case cases[] = {
        {"id not listed", Good(), 7400, PAYLOAD_RECORD_ABSENT},
        {"no entries", Record(nullptr, 0), PAYLOAD_ENGINE, PAYLOAD_RECORD_ABSENT},
        {"no record at all", {}, PAYLOAD_ENGINE, PAYLOAD_RECORD_MALFORMED},
        {"header cut short", with([](Bytes &b) { b.resize(7); }), PAYLOAD_ENGINE,
         PAYLOAD_RECORD_MALFORMED},
        {"last byte missing", with([](Bytes &b) { b.pop_back(); }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"last entry missing", with([](Bytes &b) { b.resize(b.size() - 16); }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"byte appended", with([](Bytes &b) { b.push_back(0); }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"bad magic", with([](Bytes &b) { b[3] = 'L'; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"magic byte-swapped", with([](Bytes &b) { PutU32(b, 0, 0x4356434Bu); }),
         PAYLOAD_BOOTSTRAP, PAYLOAD_RECORD_MALFORMED},
        {"version 0", with([](Bytes &b) { b[4] = 0; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"version 2", with([](Bytes &b) { b[4] = 2; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"count larger than the entries", with([](Bytes &b) { b[6] = 4; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"count smaller than the entries", with([](Bytes &b) { b[6] = 2; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        {"count 65535", with([](Bytes &b) { b[6] = b[7] = 0xFF; }), PAYLOAD_BOOTSTRAP,
         PAYLOAD_RECORD_MALFORMED},
        // A damaged record is reported even when the id asked for is intact.
        {"same id twice", with([](Bytes &b) { PutU32(b, 8 + 2 * 16, PAYLOAD_ENGINE); }),
         PAYLOAD_BOOTSTRAP, PAYLOAD_RECORD_MALFORMED},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PayloadRecordEntry e = {1, 2, 3, 4};
        EXPECT_EQ(c.expected, Find(c.record, c.id, &e));
        // Left alone unless found.
        EXPECT_EQ(1u, e.baseId);
        EXPECT_EQ(4u, e.crc);
    }
}

TEST(PayloadRecord, MostEntriesAllowed) {
    std::vector<PayloadRecordEntry> many;
    for (uint32_t i = 0; i < kPayloadRecordMaxEntries + 1; ++i)
        many.push_back({1000 + i, 1, i, i});
    const Bytes full = Record(many.data(), kPayloadRecordMaxEntries);
    PayloadRecordEntry e;
    EXPECT_EQ(PAYLOAD_RECORD_FOUND, Find(full, 1000 + kPayloadRecordMaxEntries - 1, &e));
    Bytes tooMany(PayloadRecordSize(kPayloadRecordMaxEntries + 1));
    EXPECT_EQ(0u, PayloadRecordWrite(tooMany.data(), uint32_t(tooMany.size()), many.data(),
                                     kPayloadRecordMaxEntries + 1));
}

TEST(PayloadRecord, WriterNeedsRoom) {
    Bytes b(PayloadRecordSize(3) - 1, 0xEE);
    EXPECT_EQ(0u, PayloadRecordWrite(b.data(), uint32_t(b.size()), kEntries, 3));
    // Null buffer: nothing fits.
    EXPECT_EQ(0u, PayloadRecordWrite(nullptr, 100, kEntries, 3));
}

}  // namespace
