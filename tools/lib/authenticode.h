// Authenticode signatures of PE images, verified rather than noticed.
//
// Three steps, each usable alone:
//  - the image digest: every byte of the file in the order the platform
//    digests it (the headers without the CheckSum field and the certificate
//    table's directory entry, the sections' raw data by file offset, then
//    the bytes after the last section up to the certificate table), read in
//    blocks from a ByteSource so a large file is never held whole;
//  - the certificate table: WIN_CERTIFICATE entries, bounded, each with its
//    revision, type and 8-byte alignment checked;
//  - the signature: a PKCS#7 SignedData (read with OpenSSL's libcrypto)
//    whose content is a SpcIndirectDataContent holding the image digest;
//    the signed attributes' messageDigest must match that content and their
//    signature must verify with the signer certificate's key. A timestamp
//    (RFC 3161 or the older countersignature) is read and checked against
//    the signature it stamps, and believed only when its authority chains to
//    trusted roots. The certificate chain is checked only against a CA file
//    the caller names, and requires the code-signing purpose.
//
// Nothing from the file is trusted for a length or an offset before it is
// checked; every problem is a value in a Problems list.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/lib/pe_image.h"
#include "tools/lib/problem.h"

namespace tk {

constexpr uint32_t kMaxCertificateTable = 1u << 20;   // bytes read of a certificate table
constexpr uint32_t kMaxCertificateEntries = 16;
constexpr uint16_t kWinCertRevision2 = 0x0200;
constexpr uint16_t kWinCertTypePkcsSignedData = 0x0002;
constexpr uint32_t kWinCertHeaderSize = 8;

// A run of bytes of a file.
struct FileSpan {
    uint64_t offset = 0;
    uint64_t size = 0;
};

// Where the parts of a PE image lie in its file, as the PE model read them.
struct ImageLayout {
    uint64_t fileSize = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t checksumOffset = 0;       // the optional header's CheckSum field (4 bytes)
    uint32_t certEntryOffset = 0;      // the certificate table's data directory entry (8 bytes)
    uint32_t certTableOffset = 0;      // a file offset; 0 and 0 when there is none
    uint32_t certTableSize = 0;
    std::vector<FileSpan> sections;    // each section's raw data
};

// The layout of an image the PE model parsed. False when its header holds
// no certificate table entry (fewer than five data directories): such an
// image cannot be signed.
bool ImageLayoutOf(const PeImage &pe, ImageLayout *out);

// The spans digested, in order, into `*out`, and how many bytes of the file
// lie in none of them and outside the certificate table (`*uncovered`: bytes
// between sections that a signature does not protect). False with an error
// in `*problems` when the layout cannot be digested: the two skipped fields
// outside the headers, the headers or a section past the file or into the
// certificate table, a certificate table that is not 8-byte aligned or not
// at the end of the file.
bool ImageDigestSpans(const ImageLayout &layout, std::vector<FileSpan> *out, uint64_t *uncovered, Problems *problems);

// The digest named `digestName` (an OpenSSL name: "sha256", "sha1", ...)
// of `spans` read from `src` in blocks. False with `*err` set when the
// digest is unknown or a read fails.
bool DigestSpans(const ByteSource &src, const std::vector<FileSpan> &spans, const std::string &digestName,
                 std::vector<uint8_t> *out, std::string *err);

// One entry of a certificate table; `data` points into the table given.
struct CertEntry {
    uint32_t offset = 0;       // within the table
    uint32_t length = 0;       // dwLength, header included
    uint16_t revision = 0;
    uint16_t type = 0;
    const uint8_t *data = nullptr;   // bCertificate
    size_t size = 0;
};

// Splits a certificate table into its entries. Every entry must fit the
// table, be revision 2 and of type PKCS#7 SignedData, and be followed by zero
// padding to the next 8-byte boundary; the entries must fill the table.
// Problems are errors; entries read before the first one are kept.
void ParseCertificateTable(const uint8_t *table, size_t size, std::vector<CertEntry> *out, Problems *problems);

// The roots a signature is checked against (PEM files; empty: not given).
struct TrustRoots {
    std::string ca;      // the signer's chain; the time stamp's too unless `tsaCa`
    std::string tsaCa;   // the time-stamp authority's chain
};

// How one check of a signature ended.
enum class SigCheck {
    NotChecked,   // no roots to check against, or an earlier check failed
    Passed,
    Failed,
    None,         // the time stamp only: there is none
};
const char *SigCheckText(SigCheck c);   // "not checked", "passed", "failed", "none"

// Each check, for scripts: the image digest matches; the signer's signature
// verifies; the time stamp is verified (signature, authority's purpose and
// chain, imprint); the signer chains to the roots; the signer's certificate
// is for code signing.
struct SignatureChecks {
    SigCheck digest = SigCheck::NotChecked;
    SigCheck signer = SigCheck::NotChecked;
    SigCheck timestamp = SigCheck::None;
    SigCheck chain = SigCheck::NotChecked;
    SigCheck purpose = SigCheck::NotChecked;
};

// Unsigned attributes and extra certificates can be added to a signed file
// without breaking its signature; past this many bytes in all they are a
// place to hide data.
constexpr uint64_t kMaxUnsignedBytes = 64 * 1024;

struct SignatureInfo {
    bool read = false;              // a SignedData holding a PE image digest
    bool signatureVerifies = false; // messageDigest matches and the signature verifies
    std::string digestAlgorithm;    // of the image digest: "sha256", ...
    std::vector<uint8_t> imageDigest;
    std::string signer;             // the signer certificate's subject (RFC 2253, UTF-8)
    std::string issuer;
    std::string timestamp;          // "2026-12-10 17:30:00 UTC"; empty: no time stamp read
    std::string timestampKind;      // "RFC 3161" or "countersignature"
    std::string timestampSigner;
    bool timestampVerified = false; // the time above was believed for the chain
    bool chainChecked = false;
    bool chainTrusted = false;      // the chain holds and the certificate is for code signing
    uint64_t unsignedBytes = 0;     // unsigned attributes and certificates besides the signer's
    SignatureChecks checks;
};

// Reads and checks the PKCS#7 SignedData `der` of `size` bytes (a
// certificate table entry's data; zero padding after the DER is allowed,
// anything else is not). A time stamp is believed only when it verifies and
// its authority chains to `roots` (`tsaCa`, else `ca`) with the timeStamping
// purpose; a time stamp not verified is an error when roots are given, a
// warning otherwise. With `roots.ca`, the signer's certificate must chain to
// it at the believed time (else now). Every failure is an error in
// `*problems`; the signing policy's doubts are warnings.
void ReadSignature(const uint8_t *der, size_t size, const TrustRoots &roots, SignatureInfo *out,
                   Problems *problems);

struct AuthenticodeReport {
    bool present = false;      // the image has a certificate table
    // The one verdict: the image digest matches, the signature verifies and
    // no check of the signature or its table found an error.
    bool verified = false;
    uint64_t uncovered = 0;    // see ImageDigestSpans
    std::vector<uint8_t> computedDigest;
    SignatureInfo signature;
};

// The whole check of an image read through `src`: its certificate table,
// the first signature in it, and the image digest that signature names.
void VerifyAuthenticode(const ByteSource &src, const ImageLayout &layout, const TrustRoots &roots,
                        AuthenticodeReport *out, Problems *problems);

}  // namespace tk
