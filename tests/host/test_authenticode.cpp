// Authenticode: images signed with osslsigncode and the test certificates,
// then changed the ways a damaged or forged file would be.
#include <string.h>

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tests/host/signature_edits.h"
#include "tests/host/signing_kit.h"
#include "tools/lib/authenticode.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tk::AuthenticodeReport;
using tk::Problems;

std::string Source(const std::string &rel) { return std::string(CORVANE_SOURCE_DIR) + "/" + rel; }

// The layout of an image as the PE model reads it.
tk::ImageLayout LayoutOf(const Bytes &b)
{
    tk::PeImage pe;
    tk::ImageLayout l;
    std::string err;
    EXPECT_TRUE(tk::ParsePeImage(b.data(), b.size(), &pe, &err)) << err;
    EXPECT_TRUE(tk::ImageLayoutOf(pe, &l));
    return l;
}

void Verify(const Bytes &b, const std::string &ca, AuthenticodeReport *r, Problems *p, const std::string &tsaCa = "")
{
    tk::MemoryBytes m{b.data(), b.size()};
    tk::TrustRoots roots;
    roots.ca = ca;
    roots.tsaCa = tsaCa;
    tk::VerifyAuthenticode(tk::MemorySource(&m), LayoutOf(b), roots, r, p);
}

std::string Text(const Problems &p)
{
    std::string s;
    for (const tk::Finding &x : p)
        s += (x.severity == tk::Severity::Error ? "error: " : "warning: ") + x.text + "\n";
    return s;
}

size_t Find(const Bytes &hay, const Bytes &needle)
{
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
    return it == hay.end() ? std::string::npos : (size_t)(it - hay.begin());
}

// Every case over a PE32 (i386) and a PE32+ (x86-64) image: the two keep
// the certificate table's directory entry and so the digest's gap at
// different places.
class Authenticode : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kit_.ready) << "making the test certificates failed: see " << kit_.Path("kit.log");
        plain_ = Source(std::string("tests/fixtures/medium/") + GetParam());
        ASSERT_TRUE(SignWithKit(kit_, plain_, kit_.Path("signed.exe"), false)) << kit_.Path("sign.log");
        signed_ = ReadFile(kit_.Path("signed.exe"));
        ASSERT_GT(signed_.size(), ReadFile(plain_).size());
    }
    const SigningKit &kit_ = TestSigningKit();
    std::string plain_;
    Bytes signed_;
};

INSTANTIATE_TEST_SUITE_P(Images, Authenticode, ::testing::Values("small.exe", "small64.exe"),
                         [](const ::testing::TestParamInfo<const char *> &i) {
                             return std::string(i.param).substr(0, std::string(i.param).find('.'));
                         });

TEST_P(Authenticode, CleanSignatureVerifiesWithItsSigner)
{
    AuthenticodeReport r;
    Problems p;
    Verify(signed_, "", &r, &p);
    EXPECT_TRUE(r.present);
    EXPECT_TRUE(r.verified) << Text(p);
    EXPECT_EQ(Text(p), "warning: the signature has no time stamp, so it stops verifying when the signer's "
                       "certificate expires; sign with a time stamp\n");
    EXPECT_EQ(r.signature.digestAlgorithm, "sha256");
    EXPECT_EQ(r.signature.signer, "O=Corvane,CN=Corvane Test Signer");
    EXPECT_EQ(r.signature.issuer, "CN=Corvane Test Root");
    EXPECT_EQ(r.signature.timestamp, "");
    EXPECT_FALSE(r.signature.chainChecked);
    EXPECT_EQ(r.uncovered, 0u);
    // The table osslsigncode wrote is where the model looks: directory entry
    // 4 at 128 bytes into a PE32 optional header, 144 into a PE32+ one.
    const uint32_t opt = GetUi32(&signed_[0x3C]) + 24;
    const uint32_t entry = opt + (GetUi16(&signed_[opt]) == 0x20B ? 144 : 128);
    EXPECT_EQ(LayoutOf(signed_).certEntryOffset, entry);
    EXPECT_EQ(GetUi32(&signed_[entry]) + GetUi32(&signed_[entry + 4]), signed_.size());
}

TEST_P(Authenticode, UnsignedImageHasNoSignatureAndNoProblem)
{
    AuthenticodeReport r;
    Problems p;
    Verify(ReadFile(plain_), "", &r, &p);
    EXPECT_FALSE(r.present);
    EXPECT_FALSE(r.verified);
    EXPECT_TRUE(p.empty()) << Text(p);
}

TEST_P(Authenticode, TimestampIsReadAndChecked)
{
    // osslsigncode's own time-stamp authority failed once on a freshly made
    // machine; what it said is shown, and the case is skipped rather than
    // judged on a file the tool did not make.
    if (!SignWithKit(kit_, plain_, kit_.Path("stamped.exe"), true)) {
        Bytes log = ReadFile(kit_.Path("sign.log"));
        GTEST_SKIP() << "osslsigncode could not time-stamp: " << std::string(log.begin(), log.end());
    }
    Bytes b = ReadFile(kit_.Path("stamped.exe"));
    AuthenticodeReport r;
    Problems p;
    Verify(b, kit_.Path("ca.pem"), &r, &p);
    EXPECT_TRUE(r.verified) << Text(p);
    EXPECT_TRUE(p.empty()) << Text(p);
    EXPECT_EQ(r.signature.timestampKind, "RFC 3161");
    EXPECT_EQ(r.signature.timestampSigner, "CN=Corvane Test TSA");
    EXPECT_EQ(r.signature.timestamp.size(), strlen("2026-12-10 17:30:00 UTC")) << r.signature.timestamp;
    EXPECT_TRUE(r.signature.chainTrusted);
    EXPECT_TRUE(r.signature.timestampVerified);
    EXPECT_EQ(r.signature.checks.timestamp, tk::SigCheck::Passed);
    EXPECT_EQ(r.signature.checks.purpose, tk::SigCheck::Passed);

    // The authority's own roots can be given apart from the signer's; roots
    // that do not hold it leave the time stamp unbelieved, an error.
    const struct {
        const char *tsaCa;
        bool believed;
    } roots[] = {{"ca.pem", true}, {"stranger.pem", false}};
    for (const auto &c : roots) {
        SCOPED_TRACE(c.tsaCa);
        Problems q;
        Verify(b, kit_.Path("ca.pem"), &r, &q, kit_.Path(c.tsaCa));
        EXPECT_EQ(r.signature.timestampVerified, c.believed) << Text(q);
        EXPECT_EQ(r.verified, c.believed) << Text(q);
        EXPECT_EQ(tk::HasError(q), !c.believed) << Text(q);
    }
}

TEST_P(Authenticode, ChainCheckedOnlyAgainstTheGivenRoots)
{
    const struct {
        const char *ca;
        bool trusted;
        const char *problem;
    } cases[] = {
        {"ca.pem", true, nullptr},
        {"stranger.pem", false, "does not chain to the CA file"},
        {"missing.pem", false, "cannot read the CA file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ca);
        AuthenticodeReport r;
        Problems p;
        Verify(signed_, kit_.Path(c.ca), &r, &p);
        EXPECT_EQ(r.verified, c.trusted) << "one verdict: a chain that fails withholds it";
        EXPECT_TRUE(r.signature.chainChecked);
        EXPECT_EQ(r.signature.chainTrusted, c.trusted);
        if (c.problem)
            EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
        else
            EXPECT_FALSE(tk::HasError(p)) << Text(p);
    }
}

// Each change must leave the signature unverified with an error that says
// why. The CheckSum field is not digested, so changing it alone keeps the
// signature good (the checksum check catches it).
TEST_P(Authenticode, ChangedFilesDoNotVerify)
{
    const tk::ImageLayout l = LayoutOf(signed_);
    Bytes other = ReadFile(kit_.Path("other.der"));
    Bytes mine = ReadFile(kit_.Path("signer.der"));
    ASSERT_EQ(other.size(), mine.size()) << "certificates of the same shape";
    const size_t certAt = Find(signed_, mine);
    ASSERT_NE(certAt, std::string::npos);
    const uint32_t firstSection = (uint32_t)l.sections[0].offset;

    const struct {
        const char *name;
        void (*change)(Bytes *b, const tk::ImageLayout &l, size_t arg, const Bytes &other);
        size_t arg;
        const char *problem;   // null: still verifies
    } cases[] = {
        {"a byte of code", [](Bytes *b, const tk::ImageLayout &, size_t at, const Bytes &) { (*b)[at] ^= 1; },
         firstSection + 3, "image digest does not match"},
        {"a header byte (the time stamp)",
         [](Bytes *b, const tk::ImageLayout &, size_t, const Bytes &) { (*b)[GetUi32(&(*b)[0x3C]) + 8] ^= 0x40; },
         0, "image digest does not match"},
        {"the byte before the certificate table",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) { (*b)[l.certTableOffset - 1] ^= 0xFF; }, 0,
         "image digest does not match"},
        {"the CheckSum field",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) { (*b)[l.checksumOffset] ^= 0x55; }, 0,
         nullptr},
        {"the signer's certificate for one of another key",
         [](Bytes *b, const tk::ImageLayout &, size_t at, const Bytes &o) {
             std::copy(o.begin(), o.end(), b->begin() + (long)at);
         },
         certAt, "does not verify with the signer certificate's key"},
        {"a byte of the signed attributes' signature (the last of the entry's DER)",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) {
             size_t end = l.certTableOffset + GetUi32(&(*b)[l.certTableOffset]);
             while ((*b)[end - 1] == 0)
                 end--;
             (*b)[end - 1] ^= 0x01;
         },
         0, "does not verify"},
        {"the entry's revision",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) { (*b)[l.certTableOffset + 5] = 0x01; }, 0,
         "has revision 0x100"},
        {"the entry's type",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) { (*b)[l.certTableOffset + 6] = 0x01; }, 0,
         "has type 0x1"},
        {"the table cut by 8 bytes (file and directory)",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) {
             b->resize(b->size() - 8);
             SetUi32(&(*b)[l.certEntryOffset + 4], l.certTableSize - 8);
         },
         0, "bytes are left in the table"},
        {"the table cut by 8 bytes (file only)",
         [](Bytes *b, const tk::ImageLayout &, size_t, const Bytes &) { b->resize(b->size() - 8); }, 0,
         "runs past the end of the file"},
        {"8 bytes appended to the table (file and directory)",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) {
             b->resize(b->size() + 8);
             SetUi32(&(*b)[l.certEntryOffset + 4], l.certTableSize + 8);
         },
         0, "gives dwLength 0"},
        {"8 bytes appended after the table",
         [](Bytes *b, const tk::ImageLayout &, size_t, const Bytes &) { b->resize(b->size() + 8, 0xAB); }, 0,
         "8 bytes follow the certificate table"},
        {"a second entry appended to the table",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) {
             Bytes copy(b->begin() + l.certTableOffset, b->end());
             b->insert(b->end(), copy.begin(), copy.end());
             SetUi32(&(*b)[l.certEntryOffset + 4], l.certTableSize * 2);
         },
         0, "holds 2 entries"},
        {"the table moved off its 8-byte alignment",
         [](Bytes *b, const tk::ImageLayout &l, size_t, const Bytes &) {
             b->insert(b->begin() + l.certTableOffset, 4, 0);
             SetUi32(&(*b)[l.certEntryOffset], l.certTableOffset + 4);
         },
         0, "not 8-byte aligned"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = signed_;
        c.change(&b, l, c.arg, other);
        AuthenticodeReport r;
        Problems p;
        Verify(b, "", &r, &p);
        if (!c.problem) {
            EXPECT_TRUE(r.verified) << Text(p);
            continue;
        }
        EXPECT_FALSE(r.verified);
        EXPECT_TRUE(tk::HasError(p));
        EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
    }
}

// The digest spans: headers without the two fields, sections by file
// offset, the bytes after them up to the certificate table.
TEST(AuthenticodeSpans, OrderAndGaps)
{
    tk::ImageLayout l;
    l.fileSize = 0x1000;
    l.sizeOfHeaders = 0x200;
    l.checksumOffset = 0xD8;
    l.certEntryOffset = 0x128;
    l.sections = {{0x600, 0x200}, {0x200, 0x200}, {0x900, 0}, {0x400, 0x100}};
    l.certTableOffset = 0xE00;
    l.certTableSize = 0x200;
    std::vector<tk::FileSpan> spans;
    uint64_t uncovered = 0;
    Problems p;
    ASSERT_TRUE(tk::ImageDigestSpans(l, &spans, &uncovered, &p)) << Text(p);
    const tk::FileSpan want[] = {{0, 0xD8},      {0xDC, 0x4C},    {0x130, 0xD0}, {0x200, 0x200},
                                      {0x400, 0x100}, {0x600, 0x200}, {0x800, 0x600}};
    ASSERT_EQ(spans.size(), sizeof want / sizeof want[0]);
    for (size_t i = 0; i < spans.size(); i++) {
        EXPECT_EQ(spans[i].offset, want[i].offset) << i;
        EXPECT_EQ(spans[i].size, want[i].size) << i;
    }
    EXPECT_EQ(uncovered, 0x100u) << "0x500..0x600 lies in no section";

    const struct {
        const char *name;
        void (*change)(tk::ImageLayout *l);
        const char *problem;
    } bad[] = {
        {"a section past the table", [](tk::ImageLayout *x) { x->sections[0].size = 0x900; }, "runs past the certificate table"},
        {"the table past the file", [](tk::ImageLayout *x) { x->certTableSize = 0x208; }, "runs past the end of the file"},
        {"the fields outside the headers", [](tk::ImageLayout *x) { x->sizeOfHeaders = 0x12C; }, "not inside the headers"},
        {"headers past the file", [](tk::ImageLayout *x) { x->sizeOfHeaders = 0xF00; }, "run past the signed part"},
    };
    for (const auto &c : bad) {
        SCOPED_TRACE(c.name);
        tk::ImageLayout x = l;
        c.change(&x);
        Problems q;
        EXPECT_FALSE(tk::ImageDigestSpans(x, &spans, &uncovered, &q));
        EXPECT_NE(Text(q).find(c.problem), std::string::npos) << Text(q);
    }
}

TEST(AuthenticodeTable, EntriesBoundedAndPadded)
{
    auto entry = [](uint32_t length, uint16_t rev, uint16_t type, size_t total) {
        Bytes b(total, 0);
        SetUi32(&b[0], length);
        SetUi16(&b[4], rev);
        SetUi16(&b[6], type);
        return b;
    };
    const struct {
        const char *name;
        Bytes table;
        size_t entries;
        const char *problem;   // null: none
    } cases[] = {
        {"one entry, padded", entry(13, 0x200, 2, 16), 1, nullptr},
        {"one entry, exact", entry(16, 0x200, 2, 16), 1, nullptr},
        {"header cut short", Bytes(5, 0), 0, "is cut short"},
        {"length under the header", entry(7, 0x200, 2, 16), 0, "gives dwLength 7"},
        {"length past the table", entry(17, 0x200, 2, 16), 0, "gives dwLength 17"},
        {"huge length", entry(0xFFFFFFF8u, 0x200, 2, 16), 0, "gives dwLength 4294967288"},
        {"padding not zero", [&] { Bytes b = entry(13, 0x200, 2, 16); b[14] = 1; return b; }(), 1, "padding after"},
        {"padding missing at the end", entry(13, 0x200, 2, 13), 1, "not padded to 8 bytes"},
        {"old revision", entry(8, 0x100, 2, 8), 1, "revision 0x100"},
        {"X.509 type", entry(8, 0x200, 1, 8), 1, "type 0x1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<tk::CertEntry> out;
        Problems p;
        tk::ParseCertificateTable(c.table.data(), c.table.size(), &out, &p);
        EXPECT_EQ(out.size(), c.entries);
        if (c.problem)
            EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
        else
            EXPECT_TRUE(p.empty()) << Text(p);
    }
}

// ---------------------------------------------------------------------------
// Attacks on the signature: files signed with osslsigncode and the kit, then
// edited at the DER level the way an attacker with (or without) a key would.

using namespace signature_edits;

int StatusOf(const Problems &p)
{
    if (tk::HasError(p))
        return 2;
    return p.empty() ? 0 : 1;
}

TEST_P(Authenticode, AttacksAndGoodSignaturesGiveOneVerdict)
{
    const SigningKit &k = kit_;
    const std::string in = plain_;
    // Each file is made once per image, here, with the tools an attacker has.
    auto make = [&](const std::string &name, const std::string &args) -> Bytes {
        const std::string out = k.Path(name);
        remove(out.c_str());
        EXPECT_TRUE(Ossl(k, args + " -out '" + out + "'")) << name << ": see " << k.Path("sign.log");
        return ReadFile(out);
    };
    const std::string signIn = " -in '" + in + "'";
    Bytes expired = make("expired.exe", "sign -h sha256 -certs '" + k.Path("expired.pem") + "' -key '" +
                                             k.Path("expired.key") + "'" + signIn);
    // A time inside the expired certificate's validity (2020-05-20).
    const time_t inside = 1590000000;
    Bytes expiredFakeTsa = make("expired-ts.exe", "add -TSA-certs '" + k.Path("faketsa.pem") + "' -TSA-key '" +
                                                      k.Path("faketsa.key") + "' -TSA-time " +
                                                      std::to_string((long long)inside) + " -in '" +
                                                      k.Path("expired.exe") + "'");
    Bytes server = make("server.exe", "sign -h sha256 -certs '" + k.Path("server.pem") + "' -key '" +
                                          k.Path("server.key") + "'" + signIn);
    Bytes selfSigned = make("selfsigned.exe", "sign -h sha256 -certs '" + k.Path("selfsigned.pem") + "' -key '" +
                                                  k.Path("selfsigned.key") + "'" + signIn);
    Bytes noUsage = make("nousage.exe", "sign -h sha256 -certs '" + k.Path("stranger.pem") + "' -key '" +
                                            k.Path("stranger.key") + "'" + signIn);
    Bytes stamped = make("good-ts.exe", "sign -h sha256 -certs '" + k.Path("signer.pem") + "' -key '" +
                                            k.Path("signer.key") + "' -TSA-certs '" + k.Path("tsa-chain.pem") +
                                            "' -TSA-key '" + k.Path("tsa.key") + "'" + signIn);
    Bytes nested = make("nested.exe", "sign -nest -h sha256 -certs '" + k.Path("signer.pem") + "' -key '" +
                                          k.Path("signer.key") + "' -TSA-certs '" + k.Path("tsa-chain.pem") +
                                          "' -TSA-key '" + k.Path("tsa.key") + "' -in '" + k.Path("good-ts.exe") + "'");
    Key signerKey = ReadKey(k.Path("signer.key")), expiredKey = ReadKey(k.Path("expired.key"));
    Key tsaKey = ReadKey(k.Path("tsa.key"));
    Cert expiredCert = ReadCert(k.Path("expired.pem")), tsaCert = ReadCert(k.Path("tsa.pem"));
    ASSERT_TRUE(signerKey && expiredKey && tsaKey && expiredCert && tsaCert);

    auto weakDigest = [&](const EVP_MD *md) {
        return EditSignature(signed_, [&](PKCS7 *p7) {
            PKCS7_SIGNED *sd = p7->d.sign;
            X509_ALGOR *a = X509_ALGOR_new();
            X509_ALGOR_set0(a, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr);
            sk_X509_ALGOR_push(sd->md_algs, a);
            Resign(SignerOf(p7), signerKey.get(), md, SignedContent(p7));
        });
    };

    const struct {
        const char *name;
        Bytes image;
        int status;              // as medium inspect --ca ca.pem exits for the signature
        bool verified, trusted;
        std::vector<std::string> problems;   // each in the findings
        const char *unlikeOssl;  // why the verdict differs from osslsigncode verify -CAfile's; null: the same
    } cases[] = {
        {"a good signature without a time stamp", signed_, 1, true, true, {"has no time stamp"}, nullptr},
        {"a good signature with a time stamp under the root", stamped, 0, true, true, {}, nullptr},
        {"a nested signature", nested, 1, true, true, {"nested second signature"}, nullptr},
        {"an expired signer, RFC 3161 stamp dated inside its validity by a self-made authority", expiredFakeTsa, 2,
         false, false, {"the time stamp is not verified (its signer does not chain", "is expired now"}, nullptr},
        {"an expired signer countersigning itself inside its validity",
         EditSignature(expired,
                       [&](PKCS7 *p7) {
                           PKCS7_SIGNER_INFO *si = SignerOf(p7);
                           AddUnsigned(si, "1.2.840.113549.1.9.6", V_ASN1_SEQUENCE,
                                       Countersignature(si, expiredCert.get(), expiredKey.get(), inside));
                       }),
         2, false, false,
         {"not for time stamping", "is expired now, and no verified time stamp shows when it signed"}, nullptr},
        {"a countersignature by the root's time-stamp authority",
         EditSignature(signed_,
                       [&](PKCS7 *p7) {
                           PKCS7_add_certificate(p7, tsaCert.get());
                           PKCS7_SIGNER_INFO *si = SignerOf(p7);
                           AddUnsigned(si, "1.2.840.113549.1.9.6", V_ASN1_SEQUENCE,
                                       Countersignature(si, tsaCert.get(), tsaKey.get(), time(nullptr)));
                       }),
         0, true, true, {}, nullptr},
        {"a signer for servers only, under the root", server, 2, false, false, {"lacks codeSigning"}, nullptr},
        {"a certificate without extended key usage, not under the root", noUsage, 2, false, false,
         {"names no extended key usage", "does not chain to the CA file"}, nullptr},
        {"a self-signed signer", selfSigned, 2, false, false, {"is self-signed, so nothing vouches for it"}, nullptr},
        {"the signer's digest MD5 under a SHA-256 image digest", weakDigest(EVP_md5()), 2, false, false,
         {"the signer's digest is MD5"}, "MD5 is refused wherever it is used; osslsigncode accepts it"},
        {"the signer's digest SHA-1 under a SHA-256 image digest", weakDigest(EVP_sha1()), 1, true, true,
         {"the signer's digest is SHA-1"}, nullptr},
        {"the signer's digest not among the digest algorithms",
         EditSignature(signed_,
                       [&](PKCS7 *p7) {
                           X509_ALGOR *a = sk_X509_ALGOR_value(p7->d.sign->md_algs, 0);
                           X509_ALGOR_set0(a, OBJ_nid2obj(NID_sha384), V_ASN1_NULL, nullptr);
                       }),
         2, false, false, {"not among the signature's digest algorithms"},
         "the list is part of the structure; osslsigncode does not compare it"},
        {"an RFC 3161 attribute holding a SignedData without content",
         EditSignature(signed_,
                       [&](PKCS7 *p7) { AddUnsigned(SignerOf(p7), kOidRfc3161, V_ASN1_SEQUENCE, kEmptySignedData); }),
         2, false, false, {"not a readable time-stamp token"},
         "a time stamp that cannot be verified is refused with roots given; osslsigncode ignores it"},
        {"bytes after the DER inside the entry",
         [&] {
             Bytes e = EntryOf(signed_);
             while (!e.empty() && e.back() == 0)
                 e.pop_back();
             e.insert(e.end(), {0xDE, 0xAD, 0xBE, 0xEF});
             return WithEntry(signed_, e);
         }(),
         2, false, false, {"not zero padding"}, "nothing may hide in the entry; osslsigncode reads the DER only"},
        {"70,000 bytes of unsigned attributes",
         EditSignature(signed_,
                       [&](PKCS7 *p7) {
                           AddUnsigned(SignerOf(p7), "1.3.6.1.4.1.57264.1", V_ASN1_OCTET_STRING, Bytes(70000, 0x41));
                       }),
         1, true, true, {"carries 70026 bytes of unsigned attributes and extra certificates"},
         "the warning is Windows' certificate padding check; osslsigncode has none"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.image.empty());
        AuthenticodeReport r;
        Problems p;
        Verify(c.image, kit_.Path("ca.pem"), &r, &p);
        EXPECT_EQ(StatusOf(p), c.status) << Text(p);
        EXPECT_EQ(r.verified, c.verified) << Text(p);
        EXPECT_EQ(r.signature.chainTrusted && r.verified, c.trusted) << Text(p);
        for (const std::string &want : c.problems)
            EXPECT_NE(Text(p).find(want), std::string::npos) << Text(p);
        // The one verdict: never "verified" beside an error.
        if (tk::HasError(p))
            EXPECT_FALSE(r.verified);
    }
}

}  // namespace
