// Certificate tables and PKCS#7 signatures: any bytes are read or refused
// with a reason; what is accepted holds together.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/authenticode.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

void CheckSignature(const uint8_t *data, size_t size)
{
    tk::SignatureInfo info;
    tk::Problems p;
    tk::ReadSignature(data, size, tk::TrustRoots(), &info, &p);
    // Anything short of a verified signature says why.
    Check(info.signatureVerifies || tk::HasError(p));
    Check(!info.signatureVerifies || info.read);
    Check(!info.read || (!info.imageDigest.empty() && !info.digestAlgorithm.empty()));
    Check(info.timestamp.empty() || !info.timestampKind.empty());
    for (const tk::Finding &x : p)
        Check(!x.text.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<tk::CertEntry> entries;
    tk::Problems p;
    tk::ParseCertificateTable(data, size, &entries, &p);
    uint64_t filled = 0;
    for (const tk::CertEntry &e : entries) {
        Check(e.offset % 8 == 0 && e.offset == filled);
        Check(e.length >= tk::kWinCertHeaderSize && e.size == e.length - tk::kWinCertHeaderSize);
        Check(e.data == data + e.offset + tk::kWinCertHeaderSize && e.offset + (uint64_t)e.length <= size);
        filled = (e.offset + (uint64_t)e.length + 7) & ~7ull;
    }
    // A table without problems is exactly its entries, each padded to 8.
    if (!tk::HasError(p))
        Check(filled == size && (size == 0 || !entries.empty()));
    if (!entries.empty())
        CheckSignature(entries[0].data, entries[0].size);
    CheckSignature(data, size);
    return 0;
}
