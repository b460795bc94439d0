// SZDD: the base expander on any bytes must fail cleanly or deliver exactly
// the size the header states, in chunks of at most a window, with the CRC of
// what it delivered; the copy path must pass other bytes through unchanged.
// The tool's compressor, fed in chunks cut by the input itself, must give
// the same file as in one piece, and that file must expand back.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "base/crc32.h"
#include "base/szdd.h"
#include "tools/lib/szdd_codec.h"

namespace {

Crc32Table g_table;
const bool g_tableReady = (Crc32Init(&g_table), true);

struct Collected {
    std::vector<uint8_t> data;
};

int Collect(void *ctx, const unsigned char *p, uint32_t n) {
    if (n == 0 || n > kSzddRingSize)
        __builtin_trap();
    Collected *c = static_cast<Collected *>(ctx);
    c->data.insert(c->data.end(), p, p + n);
    return 1;
}

uint32_t HeaderSize(const std::vector<uint8_t> &file) {
    const uint8_t *p = &file[kSzddSizeOffset];
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void CheckExpand(const std::vector<uint8_t> &file) {
    const uint32_t size = uint32_t(file.size());
    const uint8_t *p = file.empty() ? nullptr : file.data();
    Collected c;
    SzddOutput out;
    const int r = SzddExpand(p, size, &g_table, 0, Collect, &c, &out);
    if (out.length != c.data.size() ||
        out.crc != Crc32Update(&g_table, 0, c.data.data(), c.data.size()))
        __builtin_trap();
    if (r == SZDD_OK && out.length != HeaderSize(file))
        __builtin_trap();

    Collected copy;
    SzddOutput copyOut;
    const int rc = SzddExpandOrCopy(p, size, &g_table, 0, Collect, &copy, &copyOut);
    if (r == SZDD_NOT_SZDD ? (rc != SZDD_OK || copy.data != file) : (rc != r || copy.data != c.data))
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    (void)g_tableReady;
    const std::vector<uint8_t> input(data, data + size);
    CheckExpand(input);

    // Most inputs fail at the magic; also give the bytes a valid header, its
    // size taken from the first two, so the coded data itself gets explored.
    if (size >= 2) {
        std::vector<uint8_t> file(kSzddHeaderSize);
        memcpy(&file[0], kSzddMagic, kSzddMagicSize);
        file[kSzddMethodOffset] = kSzddMethodA;
        file[kSzddSizeOffset] = data[0];
        file[kSzddSizeOffset + 1] = data[1];
        file.insert(file.end(), data + 2, data + size);
        CheckExpand(file);
    }

    std::vector<uint8_t> packed;
    std::vector<uint8_t> back;
    if (szdd::Compress(data, size, packed) != szdd::Result::Ok ||
        packed.size() > szdd::MaxCompressedSize(size) ||
        szdd::Expand(packed.data(), packed.size(), back) != szdd::Result::Ok || back != input)
        __builtin_trap();

    // The same input in chunks whose lengths come from its own bytes.
    std::vector<uint8_t> streamed;
    szdd::Compressor c(size, [&streamed](const uint8_t *p, size_t n) {
        streamed.insert(streamed.end(), p, p + n);
        return true;
    });
    size_t at = 0;
    for (size_t i = 0; at < size; ++i) {
        size_t n = size_t(data[i % size]) * 7 + 1;
        if (n > size - at)
            n = size - at;
        if (c.Write(data + at, n) != szdd::Result::Ok)
            __builtin_trap();
        at += n;
    }
    if (c.Finish() != szdd::Result::Ok || streamed != packed)
        __builtin_trap();
    return 0;
}
