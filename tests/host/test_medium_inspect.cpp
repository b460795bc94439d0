// medium inspect and medium extract on the host: the documented example
// library and a medium made by medium build are clean; a table of broken
// media each gives its exact finding and exit status; extract writes the
// payloads whole or nothing; langtable check reads a library.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <functional>
#include <algorithm>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "tools/langtable/ltcli.h"
#include "tools/lib/ltdesc.h"
#include "tools/medium/build.h"
#include "tools/medium/extract.h"
#include "tools/medium/inspect.h"
#include "tools/medium/library_cli.h"
#include "tools/lib/fileio.h"
#include "tools/lib/pe_image.h"
#include "tools/medium/resedit.h"
#include "tests/host/host_files.h"
#include "tests/host/inspection_text.h"
#include "tests/host/stub_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using medium::ResList;
using medium::Severity;

std::string Source(const char *rel)
{
    return std::string(CORVANE_SOURCE_DIR) + "/" + rel;
}

ResList Resources(const Bytes &image)
{
    ResList res;
    std::string err;
    EXPECT_TRUE(medium::ReadResources(image.data(), image.size(), &res, &err)) << err;
    return res;
}

Bytes Dll(const ResList &res)
{
    Bytes out;
    std::string err;
    EXPECT_TRUE(medium::WriteResourceDll(res, &out, &err)) << err;
    return out;
}

// One folder per test: the example library, the bitmap library of the
// medium-library fixtures, and a medium built from a stub-like image.
class InspectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/medium-inspect-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        FILE *quiet = tmpfile();
        ASSERT_EQ(medium::RunLibraryCommand({Source("docs/examples/library/library.txt"), "-o", Path("ex.dll")},
                                            quiet, quiet), 0);
        ASSERT_EQ(medium::RunLibraryCommand({Source("tests/fixtures/medium-library/bitmap.txt"), "-o",
                                             Path("bmp.dll")}, quiet, quiet), 0);
        fclose(quiet);
        library_ = ReadFile(Path("ex.dll"));

        const Bytes stub = StubFixture();
        ASSERT_FALSE(stub.empty());
        ASSERT_TRUE(WriteFile(Path("stub.exe"), stub));
        const Bytes exe = ReadFile(Source("tests/fixtures/medium/small.exe"));
        ASSERT_FALSE(exe.empty());
        const char *names[3] = {"boot.exe", "engine.exe", "data.bin"};
        for (int i = 0; i < 3; i++) {
            payloads_[i].resize(i == 0 ? 10000 : 300 + i);
            for (size_t k = 0; k < payloads_[i].size(); k++)
                payloads_[i][k] = (uint8_t)(k * 13 + k / 97 + i);
            if (i == 0)   // the bootstrap must be a Windows program: a small one, the pattern after it
                std::copy(exe.begin(), exe.end(), payloads_[i].begin());
            ASSERT_TRUE(WriteFile(Path(names[i]), payloads_[i]));
            o_.payload[i] = Path(names[i]);
        }
        ASSERT_TRUE(WriteFile(Path("SETUP.INS"), Bytes{'s'}));
        o_.script = Path("SETUP.INS");
        o_.library = Path("ex.dll");
        o_.stub = Path("stub.exe");
        o_.outDir = Path("medium");
        o_.pieceSize = 4096;
        medium::BuildReport report;
        medium::Failure failure;
        ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
        setup_ = ReadFile(Path("medium/setup.exe"));
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string Path(const std::string &name) const { return root_ + "/" + name; }

    std::string root_;
    Bytes library_;
    Bytes setup_;
    Bytes payloads_[3];
    medium::BuildOptions o_;
};

TEST_F(InspectTest, TheExampleMediumIsClean)
{
    medium::Inspection in;
    medium::InspectPath(Path("medium"), &in);
    EXPECT_EQ(in.kind, "medium");
    EXPECT_EQ(FindingsText(in.findings), "");
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectClean);

    // The payloads as built, and what each language sees first.
    medium::Inspection exe;
    medium::InspectLauncherImage(setup_, "setup.exe", &exe, nullptr);
    ASSERT_EQ(FindingsText(exe.findings), "");
    for (int i = 0; i < 3; i++) {
        medium::PayloadCheck check;
        Bytes joined;
        medium::CheckPayload(Resources(setup_), i, [&](const uint8_t *d, uint32_t n) {
            joined.insert(joined.end(), d, d + n);
            return true;
        }, &check);
        EXPECT_TRUE(check.whole && check.matches) << i;
        EXPECT_EQ(check.record, PAYLOAD_RECORD_FOUND);
        EXPECT_EQ(check.pieces, (long)((payloads_[i].size() + 4095) / 4096));
        EXPECT_EQ(joined, payloads_[i]);
    }
    medium::Inspection lib;
    medium::LibraryView view;
    medium::InspectLibraryImage(library_, "ex.dll", &lib, &view);
    ASSERT_EQ(view.languages.size(), 2u);
    EXPECT_EQ(view.languages[0].caption, "Example Setup");
    EXPECT_EQ(view.languages[1].caption, "Instalaci\xC3\xB3n de Example");
    EXPECT_EQ(view.languages[0].splash.rfind("text splash from logo script 1520", 0), 0u) << view.languages[0].splash;
}

// The launcher's machine in both reports, and the bootstrap's beside it: a
// 64-bit bootstrap in the i386 launcher's medium is the one warning, the
// same finding the build's gate gives.
TEST_F(InspectTest, NamesTheMachinesAndABootstrapTheLauncherCannotStart)
{
    o_.payload[0] = Source("tests/fixtures/medium/small64.exe");
    o_.outDir = Path("boot64");
    medium::BuildReport report;
    medium::Failure failure;
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    medium::Inspection in;
    medium::InspectPath(Path("boot64"), &in);
    ASSERT_EQ(in.findings.size(), 1u) << FindingsText(in.findings);
    const medium::Finding &f = in.findings[0];
    EXPECT_EQ(f.severity, Severity::Warning);
    EXPECT_EQ(f.file, Path("boot64/setup.exe"));
    EXPECT_EQ(f.id, 7100);
    EXPECT_EQ(f.text.rfind("payload 7100 (bootstrap, _INS0366._MP): the bootstrap is a 64-bit program for x86-64 "
                           "(machine 0x8664): the launcher also runs on 32-bit Windows",
                           0),
              0u)
        << f.text;
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectWarnings);

    FILE *text = tmpfile();
    medium::PrintInspection(text, in);
    const std::string printed = ReadBackAndClose(text);
    EXPECT_NE(printed.find("  launcherReport:\n    machine: i386\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("role bootstrap, file _INS0366._MP, "), std::string::npos) << printed;
    EXPECT_NE(printed.find(", machine x86-64, signed no\n"), std::string::npos) << printed;
    FILE *json = tmpfile();
    medium::PrintInspectionJson(json, in);
    const std::string object = ReadBackAndClose(json);
    EXPECT_NE(object.find("\"launcherReport\":{\"machine\":\"i386\""), std::string::npos) << object;
    EXPECT_NE(object.find("\"record\":\"matches\",\"machine\":\"x86-64\",\"signed\":\"no\"}"), std::string::npos)
        << object;
}

// A broken medium: what to change, and the one finding it must give.
struct BrokenCase {
    const char *name;
    bool launcher;                              // else the library
    std::function<void(ResList *, Bytes *)> breakIt;   // on the resources, or on the written image
    Severity severity;
    const char *language;
    int id;
    const char *text;                           // a part of the finding
};

void SetText(ResList *res, uint16_t id, const std::u16string &text)
{
    std::string err;
    ASSERT_TRUE(medium::SetString(res, id, tk::ResFind(res, 6, id / 16 + 1)->lang, text, &err)) << err;
}

TEST_F(InspectTest, BrokenMediaGiveTheirFinding)
{
    const std::u16string tooLong(300, u'x');
    const BrokenCase cases[] = {
        {"a string missing in one language", false,
         [](ResList *res, Bytes *) { SetText(res, 2062, u""); }, Severity::Error, "Espa\xC3\xB1ol", 7062,
         "the table sends the message to library string 2062, which is missing or empty: the user sees an empty box"},
        {"a %s too many", false, [](ResList *res, Bytes *) { SetText(res, 1061, u"Not found: %s or %s"); },
         Severity::Error, "English", 7061, "the text holds 2 %s; the launcher fills the first only"},
        {"a %s missing", false, [](ResList *res, Bytes *) { SetText(res, 2067, u"Falta una comilla."); },
         Severity::Error, "Espa\xC3\xB1ol", 7067, "the text holds no %s: the user never sees the argument"},
        {"a '%' in a plain text", false, [](ResList *res, Bytes *) { SetText(res, 1063, u"Need 100% more"); },
         Severity::Error, "English", 7063, "a '%' that is not %s"},
        {"a text too long for the launcher", false, [&](ResList *res, Bytes *) { SetText(res, 1062, tooLong); },
         Severity::Error, "English", 7062, "300 bytes in code page 1252 (a \\n counts one); the launcher keeps 243"},
        {"a caption too long", false,
         [](ResList *res, Bytes *) { SetText(res, 2110, std::u16string(80, u'\u00e9')); }, Severity::Error,
         "Espa\xC3\xB1ol", 7110, "80 bytes in code page 1252 (a \\n counts one); the launcher keeps 79"},
        {"a splash name without its entry", false,
         [](ResList *res, Bytes *) {
             // Splash type 4 (bitmap): SPLASH names LOGO, whose entry is of kind 5.
             SetUi16(tk::ResFind(res, 1001, 100)->data.data() + 8, 4);
         },
         Severity::Warning, "English", 0, "the SPLASH entry names \"LOGO\" but the table has no entry \"LOGO\" of kind 4"},
        {"a logo script that is missing", false,
         [](ResList *res, Bytes *) { tk::ResFind(res, 1001, 2520)->name.id = 2521; }, Severity::Error,
         "Espa\xC3\xB1ol", 2520, "names logo script 2520 (type 1001), which the library does not hold"},
        {"a library with an entry point", false,
         [](ResList *, Bytes *image) { if (!image->empty()) SetUi32(image->data() + GetUi32(image->data() + 0x3C) + 24 + 16, 0x1000); },
         Severity::Error, "", 0, "the library has an entry point: its code would run if it were loaded as a program"},
        {"a library that supplies a piece count", false,
         [](ResList *res, Bytes *) {
             std::string err;
             medium::SetString(res, 7100, 0x409, u"9", &err);
         },
         Severity::Warning, "", 0, ""},   // probing ids are not read in an indexed library: no error
        {"a damaged payload piece", true,
         [](ResList *res, Bytes *) {
             Bytes &piece = tk::ResFind(res, 3000, 7101)->data;
             for (size_t i = 20; i < piece.size(); i += 7)
                 piece[i] ^= 0x5A;
         },
         Severity::Error, "", 7100, "payload 7100 (bootstrap, _INS0366._MP): "},
        {"a missing payload piece", true, [](ResList *res, Bytes *) { tk::ResFind(res, 3000, 7102)->name.id = 7150; },
         Severity::Error, "", 7100, "piece 7102 of 3 is missing"},
        {"a record that disagrees", true,
         [](ResList *res, Bytes *) { tk::ResFind(res, 3000, 7099)->data[8 + 16 * 2 + 12] ^= 1; },
         Severity::Error, "", 7300, "the check record says"},
    };
    for (const BrokenCase &c : cases) {
        SCOPED_TRACE(c.name);
        ResList res = Resources(c.launcher ? setup_ : library_);
        Bytes unused;
        c.breakIt(&res, &unused);
        medium::Inspection in;
        if (c.launcher) {
            Bytes exe;
            std::vector<std::string> warnings;
            std::string err;
            ASSERT_TRUE(medium::ReplaceResources(setup_.data(), setup_.size(), res, &exe, &warnings, &err)) << err;
            medium::InspectLauncherImage(exe, "setup.exe", &in, nullptr);
        } else {
            Bytes dll = Dll(res);
            ResList fresh = Resources(library_);
            c.breakIt(&fresh, &dll);   // the image cases change the written file
            medium::LibraryView view;
            medium::InspectLibraryImage(dll, "_SETUP.DLL", &in, &view);
        }
        if (!*c.text) {
            EXPECT_EQ(FindingsText(in.findings), "");
            continue;
        }
        ASSERT_FALSE(in.findings.empty());
        bool found = false;
        for (const medium::Finding &f : in.findings) {
            found = found || (f.severity == c.severity && f.language == c.language && f.id == c.id &&
                              f.text.find(c.text) != std::string::npos);
        }
        EXPECT_TRUE(found) << FindingsText(in.findings);
        EXPECT_EQ(medium::InspectStatus(in.findings),
                  c.severity == Severity::Error ? medium::kInspectErrors : medium::kInspectWarnings)
            << FindingsText(in.findings);
    }
}

TEST_F(InspectTest, ABitmapWhoseHeaderLiesIsAnError)
{
    ResList res = Resources(ReadFile(Path("bmp.dll")));
    medium::Inspection clean;
    medium::LibraryView view;
    medium::InspectLibraryImage(Dll(res), "bmp.dll", &clean, &view);
    // Messages it leaves to the launcher are notes, not problems.
    ASSERT_EQ(medium::InspectStatus(clean.findings), medium::kInspectClean) << FindingsText(clean.findings);
    EXPECT_EQ(view.languages[0].splash, "bitmap 1510 (64 x 32)");
    EXPECT_EQ(view.languages[1].splash, "none (no dialog 7500 in the library, and the launcher has none)");

    SetUi32(tk::ResFind(&res, 2, 1510)->data.data() + 8, 320);   // 320 rows promised, 32 there
    medium::Inspection in;
    medium::InspectLibraryImage(Dll(res), "bmp.dll", &in, &view);
    std::vector<medium::Finding> problems;
    for (const medium::Finding &f : in.findings) {
        if (f.severity != Severity::Note)
            problems.push_back(f);
    }
    ASSERT_EQ(problems.size(), 1u) << FindingsText(in.findings);
    EXPECT_EQ(medium::FindingLine(problems[0]),
              "bmp.dll: error: language \"English\", id 1510: bitmap 1510 does not decode: its header promises more "
              "than the resource holds, or a format the platform does not draw; the launcher shows no splash: make "
              "the bitmap again (medium library checks the file)");
}

int RunCommand(const std::function<int(int, char **)> &command, std::vector<std::string> args)
{
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(&a[0]);
    fflush(stdout);
    return command((int)argv.size(), argv.data());
}

TEST_F(InspectTest, ExtractWritesThePayloadsWholeOrNothing)
{
    ASSERT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("medium/setup.exe"), Path("out")}), medium::kExitOk);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(ReadFile(Path("out/") + medium::kPayloads[i].file), payloads_[i]) << i;

    // A damaged piece of the engine: an error and no file at all.
    ResList res = Resources(setup_);
    Bytes &piece = tk::ResFind(&res, 3000, 7200)->data;
    piece[piece.size() / 2] ^= 0xFF;
    piece.resize(piece.size() - 3);
    Bytes exe;
    std::vector<std::string> warnings;
    std::string err;
    ASSERT_TRUE(medium::ReplaceResources(setup_.data(), setup_.size(), res, &exe, &warnings, &err)) << err;
    ASSERT_TRUE(WriteFile(Path("damaged.exe"), exe));
    ASSERT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("damaged.exe"), Path("none")}), medium::kExitInput);
    std::string cmd = "test -z \"$(ls -A '" + Path("none") + "')\"";
    EXPECT_EQ(system(cmd.c_str()), 0) << "nothing is left behind";

    // inspect finds the same payload.
    medium::Inspection in;
    medium::InspectLauncherImage(exe, "damaged.exe", &in, nullptr);
    ASSERT_EQ(in.findings.size(), 1u) << FindingsText(in.findings);
    EXPECT_EQ(in.findings[0].id, 7200);
    EXPECT_NE(in.findings[0].text.find("piece 7200 is damaged"), std::string::npos) << in.findings[0].text;

    EXPECT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("medium/setup.exe")}), medium::kExitUsage);
    EXPECT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("ex.dll"), Path("x")}), medium::kExitInput);
}

// A medium far larger than any one read: the build's check, inspect (file
// and folder) and extract read its pieces one at a time and the rest in
// bounded blocks, never the whole file.
TEST_F(InspectTest, LargeMediaAreReadInBoundedPieces)
{
    // Bytes that do not pack (xorshift), so the medium is as large as they.
    Bytes engine(3u << 20);
    uint32_t x = 2463534242u;
    for (uint8_t &b : engine) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = (uint8_t)x;
    }
    ASSERT_TRUE(WriteFile(Path("big.bin"), engine));
    medium::BuildOptions o = o_;
    o.payload[1] = Path("big.bin");
    o.pieceSize = 64u << 10;
    o.outDir = Path("big");
    const uint64_t bound = 256u << 10;   // a piece and a few blocks

    tk::ResetLargestFileRead();
    medium::BuildReport report;
    medium::Failure failure;
    ASSERT_TRUE(medium::Build(o, &report, &failure)) << failure.message;
    const Bytes setup = ReadFile(Path("big/setup.exe"));
    ASSERT_GT(setup.size(), engine.size());
    EXPECT_LE(tk::LargestFileRead(), bound) << "medium build";

    for (const char *path : {"big", "big/setup.exe"}) {
        tk::ResetLargestFileRead();
        medium::Inspection in;
        medium::InspectPath(Path(path), &in);
        EXPECT_EQ(FindingsText(in.findings), "") << path;
        EXPECT_LE(tk::LargestFileRead(), bound) << "inspect " << path;
    }

    tk::ResetLargestFileRead();
    ASSERT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("big/setup.exe"), Path("bigout")}),
              medium::kExitOk);
    EXPECT_LE(tk::LargestFileRead(), bound) << "extract";
    EXPECT_EQ(ReadFile(Path("bigout/") + medium::kPayloads[1].file), engine);
}

// Pieces are checked on every core when nothing receives the bytes; the
// findings, counts and CRC are those of one expansion in order: the first
// damaged piece is named even when a later one is damaged too.
TEST_F(InspectTest, PiecesCheckedTogetherGiveTheFindingsOfOneExpansion)
{
    const auto damage = [](ResList *res, uint16_t id, bool cut) {
        Bytes &piece = tk::ResFind(res, 3000, id)->data;
        if (cut)
            piece.resize(piece.size() - 3);
        else
            piece[15] ^= 0x01;   // the first literal after the SZDD header
    };
    struct Case {
        const char *name;
        std::function<void(ResList *)> breakIt;
        const char *finding;   // of the bootstrap; "" for none
    } cases[] = {
        {"whole", [](ResList *) {}, ""},
        {"second and third cut short", [&](ResList *r) { damage(r, 7101, true); damage(r, 7102, true); },
         "piece 7101 is damaged"},
        {"third cut short", [&](ResList *r) { damage(r, 7102, true); }, "piece 7102 is damaged"},
        {"a flipped byte in the first", [&](ResList *r) { damage(r, 7100, false); }, "CRC-32"},
    };
    for (const Case &c : cases) {
        ResList res = Resources(setup_);
        c.breakIt(&res);
        medium::PayloadCheck together, inOrder;
        medium::CheckPayload(res, 0, medium::PayloadSink(), &together);
        medium::CheckPayload(res, 0, [](const uint8_t *, uint32_t) { return true; }, &inOrder);
        EXPECT_EQ(together.errors, inOrder.errors) << c.name;
        EXPECT_EQ(together.piecesFound, inOrder.piecesFound) << c.name;
        EXPECT_EQ(together.stored, inOrder.stored) << c.name;
        EXPECT_EQ(together.packed, inOrder.packed) << c.name;
        EXPECT_EQ(together.length, inOrder.length) << c.name;
        EXPECT_EQ(together.crc, inOrder.crc) << c.name;
        EXPECT_EQ(together.whole, inOrder.whole) << c.name;
        if (*c.finding == '\0') {
            EXPECT_TRUE(together.errors.empty() && together.matches) << c.name;
            EXPECT_EQ(together.pieces, 3) << c.name;
        } else {
            ASSERT_EQ(together.errors.size(), 1u) << c.name;
            EXPECT_NE(together.errors[0].find(c.finding), std::string::npos) << c.name << ": " << together.errors[0];
        }
    }
}

// Piece resources whose entries point past the end of the file: the tree
// is refused before any piece is read, by inspect and by extract.
TEST_F(InspectTest, APiecePastTheEndOfTheFileIsRefused)
{
    // Cut the file in the middle of the piece placed last in it.
    tk::MemoryBytes m{setup_.data(), setup_.size()};
    const tk::ByteSource src = tk::MemorySource(&m);
    tk::PeImage pe;
    ResList res;
    tk::ResInFile pieces;
    pieces.type = 3000;
    pieces.file = "setup.exe";
    std::string err;
    ASSERT_TRUE(tk::ParsePeImage(src, setup_.size(), &pe, &err) && tk::ReadResources(src, pe, &pieces, &res, &err))
        << err;
    uint64_t last = 0;
    for (const tk::ResEntry &e : res)
        if (!e.dataFile.empty() && e.dataFileSize > 16)
            last = std::max<uint64_t>(last, e.dataFileOffset + e.dataFileSize / 2);
    ASSERT_GT(last, 0u);
    Bytes cut(setup_.begin(), setup_.begin() + (long)last);
    ASSERT_TRUE(WriteFile(Path("cut.exe"), cut));
    medium::Inspection in;
    medium::InspectPath(Path("cut.exe"), &in);
    ASSERT_EQ(in.findings.size(), 1u) << FindingsText(in.findings);
    EXPECT_EQ(in.findings[0].severity, Severity::Error);
    EXPECT_NE(in.findings[0].text.find("runs past its section or the file"), std::string::npos)
        << in.findings[0].text;
    EXPECT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("cut.exe"), Path("cutout")}), medium::kExitInput);
}

TEST_F(InspectTest, CommandExitStatus)
{
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", Path("medium")}), medium::kInspectClean);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", "--json", Path("medium/_SETUP.DLL")}), medium::kInspectClean);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", Path("missing")}), medium::kInspectErrors);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect"}), medium::kInspectUsage);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", "--bogus", Path("medium")}), medium::kInspectUsage);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", Path("medium"), "--tsa-ca"}), medium::kInspectUsage);
    EXPECT_EQ(RunCommand(medium::InspectCommand, {"inspect", "--tsa-ca", "", Path("medium")}), medium::kInspectUsage);
    // No script: the launcher's box 7061, and the seal that names it.
    ASSERT_EQ(unlink(Path("medium/SETUP.INS").c_str()), 0);
    medium::Inspection in;
    medium::InspectPath(Path("medium"), &in);
    ASSERT_EQ(in.findings.size(), 2u) << FindingsText(in.findings);
    EXPECT_EQ(in.findings[0].id, 7061);
    EXPECT_EQ(in.findings[1].code, "seal");
    EXPECT_EQ(in.findings[1].file, Path("medium/SETUP.INS"));
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectErrors);
}

std::string Printed(const medium::ReportNode &n, bool json)
{
    FILE *out = tmpfile();
    if (json)
        medium::PrintReportJson(out, n);
    else
        medium::PrintReportNode(out, n, 0);
    return ReadBackAndClose(out);
}

// Per piece, raw (stored as it is) or coded, in both outputs.
TEST_F(InspectTest, SaysWhichPiecesAreRaw)
{
    Bytes mixed(4096 + 900);
    for (size_t k = 0; k < 4096; k++)
        mixed[k] = (uint8_t)"setup copies files "[k % 19];
    uint32_t x = 5;
    for (size_t k = 4096; k < mixed.size(); k++) {
        x = x * 1103515245u + 12345u;
        mixed[k] = (uint8_t)(x >> 24);
    }
    ASSERT_TRUE(WriteFile(Path("data.bin"), mixed));
    o_.outDir = Path("mixed");
    medium::BuildReport report;
    medium::Failure failure;
    ASSERT_TRUE(medium::Build(o_, &report, &failure)) << failure.message;
    medium::Inspection in;
    medium::InspectLauncherImage(ReadFile(Path("mixed/setup.exe")), "setup.exe", &in, nullptr);
    ASSERT_EQ(FindingsText(in.findings), "");
    const std::string json = Printed(in.facts, true);
    EXPECT_NE(json.find("\"storage\":\"coded raw\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"rawPieces\":1,"), std::string::npos) << json;
    EXPECT_NE(Printed(in.facts, false).find("storage coded raw"), std::string::npos);
    // Extract joins them into the payload.
    ASSERT_EQ(RunCommand(medium::ExtractCommand, {"extract", Path("mixed/setup.exe"), Path("out")}), medium::kExitOk);
    EXPECT_EQ(ReadFile(Path("out/") + medium::kPayloads[2].file), mixed);
}

std::string RunLangtable(std::vector<std::string> args, int *code)
{
    FILE *out = tmpfile();
    std::vector<char *> argv;
    std::string self = "langtable";
    argv.push_back(&self[0]);
    for (std::string &a : args)
        argv.push_back(&a[0]);
    *code = lt::ToolMain((int)argv.size(), argv.data(), out, out);
    return ReadBackAndClose(out);
}

TEST_F(InspectTest, LangtableCheckReadsALibrary)
{
    int code = -1;
    std::string out = RunLangtable({"check", Path("ex.dll"), "--lcid", "3082"}, &code);
    EXPECT_EQ(code, lt::kExitOk) << out;
    EXPECT_NE(out.find("locale 3082  Espa"), std::string::npos) << out;

    // dump takes the library as check does: the table inside it.
    out = RunLangtable({"dump", Path("ex.dll")}, &code);
    EXPECT_EQ(code, lt::kExitOk) << out;
    EXPECT_NE(out.find("lcid \"3082"), std::string::npos) << out;
    out = RunLangtable({"dump", Source("tests/fixtures/medium/small.exe")}, &code);
    EXPECT_EQ(code, lt::kExitInvalid) << out;

    ResList res = Resources(library_);
    SetText(&res, 2062, u"");
    ASSERT_TRUE(WriteFile(Path("broken.dll"), Dll(res)));
    out = RunLangtable({"check", Path("broken.dll")}, &code);
    EXPECT_EQ(code, lt::kExitInvalid) << out;
    EXPECT_NE(out.find("id 7062: the table sends the message to library string 2062"), std::string::npos) << out;
    EXPECT_NE(out.find("result      1 error in the table's references"), std::string::npos) << out;
}

// What `print` writes to a file, as text.
std::string Printed(const std::function<void(FILE *)> &print)
{
    FILE *f = tmpfile();
    print(f);
    return ReadBackAndClose(f);
}

// Russian (1251), Japanese (932) and Greek (1253): names, every message and
// the logo scripts' lines reach the proofreader in UTF-8, each read in its
// own language's code page; no splash size is guessed.
TEST_F(InspectTest, TextsAreShownForProofreadingInTheirCodePages)
{
    FILE *quiet = tmpfile();
    ASSERT_EQ(medium::RunLibraryCommand({Source("tests/fixtures/medium-library/scripts.txt"), "-o",
                                         Path("scripts.dll")}, quiet, quiet), 0);
    fclose(quiet);
    medium::Inspection in;
    medium::InspectPath(Path("scripts.dll"), &in);
    ASSERT_EQ(in.kind, "library");
    const std::string text = Printed([&](FILE *f) { medium::PrintInspection(f, in); });
    const std::string json = Printed([&](FILE *f) { medium::PrintInspectionJson(f, in); });
    const char *inText[] = {
        "default: \xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\n",   // Русский
        "name: \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\n",                               // 日本語
        "name: \xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC\n",   // Ελληνικά
        // A line break of a message shows as \n on its one line.
        "- id 7067, source library 1067, length 28, text \xD0\x9D\xD0\xB5\xD1\x82 "
        "\xD0\xB7\xD0\xB0\xD0\xBA\xD1\x80\xD1\x8B\xD0\xB2\xD0\xB0\xD1\x8E\xD1\x89\xD0\xB5\xD0\xB9 "
        "\xD0\xBA\xD0\xB0\xD0\xB2\xD1\x8B\xD1\x87\xD0\xBA\xD0\xB8:\\n\\n%s\n",   // Нет закрывающей кавычки:
        // Double-byte characters of 932, and a caption.
        "- id 7110, source library 2110, length 12, text "
        "\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\xE3\x82\xA2\xE3\x83\x83\xE3\x83\x97\n",   // セットアップ
        "- id 7110, source library 3110, length 11, text "
        "\xCE\x95\xCE\xB3\xCE\xBA\xCE\xB1\xCF\x84\xCE\xAC\xCF\x83\xCF\x84\xCE\xB1\xCF\x83\xCE\xB7\n",
        // Logo script lines.
        "logoScript:\n        - <MS Gothic,32>\xE3\x82\xBB\xE3\x83\x83\xE3\x83\x88\xE3\x82\xA2\xE3\x83\x83"
        "\xE3\x83\x97\n        - \xE3\x81\x8A\xE5\xBE\x85\xE3\x81\xA1\xE3\x81\x8F\xE3\x81\xA0\xE3\x81\x95"
        "\xE3\x81\x84...\n",   // お待ちください...
        "splash: text splash from logo script 3520 (its size is measured at run time)\n",
    };
    for (const char *want : inText)
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    const char *inJson[] = {
        "\"name\":\"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC\"",
        "\"text\":\"\xD0\x9D\xD0\xB5\xD1\x82 \xD0\xB7\xD0\xB0\xD0\xBA\xD1\x80\xD1\x8B\xD0\xB2\xD0\xB0"
        "\xD1\x8E\xD1\x89\xD0\xB5\xD0\xB9 \xD0\xBA\xD0\xB0\xD0\xB2\xD1\x8B\xD1\x87\xD0\xBA\xD0\xB8:"
        "\\u000a\\u000a%s\"",
        "\"logoScript\":[\"<Arial,32>\xCE\x95\xCE\xB3\xCE\xBA\xCE\xB1\xCF\x84\xCE\xAC\xCF\x83\xCF\x84\xCE\xB1"
        "\xCF\x83\xCE\xB7\",\"\xCE\xA0\xCE\xB5\xCF\x81\xCE\xB9\xCE\xBC\xCE\xAD\xCE\xBD\xCE\xB5\xCF\x84"
        "\xCE\xB5...\"]",   // Περιμένετε...
    };
    for (const char *want : inJson)
        EXPECT_NE(json.find(want), std::string::npos) << want << "\n" << json;
    EXPECT_EQ(text.find("pixels"), std::string::npos) << text;

    // langtable check names the languages in the same way.
    int code = -1;
    const std::string out = RunLangtable({"check", Path("scripts.dll"), "--lcid", "1032"}, &code);
    EXPECT_EQ(code, lt::kExitOk) << out;
    EXPECT_NE(out.find("default     0 \xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\n"),
              std::string::npos) << out;
    EXPECT_NE(out.find("locale 1032  \xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC "
                       "(index 2)"), std::string::npos) << out;
    // A double-byte name (932) as well.
    const std::string ja = RunLangtable({"check", Path("scripts.dll"), "--lcid", "1041"}, &code);
    EXPECT_EQ(code, lt::kExitOk) << ja;
    EXPECT_NE(ja.find("locale 1041  \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E (index 1)"), std::string::npos) << ja;
    // Names line up in columns whatever their script: 7 Cyrillic letters take
    // 7 columns, 3 wide kanji take 6.
    EXPECT_NE(ja.find("   0  \xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9" + std::string(13, ' ') +
                      " flags"),
              std::string::npos)
        << ja;
    EXPECT_NE(ja.find("   1  \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" + std::string(14, ' ') + " flags"),
              std::string::npos)
        << ja;
}

TEST(LangtableDescription, OneMistakeGivesOneError)
{
    struct Case {
        const char *text;
        const char *error;
    } cases[] = {
        {"language \"English lcid \"1033\"\nlanguage Deutsch lcid \"1031\"\nentry 7061 string 1 2\n"
         "entry 7062 string 1 2\n",
         "line 1: a quoted text is not closed"},
        {"entry 7061 string 1\nlanguage English lcid \"1033\"\nentry 7062 string 1\n",
         "line 1: an entry before any language: languages come first; move the language lines above the entries"},
    };
    for (const Case &c : cases) {
        lt::Table table;
        std::vector<std::string> errors, warnings;
        EXPECT_FALSE(lt::ParseDescription(c.text, &table, &errors, &warnings));
        ASSERT_EQ(errors.size(), 1u) << c.text << (errors.size() > 1 ? errors[1] : "");
        EXPECT_EQ(errors[0], c.error);
    }
}

}  // namespace
