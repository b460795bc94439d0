// medium inspect as a release gate: a medium built here, and the same medium
// signed with osslsigncode and the test certificates, must each be clean,
// and every single-byte change to them must be an error: at every offset of
// the headers and at 2,000 and more offsets spread over the rest. Each in
// both layouts of setup.exe: 512-byte and 4 KiB file alignment; and the
// medium of the x86-64 launcher (PE32+), built and signed.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tests/host/inspection_text.h"
#include "tests/host/signature_edits.h"
#include "tests/host/signing_kit.h"
#include "tests/host/stub_fixture.h"
#include "tools/lib/pe_image.h"
#include "tools/medium/build.h"
#include "tools/medium/inspect.h"
#include "tools/medium/library_cli.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Source(const char *rel) { return std::string(CORVANE_SOURCE_DIR) + "/" + rel; }

tk::ResEntry Entry(uint16_t type, uint16_t name, Bytes data)
{
    tk::ResEntry e;
    e.type = tk::ResNumber(type);
    e.name = tk::ResNumber(name);
    e.lang = 0x409;
    e.data = std::move(data);
    return e;
}

// The icon group and icons of test.ico as resources (group 1, icons 1, 2).
void AddIcons(tk::ResList *res)
{
    Bytes ico = ReadFile(Source("tests/fixtures/medium/test.ico"));
    ASSERT_GT(ico.size(), 6u + 32u);
    Bytes group(ico.begin(), ico.begin() + 6);
    for (uint16_t i = 0; i < 2; i++) {
        const uint8_t *e = &ico[6 + 16 * i];
        group.insert(group.end(), e, e + 12);
        group.push_back((uint8_t)(i + 1));
        group.push_back(0);
        tk::ResPut(res, Entry(tk::kRtIcon, (uint16_t)(i + 1),
                             Bytes(ico.begin() + GetUi32(e + 12), ico.begin() + GetUi32(e + 12) + GetUi32(e + 8))));
    }
    tk::ResPut(res, Entry(tk::kRtGroupIcon, 1, group));
}

// One medium for the whole suite: built once, signed once.
class Gate : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/inspect-gate-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        FILE *quiet = tmpfile();
        ASSERT_EQ(medium::RunLibraryCommand({Source("docs/examples/library/library.txt"), "-o", Path("ex.dll")},
                                            quiet, quiet), 0);
        fclose(quiet);

        // The tests' stubs with an icon group as well.
        for (const char *program : kStubPrograms) {
            const Bytes plain = StubFixture(program);
            tk::ResList res;
            std::string err;
            ASSERT_TRUE(tk::ReadResources(plain.data(), plain.size(), &res, &err)) << err;
            AddIcons(&res);
            Bytes stub;
            std::vector<std::string> warnings;
            ASSERT_TRUE(tk::ReplaceResources(plain.data(), plain.size(), res, &stub, &warnings, &err)) << err;
            ASSERT_TRUE(WriteFile(Path(std::string("stub-") + program), stub));
        }

        medium::BuildOptions o;
        const Bytes exe = ReadFile(Source("tests/fixtures/medium/small.exe"));
        ASSERT_FALSE(exe.empty());
        const char *names[3] = {"boot.exe", "engine.exe", "data.bin"};
        for (int i = 0; i < 3; i++) {
            Bytes p(i == 0 ? 6000 : 700 + i);
            for (size_t k = 0; k < p.size(); k++)
                p[k] = (uint8_t)(k * 29 + k / 89 + i);
            if (i == 0)   // the bootstrap must be a Windows program: a small one, the pattern after it
                std::copy(exe.begin(), exe.end(), p.begin());
            ASSERT_TRUE(WriteFile(Path(names[i]), p));
            o.payload[i] = Path(names[i]);
        }
        ASSERT_TRUE(WriteFile(Path("SETUP.INS"), Bytes{'s'}));
        o.script = Path("SETUP.INS");
        o.library = Path("ex.dll");
        o.stub = Path("stub-small.exe");
        o.outDir = Path("medium");
        o.pieceSize = 4096;
        medium::BuildReport report;
        medium::Failure failure;
        ASSERT_TRUE(medium::Build(o, &report, &failure)) << failure.message;
        ASSERT_EQ(report.fileAlignment, 512u);
        built_ = new Bytes(ReadFile(Path("medium/setup.exe")));
        o.outDir = Path("paged");
        o.mappedLayoutAbove = 0;
        ASSERT_TRUE(medium::Build(o, &report, &failure)) << failure.message;
        ASSERT_EQ(report.fileAlignment, 4096u);
        paged_ = new Bytes(ReadFile(Path("paged/setup.exe")));
        o.stub = Path("stub-small64.exe");
        o.outDir = Path("medium64");
        o.mappedLayoutAbove = medium::kMappedLayoutAbove;
        ASSERT_TRUE(medium::Build(o, &report, &failure)) << failure.message;
        built64_ = new Bytes(ReadFile(Path("medium64/setup.exe")));

        const SigningKit &kit = TestSigningKit();
        ASSERT_TRUE(kit.ready) << kit.Path("kit.log");
        ASSERT_TRUE(SignWithKit(kit, Path("medium/setup.exe"), Path("signed.exe"), false)) << kit.Path("sign.log");
        signed_ = new Bytes(ReadFile(Path("signed.exe")));
        ASSERT_TRUE(SignWithKit(kit, Path("paged/setup.exe"), Path("signed-paged.exe"), false)) << kit.Path("sign.log");
        signedPaged_ = new Bytes(ReadFile(Path("signed-paged.exe")));
        ASSERT_TRUE(SignWithKit(kit, Path("medium64/setup.exe"), Path("signed64.exe"), false)) << kit.Path("sign.log");
        signed64_ = new Bytes(ReadFile(Path("signed64.exe")));
    }
    static void TearDownTestSuite()
    {
        delete built_;
        delete signed_;
        delete paged_;
        delete signedPaged_;
        delete built64_;
        delete signed64_;
        std::string cmd = "rm -rf '" + root_ + "'";
        if (system(cmd.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", root_.c_str());
    }
    static std::string Path(const std::string &name) { return root_ + "/" + name; }

    static std::string root_;
    static Bytes *built_;
    static Bytes *signed_;
    static Bytes *paged_;         // the same medium with 4 KiB file alignment
    static Bytes *signedPaged_;
    static Bytes *built64_;       // the x86-64 launcher's medium
    static Bytes *signed64_;
};

std::string Gate::root_;
Bytes *Gate::built_;
Bytes *Gate::signed_;
Bytes *Gate::paged_;
Bytes *Gate::signedPaged_;
Bytes *Gate::built64_;
Bytes *Gate::signed64_;

medium::Inspection Inspect(const Bytes &image, const medium::ImageCheckOptions &opt = {})
{
    medium::Inspection in;
    medium::InspectLauncherImage(image, "setup.exe", &in, nullptr, opt);
    return in;
}

// Every offset of the headers, then (unless `headersOnly`) at least 2,000
// spread evenly over the rest, the last byte included.
std::vector<size_t> Offsets(const Bytes &image, bool headersOnly = false)
{
    tk::PeImage pe;
    std::string err;
    std::vector<size_t> at;
    if (!tk::ParsePeImage(image.data(), image.size(), &pe, &err))
        return at;
    for (size_t i = 0; i < pe.sizeOfHeaders; i++)
        at.push_back(i);
    if (headersOnly)
        return at;
    const size_t rest = image.size() - pe.sizeOfHeaders;
    const size_t step = rest / 2000 ? rest / 2000 : 1;
    for (size_t i = pe.sizeOfHeaders; i < image.size(); i += step)
        at.push_back(i);
    if (at.back() != image.size() - 1)
        at.push_back(image.size() - 1);
    return at;
}

TEST_F(Gate, CleanMediaPass)
{
    const struct {
        const char *name;
        const Bytes *image;
        const char *signedAs;
        uint32_t fileAlignment;
        const char *machine;
    } cases[] = {{"built", built_, "no", 512, "i386"},
                 {"signed", signed_, "verified", 512, "i386"},
                 {"built, 4 KiB layout", paged_, "no", 4096, "i386"},
                 {"signed, 4 KiB layout", signedPaged_, "verified", 4096, "i386"},
                 {"built, x86-64", built64_, "no", 512, "x86-64"},
                 {"signed, x86-64", signed64_, "verified", 512, "x86-64"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        tk::PeImage pe;
        std::string err;
        ASSERT_TRUE(tk::ParsePeImage(c.image->data(), c.image->size(), &pe, &err)) << err;
        EXPECT_EQ(pe.fileAlignment, c.fileAlignment);
        EXPECT_EQ(pe.sizeOfHeaders % c.fileAlignment, 0u);
        for (const tk::PeSection &s : pe.sections)
            EXPECT_EQ((s.rawPtr | s.rawSize) % c.fileAlignment, 0u) << s.name;
        medium::Inspection in = Inspect(*c.image);
        // Signed without a time stamp: the signing policy's one doubt.
        const bool isSigned = std::string(c.signedAs) == "verified";
        EXPECT_EQ(FindingsText(in.findings).find("has no time stamp") != std::string::npos, isSigned) << FindingsText(in.findings);
        EXPECT_EQ(medium::InspectStatus(in.findings), isSigned ? medium::kInspectWarnings : medium::kInspectClean)
            << FindingsText(in.findings);
        const std::string json = InspectionJson(in);
        EXPECT_NE(json.find(std::string("\"signed\":\"") + c.signedAs + "\""), std::string::npos) << json;
        EXPECT_NE(json.find(std::string("\"facts\":{\"machine\":\"") + c.machine + "\""), std::string::npos) << json;
        EXPECT_NE(json.find("\"executionLevel\":\"requireAdministrator\""), std::string::npos) << json;
        EXPECT_NE(json.find("{\"table\":\"040904B0\",\"key\":\"CompanyName\",\"value\":\"Corvane\"}"),
                  std::string::npos) << json;
        EXPECT_NE(json.find("{\"group\":\"1\",\"icon\":2,\"size\":\"32 x 32\",\"bits\":32,\"format\":\"bitmap\"}"),
                  std::string::npos) << json;
    }
    const std::string json = InspectionJson(Inspect(*signed_));
    EXPECT_NE(json.find("\"signer\":\"O=Corvane,CN=Corvane Test Signer\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"digest\":\"sha256\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"chain\":\"not checked\""), std::string::npos) << json;
}

TEST_F(Gate, ChainCheckedWithTheGivenRoots)
{
    const SigningKit &kit = TestSigningKit();
    medium::ImageCheckOptions trusted, stranger;
    trusted.caFile = kit.Path("ca.pem");
    stranger.caFile = kit.Path("stranger.pem");
    medium::Inspection in = Inspect(*signed_, trusted);
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectWarnings) << FindingsText(in.findings);
    EXPECT_NE(InspectionJson(in).find("\"chain\":\"trusted ("), std::string::npos) << InspectionJson(in);
    EXPECT_NE(InspectionJson(in).find("\"checks\":{\"digest\":\"passed\",\"signer\":\"passed\",\"timestamp\":\"none\","
                            "\"chain\":\"passed\",\"purpose\":\"passed\"}"),
              std::string::npos) << InspectionJson(in);
    in = Inspect(*signed_, stranger);
    EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectErrors);
    EXPECT_NE(FindingsText(in.findings).find("does not chain to the CA file"), std::string::npos) << FindingsText(in.findings);
    EXPECT_NE(InspectionJson(in).find("\"signed\":\"not verified\""), std::string::npos) << "one verdict";
    EXPECT_NE(InspectionJson(in).find("\"chain\":\"failed\""), std::string::npos) << InspectionJson(in);
}

// An RFC 3161 attribute whose value is a SignedData without content: anyone
// can add it to a signed file without a key. It is read, not followed into
// the content that is not there.
TEST_F(Gate, TimeStampWithoutContentIsReportedNotFollowed)
{
    const SigningKit &kit = TestSigningKit();
    Bytes b = signature_edits::EditSignature(*signed_, [](PKCS7 *p7) {
        signature_edits::AddUnsigned(signature_edits::SignerOf(p7), signature_edits::kOidRfc3161, V_ASN1_SEQUENCE,
                                     signature_edits::kEmptySignedData);
    });
    ASSERT_FALSE(b.empty());
    medium::ImageCheckOptions none, trusted;
    trusted.caFile = kit.Path("ca.pem");
    const struct {
        const char *name;
        const medium::ImageCheckOptions *opt;
        int status;
        const char *signedAs;
    } cases[] = {{"with --ca", &trusted, medium::kInspectErrors, "not verified"},
                 {"without roots", &none, medium::kInspectWarnings, "verified"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        medium::Inspection in = Inspect(b, *c.opt);
        EXPECT_EQ(medium::InspectStatus(in.findings), c.status) << FindingsText(in.findings);
        EXPECT_NE(FindingsText(in.findings).find("the time stamp is not verified (it is not a readable time-stamp token)"),
                  std::string::npos) << FindingsText(in.findings);
        EXPECT_NE(InspectionJson(in).find(std::string("\"signed\":\"") + c.signedAs + "\""), std::string::npos) << InspectionJson(in);
        EXPECT_NE(InspectionJson(in).find("\"timestamp\":\"failed\""), std::string::npos) << InspectionJson(in);
    }
}

TEST_F(Gate, EverySingleByteChangeIsAnError)
{
    // The x86-64 medium differs from the others in its headers only; the
    // rest is the same kind of bytes, and every inspection takes time.
    const struct {
        const char *name;
        const Bytes *image;
        bool headersOnly;
    } cases[] = {{"built", built_, false}, {"signed", signed_, false}, {"built, 4 KiB layout", paged_, false},
                 {"signed, 4 KiB layout", signedPaged_, false}, {"signed, x86-64", signed64_, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<size_t> offsets = Offsets(*c.image, c.headersOnly);
        ASSERT_GT(offsets.size(), c.headersOnly ? 512u : 2000u + 512u);
        std::string passed;
        size_t misses = 0;
        Bytes b = *c.image;
        for (size_t k = 0; k < offsets.size(); k++) {
            const size_t at = offsets[k];
            // Low, high and every bit, in turn.
            const uint8_t flip = k % 3 == 0 ? 0x01 : k % 3 == 1 ? 0x80 : 0xFF;
            b[at] ^= flip;
            medium::Inspection in = Inspect(b);
            if (medium::InspectStatus(in.findings) != medium::kInspectErrors && misses++ < 5)
                passed += "offset " + std::to_string(at) + " ^ " + std::to_string(flip) + ":\n" + FindingsText(in.findings);
            b[at] ^= flip;
        }
        EXPECT_EQ(misses, 0u) << passed;
    }
}

// Signatures that do not hold, each an error with its reason.
TEST_F(Gate, BrokenSignaturesAreErrors)
{
    const SigningKit &kit = TestSigningKit();
    const Bytes mine = ReadFile(kit.Path("signer.der")), other = ReadFile(kit.Path("other.der"));
    ASSERT_EQ(mine.size(), other.size());
    for (const Bytes *image : {signed_, signed64_}) {
        const Bytes &signedImage = *image;
        tk::PeImage pe;
        std::string err;
        ASSERT_TRUE(tk::ParsePeImage(signedImage.data(), signedImage.size(), &pe, &err)) << err;
        SCOPED_TRACE(pe.pe32plus ? "PE32+" : "PE32");
        const uint32_t tableSize = pe.dirs[tk::kPeDirSecurity].size;
        const uint32_t entryAt = pe.dirOffset + 8 * tk::kPeDirSecurity;
        const size_t certAt = (size_t)(std::search(signedImage.begin(), signedImage.end(), mine.begin(), mine.end()) -
                                       signedImage.begin());
        ASSERT_LT(certAt, signedImage.size());

        // Each change keeps the PE checksum right, so the signature's own check
        // must find it.
        const struct {
            const char *name;
            std::function<void(Bytes *)> change;
            const char *problem;
        } cases[] = {
            {"signed with another key",
             [&](Bytes *b) { std::copy(other.begin(), other.end(), b->begin() + (long)certAt); },
             "does not verify with the signer certificate's key"},
            {"certificate table truncated",
             [&](Bytes *b) {
                 b->resize(b->size() - 8);
                 SetUi32(&(*b)[entryAt + 4], tableSize - 8);
             },
             "bytes are left in the table"},
            {"certificate table with bytes appended",
             [&](Bytes *b) {
                 b->insert(b->end(), 8, 0);
                 SetUi32(&(*b)[entryAt + 4], tableSize + 8);
             },
             "gives dwLength 0"},
            {"bytes appended after the certificate table", [&](Bytes *b) { b->insert(b->end(), 16, 0x5A); },
             "16 bytes follow the certificate table"},
            {"a section byte changed", [&](Bytes *b) { (*b)[pe.sections[0].rawPtr + 1] ^= 0x10; },
             "the image digest does not match the signature"},
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.name);
            Bytes b = signedImage;
            c.change(&b);
            SetUi32(&b[pe.checkSumOffset], tk::PeChecksum(b.data(), b.size()));
            medium::Inspection in = Inspect(b);
            EXPECT_EQ(medium::InspectStatus(in.findings), medium::kInspectErrors) << FindingsText(in.findings);
            EXPECT_NE(FindingsText(in.findings).find(c.problem), std::string::npos) << FindingsText(in.findings);
            EXPECT_EQ(FindingsText(in.findings).find("PE checksum"), std::string::npos) << FindingsText(in.findings);
            EXPECT_NE(InspectionJson(in).find("\"signed\":\"not verified\""), std::string::npos);
        }
    }
}

}  // namespace
