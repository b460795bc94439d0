// SZDD codec: expanding any bytes must fail cleanly or give exactly the size
// the header states; compressing any bytes must expand back to them.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "tools/szdd/szdd_codec.h"

namespace {

uint32_t HeaderSize(const std::vector<uint8_t> &file) {
    const uint8_t *p = &file[szdd::kSizeOffset];
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void CheckExpand(const std::vector<uint8_t> &file) {
    std::vector<uint8_t> out;
    if (szdd::Expand(file.data(), file.size(), out) == szdd::Result::Ok &&
        out.size() != HeaderSize(file))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<uint8_t> input(data, data + size);
    CheckExpand(input);

    // Most inputs fail at the magic; also give the bytes a valid header, its
    // size taken from the first two, so the coded data itself gets explored.
    if (size >= 2) {
        std::vector<uint8_t> file(szdd::kHeaderSize);
        memcpy(&file[0], szdd::kMagic, szdd::kMagicSize);
        file[szdd::kMethodOffset] = szdd::kMethodA;
        file[szdd::kSizeOffset] = data[0];
        file[szdd::kSizeOffset + 1] = data[1];
        file.insert(file.end(), data + 2, data + size);
        CheckExpand(file);
    }

    std::vector<uint8_t> packed;
    std::vector<uint8_t> back;
    if (szdd::Compress(data, size, packed) != szdd::Result::Ok ||
        packed.size() > szdd::MaxCompressedSize(size) ||
        szdd::Expand(packed.data(), packed.size(), back) != szdd::Result::Ok || back != input)
        __builtin_trap();
    return 0;
}
