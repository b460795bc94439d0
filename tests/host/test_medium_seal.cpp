// The medium's seal: the record read back under every bound, the files of a
// medium checked against it, and a medium built with every program signed
// and time-stamped, then tampered with one way at a time.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tests/host/inspection_text.h"
#include "tests/host/signing_kit.h"
#include "tests/host/stub_fixture.h"
#include "tools/lib/fileio.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/seal.h"
#include "tools/lib/szdd_codec.h"
#include "tools/medium/cli.h"
#include "tools/medium/extract.h"
#include "tools/medium/inspect.h"
#include "tools/medium/record.h"
#include "tools/medium/resedit.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tk::SealKind;

tk::SealEntry Sealed(SealKind kind, const char *name, uint64_t size, uint8_t fill)
{
    tk::SealEntry e;
    e.kind = kind;
    e.name = name;
    e.size = size;
    memset(e.sha256, fill, sizeof e.sha256);
    return e;
}

tk::Seal ThreeEntries()
{
    tk::Seal s;
    s.entries = {Sealed(SealKind::Script, "setup.ins", 3, 1), Sealed(SealKind::Library, "_SETUP.DLL", 5120, 2),
                 Sealed(SealKind::Payload, "_INS0366._MP", 0x123456789ull, 3)};
    return s;
}

Bytes Written(const tk::Seal &s)
{
    Bytes b;
    std::string why;
    EXPECT_TRUE(tk::SealBytes(s, &b, &why)) << why;
    return b;
}

TEST(SealRecord, ReadsBackWhatItWrites)
{
    const Bytes b = Written(ThreeEntries());
    ASSERT_EQ(b.size(), 8u + 3 * 72u);
    EXPECT_EQ(GetUi32(b.data()), 0x4C535643u);
    tk::Seal back;
    std::string why;
    ASSERT_TRUE(tk::ParseSeal(b.data(), b.size(), &back, &why)) << why;
    ASSERT_EQ(back.entries.size(), 3u);
    EXPECT_EQ(back.entries[0].name, "setup.ins") << "the name as written, its case kept";
    EXPECT_EQ(back.entries[2].size, 0x123456789ull) << "sizes past 32 bits";
    EXPECT_EQ(back.entries[1].sha256[31], 2);
    ASSERT_NE(tk::FindSealEntry(back, "SETUP.INS"), nullptr) << "names are found ignoring case";
    EXPECT_EQ(tk::FindSealEntry(back, "INSTALL.INS"), nullptr);
}

// Every rule the reader holds, one broken at a time in a good record.
TEST(SealRecord, RefusesEveryBrokenRecord)
{
    const Bytes good = Written(ThreeEntries());
    auto name = [](Bytes *b, size_t entry, const char *text) {
        uint8_t *e = b->data() + 8 + entry * 72;
        memset(e + 4, 0, 28);
        memcpy(e + 4, text, strlen(text));
        SetUi16(e + 2, (uint32_t)strlen(text));
    };
    const struct {
        const char *what;
        std::function<void(Bytes *)> edit;
        const char *why;
    } cases[] = {
        {"no bytes", [](Bytes *b) { b->clear(); }, "shorter than its header"},
        {"half a header", [](Bytes *b) { b->resize(7); }, "shorter than its header"},
        {"another signature", [](Bytes *b) { (*b)[0] ^= 1; }, "signature"},
        {"version 2", [](Bytes *b) { SetUi16(b->data() + 4, 2); }, "version is 2"},
        {"no entries", [](Bytes *b) { SetUi16(b->data() + 6, 0), b->resize(8); }, "claims 0 entries"},
        {"17 entries", [](Bytes *b) { SetUi16(b->data() + 6, 17), b->resize(8 + 17 * 72); }, "claims 17 entries"},
        {"a count past the bytes", [](Bytes *b) { SetUi16(b->data() + 6, 4); }, "4 entries take 296"},
        {"a byte short", [](Bytes *b) { b->pop_back(); }, "3 entries take 224"},
        {"a byte over", [](Bytes *b) { b->push_back(0); }, "3 entries take 224"},
        {"an empty name", [](Bytes *b) { SetUi16(b->data() + 8 + 2, 0); }, "a name of 0 bytes"},
        {"the last entry's name too long, the others good", [](Bytes *b) { SetUi16(b->data() + 8 + 144 + 2, 40); },
         "entry 3 has a name of 40 bytes"},
        {"a name longer than its field", [](Bytes *b) { SetUi16(b->data() + 8 + 2, 29); }, "a name of 29 bytes"},
        {"a control character in a name", [](Bytes *b) { (*b)[8 + 4 + 2] = '\n'; }, "a byte it may not"},
        {"a blank in a name", [&](Bytes *b) { name(b, 0, "SETUP INS"); }, "a byte it may not"},
        {"bytes after the name", [](Bytes *b) { (*b)[8 + 4 + 20] = 'x'; }, "a byte it may not"},
        {"an unknown kind", [](Bytes *b) { SetUi16(b->data() + 8, 4); }, "unknown kind 4"},
        {"a script of another name", [&](Bytes *b) { name(b, 0, "SETUP.EXE"); }, "no file of the medium for a script"},
        {"a library of another name", [&](Bytes *b) { name(b, 1, "OTHER.DLL"); }, "for a library"},
        {"a payload the launcher does not expand", [&](Bytes *b) { name(b, 2, "_INS0999._MP"); }, "for a payload"},
        {"a path as a name", [&](Bytes *b) { name(b, 1, "..\\_SETUP.DLL"); }, "for a library"},
        {"two scripts",
         [&](Bytes *b) {
             SetUi16(b->data() + 8 + 72, 1);
             name(b, 1, "INSTALL.INS");
         },
         "two scripts"},
        {"a name twice, in two cases",
         [&](Bytes *b) {
             SetUi16(b->data() + 8 + 72, 3);
             name(b, 1, "_ins0366._mp");
         },
         "names _INS0366._MP twice"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = good;
        c.edit(&b);
        tk::Seal s;
        std::string why;
        EXPECT_FALSE(tk::ParseSeal(b.data(), b.size(), &s, &why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_TRUE(s.entries.empty());
    }
}

TEST(SealRecord, TheWriterRefusesWhatTheReaderWould)
{
    const struct {
        const char *what;
        std::function<void(tk::Seal *)> edit;
    } cases[] = {
        {"no entries", [](tk::Seal *s) { s->entries.clear(); }},
        {"17 entries", [](tk::Seal *s) { s->entries.resize(17, s->entries[2]); }},
        {"a script of another name", [](tk::Seal *s) { s->entries[0].name = "README.TXT"; }},
        {"a name too long for its field",
         [](tk::Seal *s) { s->entries[0].name = "SETUP.INS" + std::string(20, ' '); }},
        {"a library twice", [](tk::Seal *s) { s->entries[0] = s->entries[1]; }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        tk::Seal s = ThreeEntries();
        c.edit(&s);
        Bytes b;
        std::string why;
        EXPECT_FALSE(tk::SealBytes(s, &b, &why));
        EXPECT_NE(why, "");
    }
}

tk::FoundFile Found(const char *name, uint64_t size, uint8_t fill)
{
    tk::FoundFile f;
    f.name = name;
    f.readable = true;
    f.size = size;
    memset(f.sha256, fill, sizeof f.sha256);
    return f;
}

// The files beside setup.exe against a seal of SETUP.INS (3 bytes of 1s)
// and _SETUP.DLL (5120 bytes of 2s): each fault named at the file it is in.
TEST(SealBeside, NamesEachFileAndWhatDiffers)
{
    tk::Seal seal;
    seal.entries = {Sealed(SealKind::Script, "SETUP.INS", 3, 1), Sealed(SealKind::Library, "_SETUP.DLL", 5120, 2),
                    Sealed(SealKind::Payload, "_INS0366._MP", 9, 3)};
    tk::FoundFile unreadable = Found("SETUP.INS", 0, 0);
    unreadable.readable = false;
    unreadable.why = "Permission denied";
    const struct {
        const char *what;
        std::vector<tk::FoundFile> found;
        std::vector<std::pair<std::string, std::string>> want;   // file, a piece of the text
    } cases[] = {
        {"as sealed", {Found("SETUP.INS", 3, 1), Found("_SETUP.DLL", 5120, 2)}, {}},
        {"as sealed, the names in other cases", {Found("setup.ins", 3, 1), Found("_setup.dll", 5120, 2)}, {}},
        {"the script changed, its size kept",
         {Found("SETUP.INS", 3, 9), Found("_SETUP.DLL", 5120, 2)},
         {{"SETUP.INS", "differs from the seal in setup.exe: 3 bytes, SHA-256 0909"}}},
        {"the library replaced",
         {Found("SETUP.INS", 3, 1), Found("_SETUP.DLL", 4096, 7)},
         {{"_SETUP.DLL", "4096 bytes, SHA-256 0707"}}},
        {"the library missing", {Found("SETUP.INS", 3, 1)}, {{"_SETUP.DLL", "missing: the seal in setup.exe records it (5120 bytes"}}},
        {"the script renamed",
         {Found("INSTALL.INS", 3, 1), Found("_SETUP.DLL", 5120, 2)},
         {{"INSTALL.INS", "the seal in setup.exe names this script SETUP.INS: it was renamed"}}},
        {"the script and the library swapped",
         {Found("SETUP.INS", 5120, 2), Found("_SETUP.DLL", 3, 1)},
         {{"SETUP.INS", "holds the bytes the seal in setup.exe records for _SETUP.DLL: the files were swapped"},
          {"_SETUP.DLL", "records for SETUP.INS: the files were swapped"}}},
        {"a second script added",
         {Found("SETUP.INS", 3, 1), Found("INSTALL.INS", 3, 5), Found("_SETUP.DLL", 5120, 2)},
         {{"INSTALL.INS", "is not in the seal in setup.exe"}}},
        {"the script renamed, and another put in its place",
         {Found("SETUP.INS", 4, 6), Found("INSTALL.INS", 3, 1), Found("_SETUP.DLL", 5120, 2)},
         {{"SETUP.INS", "differs from the seal"}, {"INSTALL.INS", "is not in the seal"}}},
        {"the script twice in two cases, one of them changed",
         {Found("SETUP.INS", 3, 1), Found("setup.ins", 3, 6), Found("_SETUP.DLL", 5120, 2)},
         {{"setup.ins", "differs from the seal in setup.exe"}}},
        {"a script that cannot be read",
         {unreadable, Found("_SETUP.DLL", 5120, 2)},
         {{"SETUP.INS", "cannot be read to check it against the seal in setup.exe (Permission denied)"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        tk::Problems problems;
        tk::CheckSealBeside(seal, c.found, &problems);
        ASSERT_EQ(problems.size(), c.want.size());
        for (size_t i = 0; i < problems.size(); i++) {
            EXPECT_EQ(problems[i].severity, tk::Severity::Error);
            EXPECT_EQ(problems[i].file, c.want[i].first);
            EXPECT_NE(problems[i].text.find(c.want[i].second), std::string::npos) << problems[i].text;
        }
    }
}

TEST(SealBeside, PayloadsAgainstTheirEntries)
{
    tk::Seal seal;
    seal.entries = {Sealed(SealKind::Payload, "_INS0366._MP", 9, 3), Sealed(SealKind::Payload, "_INS0466._MP", 7, 4)};
    uint8_t sha[32];
    const struct {
        const char *what;
        const char *name;
        uint64_t size;
        uint8_t fill;
        const char *want;   // null: clean
    } cases[] = {
        {"as sealed", "_INS0366._MP", 9, 3, nullptr},
        {"changed", "_INS0366._MP", 9, 8, "differs from the seal: expands to 9 bytes, SHA-256 0808"},
        {"the other payload's bytes", "_INS0466._MP", 9, 3, "records for _INS0366._MP: the payloads were swapped"},
        {"no entry", "_INS0166._MP", 1, 1, "the seal has no entry for it"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        memset(sha, c.fill, sizeof sha);
        tk::Problems problems;
        tk::CheckSealPayload(seal, c.name, c.size, sha, &problems);
        if (!c.want) {
            EXPECT_TRUE(problems.empty());
            continue;
        }
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].text.find(c.want), std::string::npos) << problems[0].text;
    }
}

int RunWords(int (*command)(int, char **), std::vector<std::string> words, std::string *out = nullptr)
{
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    fflush(stdout);
    if (out)
        testing::internal::CaptureStdout();
    const int code = command((int)argv.size(), argv.data());
    if (out)
        *out = testing::internal::GetCapturedStdout();
    return code;
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// A project whose bootstrap (i386), engine (x86-64) and library are signed
// and time-stamped with the test kit, its companion data: built once for the
// whole suite.
class SignedMedium : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/medium-seal-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        const SigningKit &kit = TestSigningKit();
        ASSERT_TRUE(kit.ready);
        const std::string fixtures = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/";
        ASSERT_TRUE(WriteFile(Path("stub.exe"), StubFixture()));
        ASSERT_TRUE(WriteFile(Path("boot.exe"), ReadFile(fixtures + "small.exe")));
        ASSERT_TRUE(WriteFile(Path("engine.exe"), ReadFile(fixtures + "small64.exe")));
        Bytes data(20000);
        for (size_t i = 0; i < data.size(); i++)
            data[i] = (uint8_t)(i * 7 + i / 251);
        ASSERT_TRUE(WriteFile(Path("data.bin"), data));
        ASSERT_TRUE(WriteText(Path("SETUP.INS"), "[setup]\nrun = engine\n"));
        ASSERT_TRUE(WriteText(Path("lib.txt"), "language English\n  7110 \"Example Setup\"\n"));
        ASSERT_TRUE(WriteText(Path("other.txt"), "language English\n  7110 \"Somebody Else's Setup\"\n"));
        signer_ = "osslsigncode sign -h sha256 -certs " + kit.Path("signer.pem") + " -key " + kit.Path("signer.key") +
                  " -TSA-certs " + kit.Path("tsa-chain.pem") + " -TSA-key " + kit.Path("tsa.key") +
                  " -in {in} -out {out}";
        ca_ = kit.Path("ca.pem");
        WriteProject("[sign]\ncommand = \"" + signer_ + "\"\nca = \"" + ca_ + "\"\npayloads = true\n");
        std::string out;
        const int code =
            RunWords(medium::BuildCommand, {"build", Path("project.toml"), "--json", Path("build.json")}, &out);
        ASSERT_EQ(code, medium::kExitOk) << out;
        buildOut_ = out;
        built_ = true;
    }
    static void TearDownTestSuite()
    {
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    void SetUp() override
    {
        if (!built_)
            GTEST_SKIP() << "the signed medium could not be built";
    }
    static std::string Path(const std::string &name) { return root_ + "/" + name; }
    static bool WriteText(const std::string &path, const std::string &text)
    {
        return WriteFile(path, Bytes(text.begin(), text.end()));
    }
    static void WriteProject(const std::string &extra)
    {
        ASSERT_TRUE(WriteText(Path("project.toml"),
                              "script = \"SETUP.INS\"\nout = \"medium\"\nstub = \"stub.exe\"\n"
                              "[payloads]\nbootstrap = \"boot.exe\"\nengine = \"engine.exe\"\ncompanion = \"data.bin\"\n"
                              "[library]\ndescription = \"lib.txt\"\n" + extra));
    }
    // A copy of the built medium in a folder of its own.
    static std::string Copy(const std::string &name)
    {
        const std::string dir = Path(name);
        std::string cmd = "rm -rf '" + dir + "' && cp -r '" + Path("medium") + "' '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
        return dir;
    }
    // With the kit's roots unless `roots` is false (an unsigned medium).
    static medium::Inspection Inspect(const std::string &path, bool roots = true)
    {
        medium::Inspection in;
        medium::ImageCheckOptions opt;
        if (roots)
            opt.caFile = ca_;
        medium::InspectPath(path, &in, opt);
        return in;
    }

    static std::string root_, signer_, ca_, buildOut_;
    static bool built_;
};

std::string SignedMedium::root_, SignedMedium::signer_, SignedMedium::ca_, SignedMedium::buildOut_;
bool SignedMedium::built_ = false;

// setup.exe with its resources changed by `edit`, written back in place.
void EditLauncher(const std::string &path, const std::function<void(tk::ResList *)> &edit)
{
    const Bytes exe = ReadFile(path);
    tk::ResList res;
    std::string err;
    ASSERT_TRUE(tk::ReadResources(exe.data(), exe.size(), &res, &err)) << err;
    edit(&res);
    Bytes out;
    std::vector<std::string> warnings;
    ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &out, &warnings, &err)) << err;
    ASSERT_TRUE(WriteFile(path, out));
}

TEST_F(SignedMedium, IsCleanWithEveryProgramSignedAndVerified)
{
    const medium::Inspection in = Inspect(Path("medium"));
    EXPECT_EQ(FindingsText(in.findings, false), "");
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectClean);
    const std::string json = InspectionJson(in);
    // setup.exe, _SETUP.DLL, the bootstrap and the engine; the companion is
    // data and has no signature to report.
    EXPECT_EQ(Count(json, "\"signed\":\"verified\""), 4u) << json;
    EXPECT_EQ(Count(json, "\"signed\":"), 4u) << json;
    EXPECT_NE(json.find("\"seal\":{\"state\":\"sealed\",\"files\":[{\"kind\":\"script\",\"name\":\"SETUP.INS\""),
              std::string::npos)
        << json;

    // Extracted, the programs keep the signed bytes: each verifies on its
    // own and is the file the seal records.
    ASSERT_EQ(RunWords(medium::ExtractCommand, {"extract", Path("medium/setup.exe"), Path("out")}), medium::kExitOk);
    for (const char *name : {"_INS0366._MP", "_INS0466._MP"}) {
        SCOPED_TRACE(name);
        const medium::Inspection program = Inspect(Path("out/") + name);
        EXPECT_NE(InspectionJson(program).find("\"signed\":\"verified\""), std::string::npos) << InspectionJson(program);
        uint64_t size = 0;
        std::string sha, why;
        ASSERT_TRUE(tk::FileSha256(Path("out/") + name, &size, &sha, &why)) << why;
        EXPECT_NE(json.find("\"name\":\"" + std::string(name) + "\",\"size\":" + std::to_string(size) +
                            ",\"sha256\":\"" + sha + "\""),
                  std::string::npos)
            << json;
    }
    // The build log names the payloads' signing as a step of its own, and
    // keeps to its schema.
    const Bytes log = ReadFile(Path("build.json"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("{\"name\":\"plan\",\"seconds\":"), std::string::npos);
    EXPECT_NE(std::string(log.begin(), log.end()).find("{\"name\":\"sign-payloads\",\"seconds\":"),
              std::string::npos);
    const std::string check = std::string("python3 '") + CORVANE_SOURCE_DIR + "/tests/host/check_json_schema.py' '" +
                              CORVANE_SOURCE_DIR + "/docs/schema/medium-build-log.schema.json' '" +
                              Path("build.json") + "'";
    EXPECT_EQ(system(check.c_str()), 0);

    // The payload lines say which were packed signed.
    EXPECT_NE(buildOut_.find("\nbootstrap " + Path("boot.exe") + " (signed): "), std::string::npos) << buildOut_;
    EXPECT_NE(buildOut_.find("\ncompanion " + Path("data.bin") + ": "), std::string::npos) << buildOut_;

    // The project's own files are never signed in place.
    EXPECT_EQ(ReadFile(Path("boot.exe")), ReadFile(std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/small.exe"));
}

// Each change to a signed, sealed medium is an error (exit 2) that names the
// file and what differs.
TEST_F(SignedMedium, EveryTamperingIsAnErrorThatNamesTheFile)
{
    ASSERT_EQ(RunWords(medium::LibraryCommand, {"library", Path("other.txt"), "-o", Path("other.dll")}),
              medium::kExitOk);
    const struct {
        const char *what;
        std::function<void(const std::string &dir)> tamper;
        const char *file;   // the finding's file, in the medium's folder
        const char *text;
    } cases[] = {
        {"one byte of SETUP.INS changed",
         [](const std::string &dir) {
             Bytes b = ReadFile(dir + "/SETUP.INS");
             b[3] ^= 0x20;
             ASSERT_TRUE(WriteFile(dir + "/SETUP.INS", b));
         },
         "SETUP.INS", "differs from the seal in setup.exe"},
        {"_SETUP.DLL replaced by another valid library",
         [](const std::string &dir) { ASSERT_TRUE(WriteFile(dir + "/_SETUP.DLL", ReadFile(Path("other.dll")))); },
         "_SETUP.DLL", "differs from the seal in setup.exe"},
        {"the script renamed to INSTALL.INS",
         [](const std::string &dir) {
             ASSERT_EQ(rename((dir + "/SETUP.INS").c_str(), (dir + "/INSTALL.INS").c_str()), 0);
         },
         "INSTALL.INS", "names this script SETUP.INS: it was renamed"},
        {"the script and the library swapped",
         [](const std::string &dir) {
             ASSERT_EQ(rename((dir + "/SETUP.INS").c_str(), (dir + "/x").c_str()), 0);
             ASSERT_EQ(rename((dir + "/_SETUP.DLL").c_str(), (dir + "/SETUP.INS").c_str()), 0);
             ASSERT_EQ(rename((dir + "/x").c_str(), (dir + "/_SETUP.DLL").c_str()), 0);
         },
         "SETUP.INS", "the files were swapped"},
        {"an unsealed INSTALL.INS added beside",
         [](const std::string &dir) { ASSERT_TRUE(WriteText(dir + "/INSTALL.INS", "[setup]\nrun = other\n")); },
         "INSTALL.INS", "is not in the seal"},
        {"the engine payload swapped for the bootstrap's",
         [](const std::string &dir) {
             EditLauncher(dir + "/setup.exe", [](tk::ResList *res) {
                 tk::ResFind(res, 3000, 7200)->data = tk::ResFind(*res, 3000, 7100)->data;
             });
         },
         "setup.exe", "payload 7200 (engine, _INS0466._MP): holds the bytes the seal records for _INS0366._MP"},
        {"the seal patched in place to match a changed script",
         [](const std::string &dir) {
             uint64_t size = 0;
             uint8_t before[32], after[32];
             std::string why;
             ASSERT_TRUE(tk::FileDigest(dir + "/SETUP.INS", &size, before, &why));
             ASSERT_TRUE(WriteText(dir + "/SETUP.INS", "[setup]\nrun = other\n"));
             ASSERT_TRUE(tk::FileDigest(dir + "/SETUP.INS", &size, after, &why));
             Bytes exe = ReadFile(dir + "/setup.exe");
             auto at = std::search(exe.begin(), exe.end(), before, before + 32);
             ASSERT_NE(at, exe.end());
             std::copy(after, after + 32, at);
             ASSERT_TRUE(WriteFile(dir + "/setup.exe", exe));
         },
         "setup.exe", "the image digest"},
        {"the signature stripped and the seal rewritten to match a changed script",
         [](const std::string &dir) {
             ASSERT_TRUE(WriteText(dir + "/SETUP.INS", "[setup]\nrun = other\n"));
             // Writing the resources again leaves the certificate table out.
             EditLauncher(dir + "/setup.exe", [&](tk::ResList *res) {
                 tk::ResEntry *e = tk::ResFind(res, 10, tk::kSealId);
                 tk::Seal seal;
                 std::string why;
                 ASSERT_TRUE(tk::ParseSeal(e->data.data(), e->data.size(), &seal, &why)) << why;
                 uint64_t size = 0;
                 ASSERT_TRUE(tk::FileDigest(dir + "/SETUP.INS", &size, seal.entries[0].sha256, &why));
                 seal.entries[0].size = size;
                 ASSERT_TRUE(tk::SealBytes(seal, &e->data, &why));
             });
         },
         "setup.exe", "not signed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = Copy("tampered");
        c.tamper(dir);
        const medium::Inspection in = Inspect(dir);
        EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectErrors) << FindingsText(in.findings, false);
        bool named = false;
        for (const tk::Finding &f : in.findings)
            named = named || (f.severity == tk::Severity::Error && f.file == dir + "/" + c.file &&
                              f.text.find(c.text) != std::string::npos);
        EXPECT_TRUE(named) << FindingsText(in.findings, false);
        std::vector<std::string> args = {"inspect", "--ca", ca_, dir};
        EXPECT_EQ(RunWords(medium::InspectCommand, args, nullptr), medium::kInspectErrors);
    }
}

TEST_F(SignedMedium, AMediumWithoutASealIsAWarningAndAnErrorWithStrict)
{
    // Unsigned, so that the seal is the one thing missing.
    std::string out;
    ASSERT_EQ(RunWords(medium::BuildCommand, {"build", Path("project.toml"), "--no-sign", "--out", Path("plain")}, &out),
              medium::kExitOk)
        << out;
    EditLauncher(Path("plain/setup.exe"), [](tk::ResList *res) { EXPECT_EQ(tk::ResRemove(res, 10, tk::kSealId), 1u); });
    medium::Inspection in = Inspect(Path("plain"), false);
    std::vector<tk::Finding> found;
    for (const tk::Finding &f : in.findings)
        if (f.severity != tk::Severity::Note)
            found.push_back(f);
    ASSERT_EQ(found.size(), 1u) << FindingsText(in.findings, false);
    EXPECT_EQ(found[0].severity, tk::Severity::Warning);
    EXPECT_EQ(found[0].code, "seal");
    EXPECT_EQ(found[0].text.rfind("not sealed: ", 0), 0u) << found[0].text;
    EXPECT_EQ(RunWords(medium::InspectCommand, {"inspect", Path("plain")}), medium::kInspectWarnings);
    EXPECT_EQ(RunWords(medium::InspectCommand, {"inspect", "--strict", Path("plain")}), medium::kInspectErrors);
}

// A signed program payload is checked from a scratch copy; with nowhere to
// write one, the check says so instead of passing it unchecked.
TEST_F(SignedMedium, APayloadSignatureThatCannotBeCheckedIsAnError)
{
    const char *old = getenv("TMPDIR");
    const std::string kept = old ? old : "";
    setenv("TMPDIR", Path("no-such-folder").c_str(), 1);
    const medium::Inspection in = Inspect(Path("medium/setup.exe"));
    if (old)
        setenv("TMPDIR", kept.c_str(), 1);
    else
        unsetenv("TMPDIR");
    size_t unchecked = 0;
    for (const tk::Finding &f : in.findings)
        unchecked += f.severity == tk::Severity::Error &&
                     f.text.find("its signature cannot be checked: no room for a scratch copy") != std::string::npos &&
                     f.text.find("set TMPDIR") != std::string::npos;
    EXPECT_EQ(unchecked, 2u) << FindingsText(in.findings, false);   // the bootstrap and the engine
    EXPECT_EQ(Count(InspectionJson(in), "\"signed\":\"not checked\""), 2u);
}

// However the pieces hand over a program's bytes, it is checked as one: here
// the bootstrap is cut after its first byte, so its first piece expands to
// "M" alone. The medium is still whole and sealed (the same bytes expand).
TEST_F(SignedMedium, AProgramSplitAfterItsFirstByteIsStillCheckedAsAProgram)
{
    const std::string dir = Copy("split");
    EditLauncher(dir + "/setup.exe", [](tk::ResList *res) {
        const Bytes piece = tk::ResFind(*res, 3000, 7100)->data;
        Bytes program, first, rest;
        ASSERT_EQ(szdd::Expand(piece.data(), piece.size(), program), szdd::Result::Ok);
        ASSERT_GT(program.size(), 1u);
        ASSERT_EQ(szdd::Compress(program.data(), 1, first), szdd::Result::Ok);
        ASSERT_EQ(szdd::Compress(program.data() + 1, program.size() - 1, rest), szdd::Result::Ok);
        tk::ResFind(res, 3000, 7100)->data = first;
        tk::ResEntry second = *tk::ResFind(*res, 3000, 7100);
        second.name = tk::ResNumber(7101);
        second.data = rest;
        res->push_back(second);
        std::string err;
        ASSERT_TRUE(medium::SetString(res, 7100, tk::ResFind(*res, 6, 7100 / 16 + 1)->lang, u"2", &err)) << err;
        tk::ResEntry *record = tk::ResFind(res, 3000, 7099);
        PayloadRecordEntry entries[3];
        for (int i = 0; i < 3; i++)
            ASSERT_EQ(PayloadRecordFind(record->data.data(), (uint32_t)record->data.size(),
                                        medium::kPayloads[i].baseId, &entries[i]),
                      PAYLOAD_RECORD_FOUND);
        entries[0].pieceCount = 2;
        record->data = medium::PayloadRecordBytes(entries, 3);
    });
    // Written again, setup.exe has lost its own signature: no roots asked.
    // Alone, it counts the pieces by its own strings, not the library's.
    const medium::Inspection in = Inspect(dir + "/setup.exe", false);
    const std::string json = InspectionJson(in);
    EXPECT_NE(json.find("\"pieces\":2,"), std::string::npos) << json;
    EXPECT_EQ(Count(json, "\"signed\":\"verified\""), 2u) << json;   // the bootstrap and the engine
    EXPECT_EQ(Count(json, "\"record\":\"matches\""), 3u) << json;
    for (const tk::Finding &f : in.findings)
        EXPECT_NE(f.code, "seal") << FindingsText(in.findings, false);
}

// --no-sign: the project's [sign] is skipped, and the build says so; the
// medium is still sealed.
TEST_F(SignedMedium, NoSignBuildsUnsignedAndSaysSo)
{
    WriteProject("[sign]\ncommand = \"false {in} {out}\"\npayloads = true\n");
    std::string out;
    ASSERT_EQ(RunWords(medium::BuildCommand,
                       {"build", Path("project.toml"), "--no-sign", "--out", Path("unsigned"), "--json",
                        Path("unsigned.json")},
                       &out),
              medium::kExitOk)
        << out;
    EXPECT_NE(out.find("\nnot signed: --no-sign; the project's [sign] is skipped\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("signed: setup.exe"), std::string::npos) << out;
    const Bytes log = ReadFile(Path("unsigned.json"));
    EXPECT_NE(std::string(log.begin(), log.end()).find("\"severity\":\"note\",\"code\":\"not-signed\""),
              std::string::npos);
    const medium::Inspection in = Inspect(Path("unsigned"), false);
    EXPECT_EQ(FindingsText(in.findings, false), "");
    const std::string json = InspectionJson(in);
    EXPECT_EQ(Count(json, "\"signed\":\"no\""), 4u) << json;
    EXPECT_NE(json.find("\"state\":\"sealed\""), std::string::npos);
    WriteProject("[sign]\ncommand = \"" + signer_ + "\"\nca = \"" + ca_ + "\"\npayloads = true\n");
}

// A signer that fails on one of the payloads stops the build before anything
// is packed: the medium of the last good build stays as it was.
TEST_F(SignedMedium, APayloadSignerThatFailsLeavesTheOldMedium)
{
    const std::string dir = Copy("kept");
    const Bytes before = ReadFile(dir + "/setup.exe");
    WriteProject("[sign]\ncommand = [\"sh\", \"-c\", \"case $0 in *engine*) exit 1;; esac; cp $0 $1\", \"{in}\", "
                 "\"{out}\"]\npayloads = true\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunWords(medium::BuildCommand, {"build", Path("project.toml"), "--out", dir}), medium::kExitInput);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("signing the engine (" + Path("engine.exe") + ") failed: sh exited with 1; nothing put in place"), std::string::npos)
        << err;
    EXPECT_EQ(ReadFile(dir + "/setup.exe"), before);
    WriteProject("[sign]\ncommand = \"" + signer_ + "\"\nca = \"" + ca_ + "\"\npayloads = true\n");
}

}  // namespace
