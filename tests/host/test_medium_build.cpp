// The medium tool's resource encoders and `medium build` on the host: string
// blocks, version resource, icons, manifest level, the checksum record, and
// whole builds from a stub-like image (payloads split, counted, recorded;
// errors that leave nothing behind).
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/crc32.h"
#include "base/payload_record.h"
#include "tools/lib/manifest.h"
#include "tools/lib/versioninfo.h"
#include "tools/lib/project.h"
#include "tools/medium/build.h"
#include "tools/medium/cli.h"
#include "tools/medium/inspect.h"
#include "tools/medium/library.h"
#include "tools/medium/library_cli.h"
#include "tools/lib/pe_image.h"
#include "tools/medium/record.h"
#include "tools/medium/resedit.h"
#include "tools/lib/szdd_codec.h"
#include "tests/host/host_files.h"
#include "tests/host/signing_kit.h"
#include "tests/host/stub_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using medium::ResEntry;
using medium::ResList;

std::string Fixture(const char *name)
{
    return std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/" + name;
}

ResList FixtureResources(const char *name)
{
    Bytes img = ReadFile(Fixture(name));
    ResList res;
    std::string err;
    EXPECT_TRUE(medium::ReadResources(img.data(), img.size(), &res, &err)) << err;
    return res;
}

TEST(MediumStrings, SetCreatesAndEditsBlocks)
{
    ResList res;
    std::string err;
    ASSERT_TRUE(medium::SetString(&res, 7100, 0x409, u"12", &err)) << err;
    ASSERT_TRUE(medium::SetString(&res, 7101, 0x409, u"x", &err)) << err;
    ASSERT_TRUE(medium::SetString(&res, 7200, 0x409, u"3", &err)) << err;
    ASSERT_EQ(res.size(), 2u) << "7100 and 7101 share block 444; 7200 is in 451";
    std::u16string text;
    ASSERT_TRUE(medium::GetString(res, 7100, 0x409, &text, &err));
    EXPECT_EQ(text, u"12");
    ASSERT_TRUE(medium::GetString(res, 7101, 0x409, &text, &err));
    EXPECT_EQ(text, u"x");
    ASSERT_TRUE(medium::GetString(res, 7102, 0x409, &text, &err));
    EXPECT_EQ(text, u"");
    ASSERT_TRUE(medium::GetString(res, 7100, 0x407, &text, &err));
    EXPECT_EQ(text, u"") << "another language is another block";

    // An existing block is kept apart from the changed string.
    ResList fixture = FixtureResources("small.dll");
    ASSERT_TRUE(medium::SetString(&fixture, 7100, 0x409, u"7", &err)) << err;
    ASSERT_TRUE(medium::GetString(fixture, 7101, 0x409, &text, &err));
    EXPECT_EQ(text, u"seven one oh one");
    ASSERT_TRUE(medium::GetString(fixture, 7100, 0x407, &text, &err));
    EXPECT_EQ(text, u"eins");

    // A block whose lengths run past it is refused, not read past.
    tk::ResFind(&fixture, medium::kRtString, 444, 0x409)->data.resize(30);
    EXPECT_FALSE(medium::SetString(&fixture, 7100, 0x409, u"1", &err));
    EXPECT_NE(err.find("past"), std::string::npos);
}

TEST(MediumVersion, EditsStringsAndFixedInfo)
{
    ResList res = FixtureResources("small.dll");
    const Bytes &version = tk::ResFind(&res, medium::kRtVersion, 1)->data;
    Bytes out;
    std::string err;
    ASSERT_TRUE(medium::EditVersionInfo(version, {{"FileVersion", "9.8.7.6"}, {"Comments", "Grüße"}, {"ProductVersion", "2.5"}},
                                        &out, &err))
        << err;
    // Read back by the inspect reader, which finds nothing to complain of.
    tk::VersionInfo v;
    tk::Problems problems;
    tk::ReadVersionInfo(out.data(), out.size(), &v, &problems);
    ASSERT_TRUE(v.read);
    EXPECT_TRUE(problems.empty()) << problems[0].text;
    auto value = [&](const char *key) {
        for (const tk::VersionString &s : v.strings)
            if (s.key == key)
                return s.value;
        return std::string("(absent)");
    };
    EXPECT_EQ(value("FileVersion"), "9.8.7.6");
    EXPECT_EQ(value("Comments"), "Grüße");
    EXPECT_EQ(value("CompanyName"), "Corvane");
    // Fixed info right after the 40 bytes of header and key.
    EXPECT_EQ(GetUi32(&out[40]), 0xFEEF04BDu);
    EXPECT_EQ(GetUi32(&out[48]), 0x00090008u);
    EXPECT_EQ(GetUi32(&out[52]), 0x00070006u);
    EXPECT_EQ(GetUi32(&out[56]), 0x00020005u);
    EXPECT_EQ(GetUi32(&out[60]), 0u);
    EXPECT_EQ(GetUi16(&out[0]), out.size()) << "root length covers the whole";

    // Unchanged keys give back the same bytes as windres wrote.
    Bytes same;
    ASSERT_TRUE(medium::EditVersionInfo(version, {{"ProductName", "Small"}}, &same, &err)) << err;
    EXPECT_EQ(same, version);

    // A display text after the number: the number is the fixed version, the
    // whole text the string, and the reader sees them agree.
    ASSERT_TRUE(medium::EditVersionInfo(version, {{"ProductVersion", "3.1 beta"}}, &out, &err)) << err;
    tk::VersionInfo shown;
    tk::ReadVersionInfo(out.data(), out.size(), &shown, &problems);
    EXPECT_TRUE(problems.empty()) << problems[0].text;
    EXPECT_EQ(GetUi32(&out[56]), 0x00030001u);
    EXPECT_EQ(GetUi32(&out[60]), 0u);
    bool found = false;
    for (const tk::VersionString &s : shown.strings)
        found = found || (s.key == "ProductVersion" && s.value == "3.1 beta");
    EXPECT_TRUE(found);

    // A version that is not a.b.c.d is refused with the rule: the string
    // and the number never disagree.
    for (const char *bad : {"1.x", "beta 4.2", "4.2.0.70000"}) {
        err.clear();
        EXPECT_FALSE(medium::EditVersionInfo(version, {{"ProductVersion", bad}}, &out, &err)) << bad;
        EXPECT_NE(err.find("is not a version number: a version is a.b.c.d"), std::string::npos) << err;
    }
}

TEST(MediumVersion, RefusesBrokenResources)
{
    ResList res = FixtureResources("small.dll");
    const Bytes good = tk::ResFind(&res, medium::kRtVersion, 1)->data;
    const struct {
        const char *what;
        std::function<void(Bytes &)> change;
    } cases[] = {
        {"cut", [](Bytes &b) { b.resize(b.size() / 2); }},
        {"root longer than the data", [](Bytes &b) { SetUi16(&b[0], (uint32_t)b.size() + 8); }},
        {"root shorter than its header", [](Bytes &b) { SetUi16(&b[0], 4); }},
        {"not VS_VERSION_INFO", [](Bytes &b) { b[6] = 'X'; }},
        {"child past its parent", [](Bytes &b) { SetUi16(&b[92], 0x7000); }},
        {"empty", [](Bytes &b) { b.clear(); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = good;
        c.change(bad);
        Bytes out;
        std::string err;
        EXPECT_FALSE(medium::EditVersionInfo(bad, {{"FileVersion", "1"}}, &out, &err));
        EXPECT_FALSE(err.empty());
    }
}

Bytes Ico()
{
    return ReadFile(Fixture("test.ico"));
}

TEST(MediumIcon, ReplacesTheGroupAndItsImagesOnly)
{
    ResList res;
    std::string err;
    // A group 7001 of one image (id 1), and an image of another group (id 5).
    ResEntry group;
    group.type = medium::ResNumber(medium::kRtGroupIcon);
    group.name = medium::ResNumber(7001);
    group.lang = 0x407;
    group.data = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 40, 0, 0, 0, 1, 0};
    res.push_back(group);
    for (uint16_t id : {1, 5}) {
        ResEntry icon;
        icon.type = medium::ResNumber(medium::kRtIcon);
        icon.name = medium::ResNumber(id);
        icon.lang = 0x407;
        icon.data.assign(40, (uint8_t)id);
        res.push_back(icon);
    }
    ASSERT_TRUE(medium::ReplaceIconGroup(&res, 7001, Ico(), &err)) << err;
    ResEntry *g = tk::ResFind(&res, medium::kRtGroupIcon, 7001);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->lang, 0x407);
    ASSERT_EQ(g->data.size(), 6u + 2 * 14);
    EXPECT_EQ(GetUi16(&g->data[4]), 2u);
    const Bytes ico = Ico();
    std::vector<uint16_t> ids;
    for (int i = 0; i < 2; i++) {
        const uint8_t *e = &g->data[6 + 14 * i];
        EXPECT_EQ(memcmp(e, &ico[6 + 16 * i], 12), 0) << "directory fields as in the file";
        ids.push_back((uint16_t)GetUi16(e + 12));
        ResEntry *img = tk::ResFind(&res, medium::kRtIcon, ids.back());
        ASSERT_NE(img, nullptr);
        const uint32_t size = GetUi32(&ico[6 + 16 * i + 8]), at = GetUi32(&ico[6 + 16 * i + 12]);
        EXPECT_EQ(img->data, Bytes(ico.begin() + at, ico.begin() + at + size));
    }
    EXPECT_NE(ids[0], 5);
    EXPECT_NE(ids[1], 5);
    ASSERT_NE(tk::ResFind(&res, medium::kRtIcon, 5), nullptr) << "another group's image stays";
    EXPECT_EQ(tk::ResFind(&res, medium::kRtIcon, 5)->data, Bytes(40, 5));
    EXPECT_EQ(res.size(), 4u);
}

TEST(MediumIcon, RefusesFilesThatAreNotIcons)
{
    const Bytes good = Ico();
    const struct {
        const char *what;
        std::function<void(Bytes &)> change;
        const char *error;
    } cases[] = {
        {"empty", [](Bytes &b) { b.clear(); }, "not an icon"},
        {"a cursor", [](Bytes &b) { b[2] = 2; }, "not an icon"},
        {"no images", [](Bytes &b) { b[4] = 0; }, "0 images"},
        {"absurd count", [](Bytes &b) { b[4] = 0xFF; b[5] = 0xFF; }, "65535 images"},
        {"directory cut", [](Bytes &b) { b.resize(20); }, "directory runs past"},
        {"image past the file", [](Bytes &b) { SetUi32(&b[6 + 12], (uint32_t)b.size() - 10); }, "outside the file"},
        {"image size wraps", [](Bytes &b) { SetUi32(&b[6 + 8], 0xFFFFFFF0u); }, "outside the file"},
        {"image too small", [](Bytes &b) { SetUi32(&b[6 + 8], 12); }, "too small"},
        {"neither bitmap nor PNG", [](Bytes &b) { SetUi32(&b[GetUi32(&b[6 + 12])], 12); }, "neither"},
        {"odd bit depth", [](Bytes &b) { SetUi16(&b[GetUi32(&b[6 + 12]) + 14], 7); }, "bits per pixel"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bad = good;
        c.change(bad);
        ResList res;
        std::string err;
        EXPECT_FALSE(medium::ReplaceIconGroup(&res, 7001, bad, &err));
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
        EXPECT_TRUE(res.empty());
    }
}

// The level a manifest asks for, as inspect reads it.
std::string Level(const Bytes &manifest)
{
    tk::ManifestInfo info;
    tk::Problems problems;
    tk::CheckManifest(manifest.data(), manifest.size(), &info, &problems);
    return info.executionLevel;
}

TEST(MediumManifest, SetsTheLevelOnly)
{
    const Bytes manifest = ReadFile(std::string(CORVANE_SOURCE_DIR) + "/resources/setup.manifest");
    ASSERT_FALSE(manifest.empty());
    EXPECT_EQ(Level(manifest), "requireAdministrator");
    Bytes out;
    std::string err;
    for (const char *level : {"asInvoker", "highestAvailable", "requireAdministrator"}) {
        ASSERT_TRUE(medium::SetExecutionLevel(manifest, level, &out, &err)) << err;
        EXPECT_EQ(Level(out), level);
        std::string text(out.begin(), out.end());
        EXPECT_NE(text.find("uiAccess=\"false\""), std::string::npos);
        EXPECT_EQ(out.size() - strlen(level), manifest.size() - strlen("requireAdministrator"));
    }
    EXPECT_FALSE(medium::SetExecutionLevel(manifest, "admin", &out, &err));
    const std::string none = "<assembly><trustInfo/></assembly>";
    EXPECT_FALSE(medium::SetExecutionLevel(Bytes(none.begin(), none.end()), "asInvoker", &out, &err));
    EXPECT_NE(err.find("requestedExecutionLevel"), std::string::npos);
}

uint32_t Crc(const Bytes &b)
{
    Crc32Table table;
    Crc32Init(&table);
    return Crc32Update(&table, 0, b.data(), b.size());
}

// The record as the tool writes it reads back through the launcher's parser.
TEST(MediumRecord, BytesReadBackThroughTheLaunchersParser)
{
    const PayloadRecordEntry entries[3] = {{7100, 2, 5000, 0x11223344}, {7200, 1, 10, 1}, {7300, 1, 0, 0}};
    const Bytes r = medium::PayloadRecordBytes(entries, 3);
    ASSERT_EQ(r.size(), 56u);
    for (const PayloadRecordEntry &want : entries) {
        PayloadRecordEntry got = {};
        ASSERT_EQ(PayloadRecordFind(r.data(), (uint32_t)r.size(), want.baseId, &got), PAYLOAD_RECORD_FOUND);
        EXPECT_EQ(got.pieceCount, want.pieceCount);
        EXPECT_EQ(got.length, want.length);
        EXPECT_EQ(got.crc, want.crc);
    }
    EXPECT_TRUE(medium::PayloadRecordBytes(entries, kPayloadRecordMaxEntries + 1).empty()) << "over the limit";
}

TEST(MediumRecord, WholeFileLengthAndCrc)
{
    char dir[] = "/tmp/medium-record-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    Crc32Table table;
    Crc32Init(&table);
    const struct {
        const char *name;
        size_t length;
    } cases[] = {{"empty", 0}, {"check", 9}, {"chunks", (1u << 16) * 3 + 5}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data(c.length);
        for (size_t i = 0; i < data.size(); i++)
            data[i] = (uint8_t)(c.length == 9 ? '1' + i : i * 7 + i / 251);
        ASSERT_TRUE(WriteFile(root + "/" + c.name, data));
        PayloadRecordEntry e = {};
        medium::Failure failure;
        ASSERT_TRUE(medium::RecordWholeFile(root + "/" + c.name, "engine", 7200, &table, &e, &failure)) << failure.message;
        EXPECT_EQ(e.baseId, 7200u);
        EXPECT_EQ(e.pieceCount, 1u);
        EXPECT_EQ(e.length, c.length);
        EXPECT_EQ(e.crc, c.length == 9 ? 0xCBF43926u : Crc(data));
    }
    PayloadRecordEntry e = {};
    medium::Failure failure;
    EXPECT_FALSE(medium::RecordWholeFile(root + "/none", "engine", 7200, &table, &e, &failure));
    EXPECT_EQ(failure.code, medium::kExitInput);
    EXPECT_NE(failure.message.find("none: cannot open the engine payload"), std::string::npos) << failure.message;
    EXPECT_FALSE(medium::RecordWholeFile(root, "engine", 7200, &table, &e, &failure)) << "a folder";
    EXPECT_NE(failure.message.find("not a regular file"), std::string::npos) << failure.message;
    std::string cmd = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

TEST(MediumBuild, PieceSizeGrowsPastOneHundredPieces)
{
    EXPECT_EQ(medium::PieceSizeFor(1, 0), medium::kPieceSize);
    EXPECT_EQ(medium::PieceSizeFor(100ull * medium::kPieceSize, 0), medium::kPieceSize);
    const uint32_t grown = medium::PieceSizeFor(100ull * medium::kPieceSize + 1, 0);
    EXPECT_GT(grown, medium::kPieceSize);
    EXPECT_LE((100ull * medium::kPieceSize + 1 + grown - 1) / grown, 100u);
    EXPECT_EQ(medium::PieceSizeFor(0xFFFFFFFFull, 4096) * 100ull >= 0xFFFFFFFFull, true);
    EXPECT_EQ(medium::PieceSizeFor(0x100000000ull, 0), 0u);
}

// A folder of its own for one build, with a stub-like image: small.exe with
// the launcher's strings, version and manifest.
class MediumBuildTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/medium-build-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        const Bytes stub = StubFixture();
        ASSERT_FALSE(stub.empty());
        ASSERT_TRUE(WriteFile(root_ + "/stub.exe", stub));
        for (int i = 0; i < 3; i++) {
            Bytes payload(i == 0 ? 10000 : 100 + i);
            for (size_t k = 0; k < payload.size(); k++)
                payload[k] = (uint8_t)(k * 13 + k / 97 + i);
            if (i == 0) {
                // The bootstrap must be a Windows program: a small one with
                // the pattern after it.
                const Bytes program = ReadFile(Fixture("small.exe"));
                std::copy(program.begin(), program.end(), payload.begin());
            }
            payloads_[i] = payload;
            ASSERT_TRUE(WriteFile(Path(i == 0 ? "boot.exe" : i == 1 ? "engine.exe" : "data.bin"), payload));
        }
        ASSERT_TRUE(WriteFile(Path("SETUP.INS"), Bytes{'s', 'c', 'r'}));
        ASSERT_TRUE(WriteFile(Path("lib.dll"), ReadFile(Fixture("small.dll"))));
        o_.payload[0] = Path("boot.exe");
        o_.payload[1] = Path("engine.exe");
        o_.payload[2] = Path("data.bin");
        o_.script = Path("SETUP.INS");
        o_.library = Path("lib.dll");
        o_.stub = Path("stub.exe");
        o_.outDir = Path("out");
        o_.pieceSize = 4096;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string Path(const char *name) const { return root_ + "/" + name; }
    std::vector<std::string> OutNames() const
    {
        std::vector<std::string> names;
        DIR *d = opendir(o_.outDir.c_str());
        if (!d)
            return names;
        while (struct dirent *e = readdir(d)) {
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root_;
    Bytes payloads_[3];
    medium::BuildOptions o_;
};

TEST_F(MediumBuildTest, SplitsCountsAndRecordsThePayloads)
{
    medium::BuildReport report;
    medium::Failure failure;
    // Pieces of 4096 bytes read 1000 at a time: the compressor is fed across
    // reads, and what it streams must match the whole-buffer compressor.
    o_.readChunk = 1000;
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"SETUP.INS", "_SETUP.DLL", "setup.exe"}));
    EXPECT_EQ(ReadFile(Path("out/_SETUP.DLL")), ReadFile(Fixture("small.dll")));
    const Bytes setup = ReadFile(Path("out/setup.exe"));
    ResList res;
    std::string err;
    ASSERT_TRUE(medium::ReadResources(setup.data(), setup.size(), &res, &err)) << err;
    EXPECT_EQ(GetUi32(&setup[GetUi32(&setup[0x3C]) + 24 + 64]), medium::PeChecksum(setup.data(), setup.size()));

    const Bytes record = tk::ResFind(&res, 3000, 7099)->data;
    for (int i = 0; i < 3; i++) {
        const uint16_t base = (uint16_t)(7100 + 100 * i);
        const uint32_t pieces = (uint32_t)((payloads_[i].size() + 4095) / 4096);
        std::u16string count;
        ASSERT_TRUE(medium::GetString(res, base, 0x409, &count, &err));
        EXPECT_EQ(count, std::u16string(1, (char16_t)('0' + pieces))) << base;
        if (base == 7100) {
            ASSERT_TRUE(medium::GetString(res, base, 0x407, &count, &err));
            EXPECT_EQ(count, u"3") << "every language's block";
        }
        EXPECT_EQ(report.payloads[i].pieces, pieces);
        // The 10,000 bytes shrink; the 101 and 102 distinct bytes do not,
        // so their one piece each is stored as it is.
        const bool raw = i != 0;
        EXPECT_EQ(report.payloads[i].raw, raw ? pieces : 0u) << base;
        Bytes joined;
        for (uint32_t k = 0; k < pieces; k++) {
            ResEntry *piece = tk::ResFind(&res, 3000, (uint16_t)(base + k));
            ASSERT_NE(piece, nullptr) << base + k;
            const size_t from = (size_t)k * 4096;
            const Bytes slice(payloads_[i].begin() + (long)from,
                              payloads_[i].begin() + (long)std::min<size_t>(from + 4096, payloads_[i].size()));
            if (raw) {
                EXPECT_EQ(piece->data, slice) << base + k;
                joined.insert(joined.end(), slice.begin(), slice.end());
                continue;
            }
            Bytes expanded;
            ASSERT_EQ(szdd::Expand(piece->data.data(), piece->data.size(), expanded), szdd::Result::Ok);
            joined.insert(joined.end(), expanded.begin(), expanded.end());
            // Read 1000 bytes at a time, the piece is what the whole-buffer
            // compressor makes of the same bytes.
            Bytes whole;
            ASSERT_EQ(szdd::Compress(slice.data(), slice.size(), whole), szdd::Result::Ok);
            EXPECT_EQ(piece->data, whole) << base + k;
        }
        EXPECT_EQ(tk::ResFind(&res, 3000, (uint16_t)(base + pieces)), nullptr);
        EXPECT_EQ(joined, payloads_[i]) << base;
        EXPECT_EQ(GetUi32(&record[8 + 16 * i + 4]), pieces);
        EXPECT_EQ(GetUi32(&record[8 + 16 * i + 8]), payloads_[i].size());
        EXPECT_EQ(GetUi32(&record[8 + 16 * i + 12]), Crc(payloads_[i]));
    }

    // The same inputs give the same bytes.
    o_.outDir = Path("again");
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    EXPECT_EQ(ReadFile(Path("again/setup.exe")), setup);
}

struct PayloadSink {
    Bytes bytes;
};

int CollectPayload(void *ctx, const unsigned char *data, uint32_t len)
{
    static_cast<PayloadSink *>(ctx)->bytes.insert(static_cast<PayloadSink *>(ctx)->bytes.end(), data, data + len);
    return 1;
}

// Lengths around the piece size, an empty payload among them: the pieces
// chain through the launcher's expander (as it runs them, CRC carried over)
// into the payload, and the record agrees with what comes out.
TEST_F(MediumBuildTest, PieceBoundariesAndEmptyPayloads)
{
    const size_t lengths[] = {0, 1, 4095, 4096, 8192, 8193};
    Crc32Table table;
    Crc32Init(&table);
    for (size_t length : lengths) {
        SCOPED_TRACE(length);
        Bytes payload(length);
        for (size_t k = 0; k < length; k++)
            payload[k] = (uint8_t)(k % 251 < 100 ? 'a' + k % 7 : k * 31);
        ASSERT_TRUE(WriteFile(Path("data.bin"), payload));
        o_.outDir = Path(("out-" + std::to_string(length)).c_str());
        medium::BuildReport report;
        medium::Failure failure;
        ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
        const Bytes setup = ReadFile(o_.outDir + "/setup.exe");
        ResList res;
        std::string err;
        ASSERT_TRUE(medium::ReadResources(setup.data(), setup.size(), &res, &err)) << err;

        const uint32_t pieces = length == 0 ? 1 : (uint32_t)((length + 4095) / 4096);
        EXPECT_EQ(report.payloads[2].pieces, pieces);
        std::u16string count;
        ASSERT_TRUE(medium::GetString(res, 7300, 0x409, &count, &err));
        EXPECT_EQ(count, std::u16string(1, (char16_t)('0' + pieces)));
        PayloadSink sink;
        SzddOutput out = {0, 0};
        for (uint32_t k = 0; k < pieces; k++) {
            ResEntry *piece = tk::ResFind(&res, 3000, (uint16_t)(7300 + k));
            ASSERT_NE(piece, nullptr) << k;
            const size_t want = std::min<size_t>(4096, length - k * 4096);
            if (piece->data.size() >= kSzddHeaderSize && memcmp(piece->data.data(), kSzddMagic, kSzddMagicSize) == 0)
                EXPECT_EQ(GetUi32(&piece->data[kSzddSizeOffset]), want) << k;
            else
                EXPECT_EQ(piece->data.size(), want) << "a raw piece is the payload's bytes " << k;
            // The empty payload stays coded: one header saying 0 bytes.
            if (length == 0)
                EXPECT_EQ(piece->data.size(), (size_t)kSzddHeaderSize);
            SzddOutput got;
            ASSERT_EQ(SzddExpandOrCopy(piece->data.data(), (uint32_t)piece->data.size(), &table, out.crc,
                                       CollectPayload, &sink, &got),
                      SZDD_OK)
                << k;
            out.length += got.length;
            out.crc = got.crc;
        }
        EXPECT_EQ(tk::ResFind(&res, 3000, (uint16_t)(7300 + pieces)), nullptr);
        EXPECT_EQ(sink.bytes, payload);
        const Bytes &record = tk::ResFind(&res, 3000, 7099)->data;
        PayloadRecordEntry e = {};
        ASSERT_EQ(PayloadRecordFind(record.data(), (uint32_t)record.size(), 7300, &e), PAYLOAD_RECORD_FOUND);
        EXPECT_EQ(e.pieceCount, pieces);
        EXPECT_EQ(e.length, out.length);
        EXPECT_EQ(e.crc, out.crc);
    }
}

// Bytes no coder shrinks (a fixed xorshift sequence).
Bytes Noise(size_t length, uint32_t seed)
{
    Bytes b(length);
    for (uint8_t &c : b) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = (uint8_t)(seed >> 24);
    }
    return b;
}

Bytes Text(size_t length)
{
    const char *words[] = {"setup ", "copies ", "the ", "files ", "into ", "place "};
    Bytes b;
    for (size_t k = 0; b.size() < length; k++)
        for (const char *p = words[(k * 7 + k / 5) % 6]; *p && b.size() < length; p++)
            b.push_back((uint8_t)*p);
    return b;
}

// A piece is stored as it is when coding does not make it 1 % smaller,
// unless it begins with the SZDD signature: the launcher would take such a
// piece for a coded one and expand it.
TEST_F(MediumBuildTest, PiecesThatDoNotShrinkAreStoredAsTheyAre)
{
    Bytes signed_ = Noise(6000, 7);
    memcpy(signed_.data(), kSzddMagic, kSzddMagicSize);
    Bytes signaturePrefix = Noise(6000, 9);
    memcpy(signaturePrefix.data(), kSzddMagic, kSzddMagicSize - 1);
    const struct {
        const char *what;
        Bytes payload;
        bool raw;
    } cases[] = {
        {"noise", Noise(1u << 20, 1), true},
        {"noise led by the SZDD signature", signed_, false},
        {"noise led by all but the signature's last byte", signaturePrefix, true},
        {"text", Text(50000), false},
        {"one byte", Bytes{'x'}, true},
    };
    o_.pieceSize = 0;   // one piece each
    // One layout for all, so that sizes differ by the payloads alone.
    o_.mappedLayoutAbove = UINT64_MAX;
    ASSERT_TRUE(WriteFile(Path("data.bin"), Bytes()));
    o_.outDir = Path("empty");
    medium::BuildReport report;
    medium::Failure failure;
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    const uint64_t emptySize = report.setupSize;
    Crc32Table table;
    Crc32Init(&table);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFile(Path("data.bin"), c.payload));
        o_.outDir = Path(("out-" + std::to_string(&c - cases)).c_str());
        ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
        EXPECT_EQ(report.payloads[2].raw, c.raw ? 1u : 0u);
        const Bytes setup = ReadFile(o_.outDir + "/setup.exe");
        ResList res;
        std::string err;
        ASSERT_TRUE(medium::ReadResources(setup.data(), setup.size(), &res, &err)) << err;
        const Bytes &piece = tk::ResFind(&res, 3000, 7300)->data;
        if (c.raw)
            EXPECT_EQ(piece, c.payload);
        else
            EXPECT_EQ(memcmp(piece.data(), kSzddMagic, kSzddMagicSize), 0);
        PayloadSink sink;
        SzddOutput got;
        ASSERT_EQ(SzddExpandOrCopy(piece.data(), (uint32_t)piece.size(), &table, 0, CollectPayload, &sink, &got),
                  SZDD_OK);
        EXPECT_EQ(sink.bytes, c.payload);
        const Bytes &record = tk::ResFind(&res, 3000, 7099)->data;
        PayloadRecordEntry e = {};
        ASSERT_EQ(PayloadRecordFind(record.data(), (uint32_t)record.size(), 7300, &e), PAYLOAD_RECORD_FOUND);
        EXPECT_EQ(e.crc, Crc(c.payload));
        if (c.payload.size() >= (1u << 20)) {
            // What the payload adds to setup.exe: at most 0.1 % over its size.
            EXPECT_LE(report.setupSize - emptySize, c.payload.size() + c.payload.size() / 1000);
        }
    }
}

// setup.exe takes the 4 KiB layout only when the payloads' stored bytes
// exceed the threshold; the resources are the same in either.
TEST_F(MediumBuildTest, LayoutFollowsTheStoredSize)
{
    medium::BuildReport report;
    medium::Failure failure;
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    EXPECT_EQ(report.fileAlignment, 512u) << "small payloads, the default threshold";
    uint64_t stored = 0;
    for (const medium::PayloadReport &p : report.payloads)
        stored += p.packed;
    ResList first;
    std::string err;
    const struct {
        uint64_t above;
        uint32_t fileAlignment;
    } cases[] = {{stored, 512}, {stored - 1, 4096}, {0, 4096}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.above);
        o_.mappedLayoutAbove = c.above;
        ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
        EXPECT_EQ(report.fileAlignment, c.fileAlignment);
        const Bytes setup = ReadFile(Path("out/setup.exe"));
        EXPECT_EQ(GetUi32(&setup[GetUi32(&setup[0x3C]) + 24 + 36]), c.fileAlignment);
        ResList res;
        ASSERT_TRUE(medium::ReadResources(setup.data(), setup.size(), &res, &err)) << err;
        if (first.empty())
            first = res;
        ASSERT_EQ(res.size(), first.size());
        for (size_t i = 0; i < res.size(); i++)
            EXPECT_TRUE(res[i].data == first[i].data) << i;
    }
}

// Pieces coded on several threads give the same file as on one, coded and
// raw pieces mixed across payloads.
TEST_F(MediumBuildTest, ThreadedBuildIsByteIdentical)
{
    Bytes mixed;
    for (uint32_t k = 0; k < 9; k++) {
        const Bytes part = k % 3 == 1 ? Noise(4096, k + 1) : Text(4096);
        mixed.insert(mixed.end(), part.begin(), part.end());
    }
    ASSERT_TRUE(WriteFile(Path("data.bin"), mixed));
    ASSERT_TRUE(WriteFile(Path("engine.exe"), Noise(20000, 3)));
    medium::BuildReport one, many;
    medium::Failure failure;
    o_.threads = 1;
    o_.outDir = Path("one");
    ASSERT_TRUE(medium::Build(o_, &one, &failure)) << failure.message;
    o_.threads = 4;
    o_.outDir = Path("many");
    ASSERT_TRUE(medium::Build(o_, &many, &failure)) << failure.message;
    EXPECT_EQ(one.payloads[2].pieces, 9u);
    EXPECT_EQ(one.payloads[2].raw, 3u);
    EXPECT_EQ(one.payloads[1].raw, one.payloads[1].pieces);
    const Bytes a = ReadFile(Path("one/setup.exe"));
    EXPECT_FALSE(a.empty());
    EXPECT_TRUE(a == ReadFile(Path("many/setup.exe")));
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(one.payloads[i].packed, many.payloads[i].packed) << i;
        EXPECT_EQ(one.payloads[i].raw, many.payloads[i].raw) << i;
    }
}

TEST_F(MediumBuildTest, ErrorsNameTheFileAndLeaveNothingBehind)
{
    const struct {
        const char *what;
        std::function<void(medium::BuildOptions &, const std::string &root)> change;
        int code;
        const char *error;
    } cases[] = {
        {"script with another name",
         [](medium::BuildOptions &o, const std::string &root) {
             o.script = root + "/setup.txt";
         },
         medium::kExitInput, "SETUP.INS or INSTALL.INS"},
        {"missing payload", [](medium::BuildOptions &o, const std::string &root) { o.payload[1] = root + "/none.exe"; },
         medium::kExitInput, "none.exe: cannot open the engine payload"},
        {"a stub that is not one", [](medium::BuildOptions &o, const std::string &) { o.stub = Fixture("small.dll"); },
         medium::kExitInput, "not a launcher stub"},
        {"a stub that is no image", [](medium::BuildOptions &o, const std::string &) { o.stub = Fixture("test.ico"); },
         medium::kExitInput, "test.ico: not a PE image"},
        {"a library that is no image",
         [](medium::BuildOptions &o, const std::string &) { o.library = Fixture("test.ico"); }, medium::kExitInput,
         "not a resource library"},
        {"a bad icon", [](medium::BuildOptions &o, const std::string &root) { o.icon = root + "/SETUP.INS"; },
         medium::kExitInput, "SETUP.INS: not an icon file"},
        {"output is a file", [](medium::BuildOptions &o, const std::string &root) { o.outDir = root + "/SETUP.INS"; },
         medium::kExitUsage, "must be a folder"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        medium::BuildOptions o = o_;
        c.change(o, root_);
        medium::BuildReport report;
        medium::Failure failure;
        EXPECT_FALSE(medium::Build(o, &report, &failure));
        EXPECT_EQ(failure.code, c.code);
        EXPECT_NE(failure.message.find(c.error), std::string::npos) << failure.message;
        EXPECT_TRUE(OutNames().empty()) << "left " << (OutNames().empty() ? "" : OutNames()[0]);
    }
    // A payload that fails after another was packed leaves no pieces.
    mkdir(o_.outDir.c_str(), 0777);
    medium::BuildOptions o = o_;
    o.payload[2] = Path("nothing");
    medium::BuildReport report;
    medium::Failure failure;
    EXPECT_FALSE(medium::Build(o, &report, &failure));
    EXPECT_TRUE(OutNames().empty());
}

}  // namespace

namespace {

// Command lines that are wrong give the usage code before anything is read.
TEST(MediumBuildCommand, UsageErrors)
{
    const std::string all = "build --bootstrap b --engine e --companion c --script SETUP.INS --library l --out o";
    const struct {
        const char *what;
        std::string args;
        int code;
    } cases[] = {
        {"help", "build --help", medium::kExitOk},
        {"nothing", "build", medium::kExitUsage},
        {"no --out", "build --bootstrap b --engine e --companion c --script SETUP.INS --library l", medium::kExitUsage},
        {"unknown option", all + " --fast", medium::kExitUsage},
        {"option without value", all + " --icon", medium::kExitUsage},
        {"option twice", all + " --engine e2", medium::kExitUsage},
        {"unknown level", all + " --execution-level admin", medium::kExitUsage},
        {"version info without =", all + " --version-info FileVersion", medium::kExitUsage},
        {"piece size too small", all + " --piece-size 100", medium::kExitUsage},
        {"piece size not a number", all + " --piece-size 4k", medium::kExitUsage},
        {"piece size with a sign", all + " --piece-size +5000", medium::kExitUsage},
        {"no threads", all + " --threads 0", medium::kExitUsage},
        {"too many threads", all + " --threads 257", medium::kExitUsage},
        {"threads with a sign", all + " --threads +2", medium::kExitUsage},
        {"inputs missing: bad input, not usage", all + " --stub /nonexistent/stub.exe", medium::kExitInput},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> words;
        std::string word;
        for (char ch : c.args + " ") {
            if (ch == ' ') {
                if (!word.empty())
                    words.push_back(word);
                word.clear();
            } else {
                word += ch;
            }
        }
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        EXPECT_EQ(medium::BuildCommand((int)argv.size(), argv.data()), c.code);
    }
    // The layout threshold's variable, when set, must be a number.
    for (const char *value : {"", "1M", "-1", " 5", "99999999999999999999999"}) {
        SCOPED_TRACE(value);
        setenv(medium::kMappedLayoutAboveVariable, value, 1);
        std::string words[] = {"build", "--bootstrap", "b", "--engine", "e", "--companion", "c", "--script",
                               "SETUP.INS", "--library", "l", "--out", "o"};
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(&w[0]);
        EXPECT_EQ(medium::BuildCommand((int)argv.size(), argv.data()), medium::kExitUsage);
        unsetenv(medium::kMappedLayoutAboveVariable);
    }
}

}  // namespace

namespace {

int RunRecord(std::vector<std::string> words)
{
    words.insert(words.begin(), "record");
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    return medium::RecordCommand((int)argv.size(), argv.data());
}

// `medium record`: the record of three whole files, as the CMake build puts
// it beside its one-piece payloads; wrong command lines and unreadable
// payloads write nothing.
TEST(MediumRecordCommand, WritesTheRecordOrNothing)
{
    char dir[] = "/tmp/medium-record-cmd-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string root = dir;
    const Bytes payloads[3] = {Bytes(5000, 'b'), Bytes{1, 2, 3}, Bytes()};
    const char *names[3] = {"boot.exe", "engine.exe", "data.bin"};
    for (int i = 0; i < 3; i++)
        ASSERT_TRUE(WriteFile(root + "/" + names[i], payloads[i]));
    const std::string out = root + "/record7099.bin";
    const std::vector<std::string> all = {"--bootstrap", root + "/boot.exe", "--engine", root + "/engine.exe",
                                          "--companion", root + "/data.bin", "-o", out};

    const struct {
        const char *what;
        std::function<void(std::vector<std::string> &)> change;
        int code;
    } refused[] = {
        {"no -o", [](std::vector<std::string> &w) { w.resize(6); }, medium::kExitUsage},
        {"no companion", [](std::vector<std::string> &w) { w.erase(w.begin() + 4, w.begin() + 6); }, medium::kExitUsage},
        {"unknown option", [](std::vector<std::string> &w) { w.push_back("--pieces"); }, medium::kExitUsage},
        {"option without a file", [](std::vector<std::string> &w) { w.push_back("--engine"); }, medium::kExitUsage},
        {"engine twice", [](std::vector<std::string> &w) { w.insert(w.end(), {"--engine", "x"}); }, medium::kExitUsage},
        {"missing payload", [&](std::vector<std::string> &w) { w[3] = root + "/none.exe"; }, medium::kExitInput},
        {"output folder missing", [&](std::vector<std::string> &w) { w[7] = root + "/no/such/record.bin"; },
         medium::kExitIo},
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> words = all;
        c.change(words);
        EXPECT_EQ(RunRecord(words), c.code);
        struct stat st;
        EXPECT_NE(stat(out.c_str(), &st), 0) << "nothing written";
    }

    ASSERT_EQ(RunRecord(all), medium::kExitOk);
    const Bytes record = ReadFile(out);
    ASSERT_EQ(record.size(), 56u);
    for (int i = 0; i < 3; i++) {
        PayloadRecordEntry e = {};
        ASSERT_EQ(PayloadRecordFind(record.data(), (uint32_t)record.size(), (uint32_t)(7100 + 100 * i), &e),
                  PAYLOAD_RECORD_FOUND);
        EXPECT_EQ(e.pieceCount, 1u);
        EXPECT_EQ(e.length, payloads[i].size());
        EXPECT_EQ(e.crc, Crc(payloads[i]));
    }
    EXPECT_EQ(RunRecord({"--help"}), medium::kExitOk);
    std::string cmd = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

}  // namespace

namespace {

int RunBuildWords(std::vector<std::string> words)
{
    words.insert(words.begin(), "build");
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    return medium::BuildCommand((int)argv.size(), argv.data());
}

// `medium build PROJECT`: the project names everything (paths beside it),
// flags win over its keys, the sign command runs without a shell and its
// file replaces setup.exe only when it worked, and the finished medium must
// pass inspect's checks before anything is put in place.
TEST_F(MediumBuildTest, ProjectFileSignAndGate)
{
    const std::string project = Path("project.toml");
    auto writeProject = [&](const std::string &extra) {
        const std::string text = "script = \"SETUP.INS\"\nout = \"medium\"\nstub = \"stub.exe\"\npiece-size = 4096\n"
                                 "[payloads]\nbootstrap = \"boot.exe\"\nengine = \"engine.exe\"\n"
                                 "companion = \"data.bin\"\n[library]\ndescription = \"texts/lib.txt\"\n" +
                                 extra;
        ASSERT_TRUE(WriteFile(project, Bytes(text.begin(), text.end())));
    };
    auto names = [&](const std::string &dir) {
        o_.outDir = Path(dir.c_str());
        return OutNames();
    };
    const std::vector<std::string> medium = {"SETUP.INS", "_SETUP.DLL", "setup.exe"};
    ASSERT_EQ(mkdir(Path("texts").c_str(), 0777), 0);
    const std::string library = "language English\n  7110 \"Example Setup\"\n";
    ASSERT_TRUE(WriteFile(Path("texts/lib.txt"), Bytes(library.begin(), library.end())));

    writeProject("");
    testing::internal::CaptureStdout();
    const int code = RunBuildWords({project});
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, medium::kExitOk) << out;
    EXPECT_EQ(out.rfind("project: " + project + "\nstub: " + Path("stub.exe") + " (--stub)\n", 0), 0u) << out;
    // The library's line comes once it is in place, just before the last.
    EXPECT_NE(out.find("\n" + Path("medium") + "/_SETUP.DLL: 1 language (English), 1 text each"), std::string::npos)
        << out;
    EXPECT_LT(out.find("/_SETUP.DLL: 1 language"), out.find("\nwrote ")) << out;
    EXPECT_GT(out.find("/_SETUP.DLL: 1 language"), out.find("\nchecked: ")) << out;
    EXPECT_EQ(names("medium"), medium) << "no staging folder left";
    const Bytes built = ReadFile(Path("medium/setup.exe"));

    // A flag wins over the project's key; the folder is made with its parents.
    ASSERT_EQ(RunBuildWords({project, "--out", Path("other/deeper")}), medium::kExitOk);
    EXPECT_EQ(names("other/deeper"), medium);

    // Signing: `cp` stands in for the signer.
    writeProject("[sign]\ncommand = \"cp {in} '{out}'\"\n");
    ASSERT_EQ(RunBuildWords({project}), medium::kExitOk);
    EXPECT_EQ(ReadFile(Path("medium/setup.exe")), built);
    // [sign] ca: the gate checks the signed file's chain against those roots.
    const SigningKit &kit = TestSigningKit();
    ASSERT_TRUE(kit.ready);
    auto signWithRoots = [&](const std::string &roots) {
        return "[sign]\ncommand = \"osslsigncode sign -h sha256 -certs {cert} -key {key} -in {in} -out {out}\"\n"
               "cert = \"" + kit.Path("signer.pem") + "\"\nkey = \"" + kit.Path("signer.key") + "\"\nca = \"" +
               kit.Path(roots) + "\"\n";
    };

    // Failures leave the medium of the last good build as it was.
    const struct {
        const char *what;
        std::string project;
        std::vector<std::string> flags;
        int code;
    } failing[] = {
        {"the signer fails", "[sign]\ncommand = \"false {in} {out}\"\n", {}, medium::kExitInput},
        {"the signer writes nothing", "[sign]\ncommand = \"true {in} {out}\"\n", {}, medium::kExitInput},
        {"no such signer", "[sign]\ncommand = \"no-such-signer-xyz {in} {out}\"\n", {}, medium::kExitInput},
        {"the signer damages setup.exe: inspect's gate",
         "[sign]\ncommand = [\"sh\", \"-c\", \"head -c 3000 \\\"$0\\\" > \\\"$1\\\"\", \"{in}\", \"{out}\"]\n", {},
         medium::kExitChecks},
        {"a version that is no number", "[version-info]\nFileVersion = \"beta 4.2\"\n", {}, medium::kExitInput},
        {"a flag's version that is no number", "", {"--version-info", "ProductVersion=4.2.0.70000"},
         medium::kExitInput},
        {"a text file as the bootstrap", "", {"--bootstrap", Path("SETUP.INS")}, medium::kExitInput},
        {"a DLL as the bootstrap", "", {"--bootstrap", Path("lib.dll")}, medium::kExitInput},
        {"a program as the library", "", {"--library", Path("stub.exe")}, medium::kExitInput},
        {"an unknown key", "[payloads]\nbootstarp = \"x\"\n", {}, medium::kExitInput},
        {"a signer the project's roots do not hold", signWithRoots("stranger.pem"), {}, medium::kExitChecks},
    };
    for (const auto &c : failing) {
        SCOPED_TRACE(c.what);
        writeProject(c.project);
        std::vector<std::string> words = {project};
        words.insert(words.end(), c.flags.begin(), c.flags.end());
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunBuildWords(words), c.code);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err, "");
        EXPECT_EQ(names("medium"), medium) << err;
        EXPECT_EQ(ReadFile(Path("medium/setup.exe")), built) << "the old setup.exe stays whole";
    }
    writeProject(signWithRoots("ca.pem"));
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunBuildWords({project}), medium::kExitOk);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("has no time stamp"), std::string::npos)
        << "the policy's warning, not an error";

    // A failed build into a new folder leaves no folder behind.
    writeProject("[sign]\ncommand = \"false {in} {out}\"\n");
    EXPECT_EQ(RunBuildWords({project, "--out", Path("fresh/medium")}), medium::kExitInput);
    struct stat st;
    EXPECT_NE(stat(Path("fresh").c_str(), &st), 0);
}

// [define]: a value written once reaches the version resource (a display
// version beside the number) and the library's caption; a name nobody
// defined stops the build at its place, before anything is written.
TEST_F(MediumBuildTest, DefinesReachTheVersionAndTheCaption)
{
    const std::string project = Path("project.toml");
    const std::string base = "script = \"SETUP.INS\"\nout = \"medium\"\nstub = \"stub.exe\"\n"
                             "[payloads]\nbootstrap = \"boot.exe\"\nengine = \"engine.exe\"\n"
                             "companion = \"data.bin\"\n[library]\ndescription = \"lib.txt\"\n"
                             "[define]\nproduct = \"Example\"\ndisplay = \"3.1 beta\"\n";
    auto put = [&](const std::string &path, const std::string &text) {
        ASSERT_TRUE(WriteFile(Path(path.c_str()), Bytes(text.begin(), text.end())));
    };
    put("project.toml", base + "[version-info]\nProductName = \"${product}\"\nProductVersion = \"${display}\"\n"
                               "FileVersion = \"3.1.0.7\"\n");
    put("lib.txt", "# ${not-expanded} in a comment\nlanguage English\n  7110 \"${product} $${x} Setup\"  # ${nor}\n");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = RunBuildWords({project});
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, medium::kExitOk) << out << err;

    medium::Inspection in;
    medium::InspectPath(Path("medium"), &in);
    FILE *f = tmpfile();
    medium::PrintReportJson(f, in.facts);
    const std::string json = ReadBackAndClose(f);
    for (const char *fact : {"\"fileVersion\":\"3.1.0.7\",\"productVersion\":\"3.1.0.0\"",
                             "\"key\":\"ProductVersion\",\"value\":\"3.1 beta\"",
                             "\"key\":\"ProductName\",\"value\":\"Example\"",
                             "caption \\\"Example ${x} Setup\\\""})
        EXPECT_NE(json.find(fact), std::string::npos) << fact << "\n" << json;
    const Bytes built = ReadFile(Path("medium/setup.exe"));

    // Each fault at its place; the medium of the last good build stays.
    const struct {
        const char *what;
        std::string project, library;
        const char *error;   // a line of stderr
    } failing[] = {
        {"an unknown name in version-info", base + "[version-info]\nProductName = \"${prodcut}\"\n", "",
         "project.toml:14:15: version-info.ProductName: ${prodcut} is not defined, did you mean 'product'?"},
        {"an unknown name in the description", base, "language English\n  7110 \"${prodcut} Setup\"\n",
         "lib.txt:2:9: ${prodcut} is not defined, did you mean 'product'?; define it in the project's [define] "
         "table, or write $${ for the characters ${"},
        {"an unclosed name in the description", base, "language English\n  7110 \"${product Setup\"\n",
         "lib.txt:2:9: '${' without '}'"},
    };
    for (const auto &c : failing) {
        SCOPED_TRACE(c.what);
        put("project.toml", c.project);
        if (!c.library.empty())
            put("lib.txt", c.library);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunBuildWords({project}), medium::kExitInput);
        testing::internal::GetCapturedStdout();
        const std::string why = testing::internal::GetCapturedStderr();
        EXPECT_NE(why.find(Path("") + c.error), std::string::npos) << why;
        EXPECT_EQ(ReadFile(Path("medium/setup.exe")), built);
    }

    // Without a [define] table the description is read as it was written.
    put("project.toml", base.substr(0, base.find("[define]")));
    put("lib.txt", "language English\n  7110 \"${product} Setup\"\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(RunBuildWords({project}), medium::kExitOk);
    testing::internal::GetCapturedStdout();
    medium::Inspection again;
    medium::InspectPath(Path("medium"), &again);
    f = tmpfile();
    medium::PrintReportJson(f, again.facts);
    EXPECT_NE(ReadBackAndClose(f).find("caption \\\"${product} Setup\\\""), std::string::npos);
}

// `medium new`'s starter names its product and versions once, in [define]:
// with the payloads put in it builds without a warning, and the values reach
// the version resource and the caption.
TEST_F(MediumBuildTest, StarterProjectBuildsWithoutWarnings)
{
    const std::string dir = Path("starter");
    std::vector<std::string> words = {"new", dir};
    std::vector<char *> argv = {&words[0][0], &words[1][0]};
    testing::internal::CaptureStdout();
    ASSERT_EQ(medium::NewCommand(2, argv.data()), medium::kExitOk);
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(WriteFile(dir + "/payloads/bootstrap.exe", ReadFile(Path("boot.exe"))));
    ASSERT_TRUE(WriteFile(dir + "/payloads/engine.exe", ReadFile(Path("engine.exe"))));
    ASSERT_TRUE(WriteFile(dir + "/payloads/companion.dat", ReadFile(Path("data.bin"))));
    ASSERT_TRUE(WriteFile(dir + "/SETUP.INS", ReadFile(Path("SETUP.INS"))));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = RunBuildWords({dir, "--stub", Path("stub.exe")});
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(code, medium::kExitOk) << out << err;
    EXPECT_EQ(err.find("warning"), std::string::npos) << err;

    medium::Inspection in;
    medium::InspectPath(dir + "/medium", &in);
    FILE *f = tmpfile();
    medium::PrintReportJson(f, in.facts);
    const std::string json = ReadBackAndClose(f);
    for (const char *fact : {"\"fileVersion\":\"1.0.0.0\",\"productVersion\":\"1.0.0.0\"",
                             "\"key\":\"ProductVersion\",\"value\":\"1.0\"",
                             "\"key\":\"ProductName\",\"value\":\"Your Product\"",
                             "\"key\":\"FileDescription\",\"value\":\"Your Product Setup\"",
                             "caption \\\"Your Product Setup\\\""})
        EXPECT_NE(json.find(fact), std::string::npos) << fact << "\n" << json;
}

// The bootstrap must run on every Windows that runs the launcher: beside
// the i386 launcher (which also runs on 32-bit Windows) only an i386 one,
// beside its x86-64 twin an x86-64 or i386 one. Any other is built with one
// warning naming its machine, which the build's summary counts.
TEST_F(MediumBuildTest, BootstrapMachineAgainstTheLaunchers)
{
    ASSERT_EQ(WriteExampleLibrary(Path("ex.dll")), 0);
    ASSERT_TRUE(WriteFile(Path("stub64.exe"), StubFixture("small64.exe")));
    Bytes arm64 = ReadFile(Fixture("small64.exe"));
    SetUi16(&arm64[GetUi32(&arm64[0x3C]) + 4], 0xAA64);
    ASSERT_TRUE(WriteFile(Path("arm64.exe"), arm64));
    const std::string i386 = Fixture("small.exe"), x64 = Fixture("small64.exe"), arm = Path("arm64.exe");
    const struct {
        const char *stub;
        std::string bootstrap;
        const char *warning;   // null: none
    } cases[] = {
        {"stub.exe", i386, nullptr},
        {"stub.exe", x64,
         "the bootstrap is a 64-bit program for x86-64 (machine 0x8664): the launcher also runs on 32-bit Windows, "
         "where it cannot start it; a 32-bit (i386) bootstrap runs everywhere"},
        {"stub.exe", arm, "the bootstrap is a 64-bit program for ARM64 (machine 0xAA64): the launcher also runs on "
                          "32-bit Windows"},
        {"stub64.exe", i386, nullptr},
        {"stub64.exe", x64, nullptr},
        {"stub64.exe", arm,
         "the bootstrap is a 64-bit program for ARM64 (machine 0xAA64): the launcher (x86-64) runs on Windows for "
         "x86-64, which cannot start it; build the bootstrap for x86-64 or i386"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.stub) + " with " + c.bootstrap);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = RunBuildWords({"--stub", Path(c.stub), "--bootstrap", c.bootstrap, "--engine",
                                        Path("engine.exe"), "--companion", Path("data.bin"), "--script",
                                        Path("SETUP.INS"), "--library", Path("ex.dll"), "--out", Path("out")});
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(code, medium::kExitOk) << err;
        // Every line on stderr is a warning (the version strings not set is
        // another), and the summary counts each.
        const long lines = std::count(err.begin(), err.end(), '\n');
        const std::string summary =
            "\nchecked: 0 errors, " + std::to_string(lines) + (lines == 1 ? " warning\n" : " warnings\n");
        EXPECT_NE(out.find(summary), std::string::npos) << out << err;
        if (!c.warning) {
            EXPECT_EQ(err.find("the bootstrap is"), std::string::npos) << err;
            continue;
        }
        const std::string line =
            Path("out") + "/setup.exe: warning: id 7100: payload 7100 (bootstrap, _INS0366._MP): " + c.warning;
        EXPECT_NE(err.find(line), std::string::npos) << err;
        EXPECT_EQ(err.find("the bootstrap is"), err.rfind("the bootstrap is")) << "printed once: " << err;
    }
}

// Inputs that cannot be read are reported together before anything is
// built: a value from the project file at its line and column there, a
// flag's value by its flag.
TEST_F(MediumBuildTest, EveryUnreadableInputAtItsPlace)
{
    const std::string project = Path("inputs.toml");
    auto text = [](const char *script, const char *bootstrap, const char *engine, const char *description) {
        return std::string("script = \"") + script + "\"\nout = \"inputs-out\"\nstub = \"stub.exe\"\n" +
               "piece-size = 4096\n[payloads]\nbootstrap = \"" + bootstrap + "\"\nengine = \"" + engine +
               "\"\ncompanion = \"data.bin\"\n[library]\ndescription = \"" + description + "\"\n";
    };
    const struct {
        const char *what;
        std::string project;
        std::vector<std::string> flags;
        std::vector<std::string> lines;   // each on stderr
    } cases[] = {
        {"two missing inputs, each at its line",
         text("NOPE.INS", "boot.exe", "missing-engine.exe", "lib.txt"),
         {},
         {project + ":1:10: error: script: cannot read the script " + Path("NOPE.INS") +
              " (No such file or directory); check the path (relative to the project file)",
          project + ":7:10: error: payloads.engine: cannot read the engine payload " + Path("missing-engine.exe") +
              " (No such file or directory)",
          "medium build: 2 inputs cannot be read; nothing built"}},
        {"a folder as the bootstrap, a missing description",
         text("SETUP.INS", "texts", "engine.exe", "none.txt"),
         {},
         {project + ":6:13: error: payloads.bootstrap: cannot read the bootstrap " + Path("texts") +
              " (it is a folder)",
          project + ":10:15: error: library.description: cannot read the library description " + Path("none.txt"),
          "medium build: 2 inputs cannot be read"}},
        {"a flag's value by its flag, beside a project's",
         text("NOPE.INS", "boot.exe", "engine.exe", "lib.txt"),
         {"--engine", Path("gone.exe")},
         {Path("gone.exe") + ": error: cannot read the engine payload (No such file or directory); check --engine",
          project + ":1:10: error: script: cannot read the script"}},
        {"the gate's missing roots beside a missing script, found before anything is built",
         text("NOPE.INS", "boot.exe", "engine.exe", "lib.txt") + "[sign]\ncommand = \"cp {in} {out}\"\nca = \"roots.pem\"\n",
         {},
         {project + ":1:10: error: script: cannot read the script",
          project + ":13:6: error: sign.ca: cannot read the trusted roots (PEM) " + Path("roots.pem") +
              " (No such file or directory)",
          "medium build: 2 inputs cannot be read; nothing built"}},
    };
    ASSERT_EQ(mkdir(Path("texts").c_str(), 0777), 0);
    const std::string library = "language English\n  7110 \"Example Setup\"\n";
    ASSERT_TRUE(WriteFile(Path("lib.txt"), Bytes(library.begin(), library.end())));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFile(project, Bytes(c.project.begin(), c.project.end())));
        std::vector<std::string> words = {project};
        words.insert(words.end(), c.flags.begin(), c.flags.end());
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunBuildWords(words), medium::kExitInput);
        const std::string err = testing::internal::GetCapturedStderr();
        for (const std::string &line : c.lines)
            EXPECT_NE(err.find(line), std::string::npos) << line << "\n--- in:\n" << err;
        struct stat st;
        EXPECT_NE(stat(Path("inputs-out").c_str(), &st), 0) << "nothing made";
    }
    // A folder given as the project stands for its project.toml.
    const std::string good = text("SETUP.INS", "boot.exe", "engine.exe", "lib.txt");
    ASSERT_TRUE(WriteFile(Path("project.toml"), Bytes(good.begin(), good.end())));
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int code = RunBuildWords({root_ + "/"});
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, medium::kExitOk) << err;
    o_.outDir = Path("inputs-out");
    EXPECT_EQ(OutNames(), (std::vector<std::string>{"SETUP.INS", "_SETUP.DLL", "setup.exe"}));
}

// --strict (or strict = true in the project) makes every warning an error:
// the build stops at the step that found it and nothing is put in place;
// without it the same warnings are printed, counted, and the build goes on.
TEST_F(MediumBuildTest, StrictMakesEveryWarningAnError)
{
    ASSERT_EQ(WriteExampleLibrary(Path("ex.dll")), 0);
    const std::string project = Path("strict.toml");
    const std::string allKeys = "CompanyName = \"C\"\nFileDescription = \"D\"\nFileVersion = \"1.0\"\n"
                                "LegalCopyright = \"L\"\nProductName = \"P\"\nProductVersion = \"1.0\"\n";
    const struct {
        const char *what;
        std::string top;            // top-level keys
        std::string versionInfo;    // [version-info] keys
        std::vector<std::string> flags;
        int code;
        const char *message;        // on stderr
    } cases[] = {
        {"a clean build passes strict", "strict = true\n", allKeys, {}, medium::kExitOk, nullptr},
        {"a misspelled key warns", "", allKeys + "Productname = \"P\"\n", {}, medium::kExitOk,
         "medium: warning: version key 'Productname' is not one Windows shows; did you mean 'ProductName'?"},
        {"a misspelled key fails --strict", "", allKeys + "Productname = \"P\"\n", {"--strict"}, medium::kExitInput,
         "medium: error: version key 'Productname' is not one Windows shows; did you mean 'ProductName'?"},
        {"a misspelled key fails strict = true", "strict = true\n", allKeys + "Productname = \"P\"\n", {},
         medium::kExitInput, "1 warning, errors with --strict; nothing built"},
        {"keys not set fail --strict", "", "", {"--strict"}, medium::kExitInput,
         "medium: error: version information: CompanyName, FileDescription, FileVersion, LegalCopyright, "
         "ProductName, ProductVersion not set"},
        {"the gate's warning fails --strict (a 64-bit bootstrap)", "", allKeys,
         {"--strict", "--bootstrap", Fixture("small64.exe")}, medium::kExitChecks,
         "setup.exe: error: id 7100: payload 7100 (bootstrap, _INS0366._MP): the bootstrap is a 64-bit program"},
        {"strict must be a boolean", "strict = \"yes\"\n", allKeys, {}, medium::kExitInput,
         "strict.toml:1:10: strict must be true or false, without quotes"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = c.top +
                                 "script = \"SETUP.INS\"\nout = \"strict-out\"\nstub = \"stub.exe\"\n"
                                 "[payloads]\nbootstrap = \"boot.exe\"\nengine = \"engine.exe\"\n"
                                 "companion = \"data.bin\"\n[library]\nfile = \"ex.dll\"\n[version-info]\n" +
                                 c.versionInfo;
        ASSERT_TRUE(WriteFile(project, Bytes(text.begin(), text.end())));
        std::vector<std::string> words = {project};
        words.insert(words.end(), c.flags.begin(), c.flags.end());
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int code = RunBuildWords(words);
        const std::string out = testing::internal::GetCapturedStdout();
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.code) << err;
        if (c.message)
            EXPECT_NE(err.find(c.message), std::string::npos) << err;
        o_.outDir = Path("strict-out");
        if (code == medium::kExitOk) {
            const long lines = std::count(err.begin(), err.end(), '\n');
            EXPECT_NE(out.find("checked: 0 errors, " + std::to_string(lines) + (lines == 1 ? " warning\n" : " warnings\n")),
                      std::string::npos)
                << "every warning printed is counted: " << out << err;
        } else {
            EXPECT_TRUE(OutNames().empty()) << "nothing put in place";
        }
        std::string cmd = "rm -rf '" + Path("strict-out") + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
}

}  // namespace

namespace {

// `medium new`: a starter project whose project file and library description
// the tools read without an error; never into a folder that holds anything.
TEST(MediumNew, WritesAStarterProjectIntoAnEmptyFolderOnly)
{
    char tmpl[] = "/tmp/medium-new-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = std::string(tmpl) + "/starter";
    std::vector<std::string> words = {"new", dir};
    std::vector<char *> argv = {&words[0][0], &words[1][0]};
    testing::internal::CaptureStdout();
    const int code = medium::NewCommand(2, argv.data());
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, medium::kExitOk);

    const Bytes project = ReadFile(dir + "/project.toml");
    tk::Project p;
    std::vector<std::string> errors;
    ASSERT_TRUE(tk::ParseProject(std::string(project.begin(), project.end()), dir + "/project.toml", &p, &errors))
        << errors[0];
    EXPECT_EQ(p.libraryDescription, dir + "/library.txt");
    EXPECT_EQ(p.payload[0], dir + "/payloads/bootstrap.exe");
    const Bytes library = ReadFile(dir + "/library.txt");
    medium::LibDescription desc;
    ASSERT_TRUE(medium::ParseLibraryDescription("library.txt", std::string(library.begin(), library.end()), &desc,
                                                &errors))
        << errors[0];
    EXPECT_EQ(desc.languages.size(), 1u);
    EXPECT_EQ(ReadFile(dir + "/bootstrap/template.c"),
              ReadFile(std::string(CORVANE_SOURCE_DIR) + "/docs/examples/bootstrap/template.c"));

    // Again into the same folder: refused, the files untouched.
    ASSERT_TRUE(WriteFile(dir + "/project.toml", Bytes{'m', 'i', 'n', 'e'}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(medium::NewCommand(2, argv.data()), medium::kExitInput) << "a wrong folder is bad input, not I/O";
    EXPECT_NE(testing::internal::GetCapturedStderr().find("the folder is not empty"), std::string::npos);
    EXPECT_EQ(ReadFile(dir + "/project.toml"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(system(("rm -rf '" + std::string(tmpl) + "'").c_str()), 0);
}

}  // namespace
