// Damaged media: a payload piece cut, padded, lying about its size or with a
// bit flipped, a piece missing, a check record that disagrees. The launcher
// must show that payload's box, start nothing, and leave no partial file;
// payloads before it stay, as they always have.
#include "tests/e2e/e2e_support.h"

#include <string.h>

#include "base/crc32.h"
#include "base/payload_record.h"

namespace {

using e2e::Case;

const UINT kPieceType = 3000;
const UINT kRecordId = 7099;

enum Damage {
    kNone,
    kCut60,            // the piece cut to 60 %
    kAppend3000,       // 3,000 bytes after the coded data
    kSizeUp,           // the header states one byte more than the data gives
    kSizeDown,         // ... one byte less
    kFlagBit,          // the first flag byte's lowest bit flipped: a literal read as a match
    kLiteralByte,      // one literal byte changed: the structure stays sound
    kMissingPiece,     // the count says 2, only one piece exists
    kUncompressed,     // the piece is the payload itself, not SZDD
};

enum Record {
    kRecordOfOriginals,  // the check record of the original payloads
    kNoRecord,           // an older build: structure and lengths only
    kBrokenRecord,       // a record with the wrong magic
};

struct DamageRow {
    const char *name;
    UINT payload;   // 7100, 7200 or 7300
    Damage damage;
    Record record;
    bool launches;
    UINT box;       // 0 when none
};

void PrintTo(const DamageRow &row, std::ostream *os) {
    *os << row.name;
}

std::string Damaged(const std::string &piece, Damage damage, const std::string &original) {
    std::string out = piece;
    switch (damage) {
    case kCut60:
        out.resize(piece.size() * 60 / 100);
        break;
    case kAppend3000:
        for (int i = 0; i < 3000; i++)
            out.push_back(char(i * 7));
        break;
    case kSizeUp:
    case kSizeDown: {
        uint32_t size = 0;
        memcpy(&size, &out[10], 4);
        size = damage == kSizeUp ? size + 1 : size - 1;
        memcpy(&out[10], &size, 4);
        break;
    }
    case kFlagBit:
        out[14] = char(out[14] ^ 1);
        break;
    case kLiteralByte:
        // The first item of a program is a literal ('M' of "MZ"): byte 15.
        out[15] = char(out[15] ^ 0x20);
        break;
    case kUncompressed:
        out = original;
        break;
    default:
        break;
    }
    return out;
}

std::string RecordOf(const e2e::Originals &f, bool broken) {
    Crc32Table table;
    Crc32Init(&table);
    const std::string *payloads[] = {&f.bootstrap, &f.engine, &f.companion};
    const uint32_t ids[] = {7100, 7200, 7300};
    PayloadRecordEntry entries[3];
    for (int i = 0; i < 3; i++) {
        std::string bytes;
        EXPECT_TRUE(rig::ReadBytes(*payloads[i], bytes)) << *payloads[i];
        entries[i] = {ids[i], 1, uint32_t(bytes.size()), Crc32Update(&table, 0, bytes.data(), bytes.size())};
    }
    std::string record(PayloadRecordSize(3), '\0');
    EXPECT_EQ(PayloadRecordWrite(&record[0], uint32_t(record.size()), entries, 3), record.size());
    if (broken)
        record[0] = 'X';
    return record;
}

std::string FileOf(UINT payload) {
    return payload == 7100 ? e2e::kBootstrapFile : payload == 7200 ? e2e::kEngineFile : e2e::kCompanionFile;
}

class DamageTable : public ::testing::TestWithParam<DamageRow> {};

TEST_P(DamageTable, ADamagedPayloadIsNeverStarted) {
    E2E_REQUIRE_LAUNCHER();
    const DamageRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const e2e::Originals &f = e2e::Files();
    const std::string original[] = {f.bootstrap, f.engine, f.companion};
    const int index = int(row.payload - 7100) / 100;

    if (row.damage != kNone) {
        std::string piece;
        ASSERT_TRUE(rig::ReadResource(c.Launcher(), kPieceType, row.payload, piece));
        ASSERT_GT(piece.size(), 16u);
        ASSERT_EQ(piece.compare(0, 4, "SZDD"), 0);
        ASSERT_TRUE(row.damage != kLiteralByte || (piece[14] & 1)) << "the first item is a literal";
        std::string payload;
        ASSERT_TRUE(rig::ReadBytes(original[index], payload));
        if (row.damage == kMissingPiece) {
            ASSERT_TRUE(rig::PatchStrings(c.Launcher(), {{row.payload, "2"}}));
        } else {
            ASSERT_TRUE(rig::ReplaceResource(c.Launcher(), kPieceType, row.payload,
                                             Damaged(piece, row.damage, payload)));
        }
    }
    if (row.record == kNoRecord) {
        std::string existing;
        if (rig::ReadResource(c.Launcher(), kPieceType, kRecordId, existing)) {
            ASSERT_TRUE(rig::ReplaceResource(c.Launcher(), kPieceType, kRecordId, "", true));
        }
    } else {
        ASSERT_TRUE(rig::ReplaceResource(c.Launcher(), kPieceType, kRecordId,
                                         RecordOf(f, row.record == kBrokenRecord)));
    }

    e2e::Launch launch;
    launch.arguments = "-s";
    launch.timeoutMs = 30000;
    if (!row.launches)
        launch.waitForExit = true;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_FALSE(r.run.timedOut) << e2e::Describe(r);
    EXPECT_EQ(r.launched, row.launches) << e2e::Describe(r);
    if (!row.launches) {
        EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
        // The box that ended the run, or 1 without one: never a crash's code.
        EXPECT_EQ(r.run.exitCode, row.box ? DWORD(row.box) : 1u) << e2e::Describe(r);
    }
    if (row.box == 0) {
        EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    } else {
        ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
        EXPECT_EQ(r.run.boxes[0].text, e2e::ExpectedText(c, row.box)) << e2e::Describe(r);
    }

    // What stays: every payload before the damaged one, whole; nothing of it
    // or after it.
    std::map<std::string, std::string> expected;
    const int whole = row.launches ? 3 : index;
    for (int i = 0; i < whole; i++)
        expected[FileOf(7100 + 100 * UINT(i))] = original[i];
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, expected)) << e2e::Describe(r);
}

const DamageRow kDamageRows[] = {
    {"SoundMediumWithRecord", 7100, kNone, kRecordOfOriginals, true, 0},
    {"SoundMediumWithoutRecord", 7100, kNone, kNoRecord, true, 0},
    {"UncompressedPieceIsCopied", 7200, kUncompressed, kRecordOfOriginals, true, 0},
    {"EngineCutTo60Percent", 7200, kCut60, kRecordOfOriginals, false, 7065},
    {"EngineCutWithoutRecord", 7200, kCut60, kNoRecord, false, 7065},
    {"EngineWith3000BytesAppended", 7200, kAppend3000, kRecordOfOriginals, false, 7065},
    {"AppendedWithoutRecord", 7200, kAppend3000, kNoRecord, false, 7065},
    {"EngineFlagBitFlipped", 7200, kFlagBit, kRecordOfOriginals, false, 7065},
    {"EngineOneLiteralFlipped", 7200, kLiteralByte, kRecordOfOriginals, false, 7065},
    {"CompanionCut", 7300, kCut60, kRecordOfOriginals, false, 7066},
    {"CompanionSizeStatesMore", 7300, kSizeUp, kNoRecord, false, 7066},
    {"CompanionSizeStatesLess", 7300, kSizeDown, kNoRecord, false, 7066},
    {"BootstrapCut", 7100, kCut60, kRecordOfOriginals, false, 7064},
    {"BootstrapLiteralFlipped", 7100, kLiteralByte, kRecordOfOriginals, false, 7064},
    {"BootstrapPieceMissing", 7100, kMissingPiece, kNoRecord, false, 7064},
    {"BrokenRecordStopsTheFirstPayload", 7100, kNone, kBrokenRecord, false, 7064},
};

std::string RowName(const ::testing::TestParamInfo<DamageRow> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(DamagedMedium, DamageTable, ::testing::ValuesIn(kDamageRows), RowName);

}  // namespace
