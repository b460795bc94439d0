// The medium's seal: on any bytes the reader stays inside them, accepts only
// records of the exact size whose every entry it can name, and what it
// accepts the writer writes back byte for byte; the checks over the files
// and payloads then run on whatever it read.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/lib/seal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A copy of exactly `size` bytes, so that a read past them is caught.
    std::vector<uint8_t> bytes(data, data + size);
    tk::Seal seal;
    std::string why;
    if (!tk::ParseSeal(bytes.data(), bytes.size(), &seal, &why)) {
        if (why.empty() || !seal.entries.empty())
            __builtin_trap();
        return 0;
    }
    if (seal.entries.empty() || size != tk::kSealHeaderSize + seal.entries.size() * tk::kSealEntrySize)
        __builtin_trap();
    std::vector<uint8_t> again;
    if (!tk::SealBytes(seal, &again, &why) || again != bytes)
        __builtin_trap();

    // The files beside it: each sealed one found with its bytes, under a
    // name in another case, and the first one changed.
    std::vector<tk::FoundFile> found;
    for (const tk::SealEntry &e : seal.entries) {
        if (e.kind == tk::SealKind::Payload)
            continue;
        tk::FoundFile f;
        f.name = e.name;
        for (char &c : f.name)
            c = (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
        f.readable = true;
        f.size = e.size;
        memcpy(f.sha256, e.sha256, sizeof f.sha256);
        found.push_back(f);
    }
    tk::Problems problems;
    tk::CheckSealBeside(seal, found, &problems);
    if (!problems.empty())
        __builtin_trap();
    if (!found.empty()) {
        found[0].sha256[0] ^= 1;
        tk::CheckSealBeside(seal, found, &problems);
        if (problems.empty())
            __builtin_trap();
    }
    for (const tk::SealEntry &e : seal.entries) {
        problems.clear();
        tk::CheckSealPayload(seal, e.name, e.size, e.sha256, &problems);
        if (!problems.empty())
            __builtin_trap();
    }
    return 0;
}
