// Bitmap resource check.
#include "splash/bitmapcheck.h"

#include "base/bytes.h"

enum {
    kCoreHeader = 12,
    kInfoHeader = 40,
    kMaxInfoHeader = 124,    // BITMAPV5HEADER
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
};

static int KnownBitCount(uint32_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

int BitmapCheck(const unsigned char *dib, uint32_t size, int32_t *width, int32_t *height)
{
    ByteReader r;
    ReaderInit(&r, dib, size);
    uint32_t headerSize = ReaderU32(&r);
    int64_t w = 0;
    int64_t h = 0;
    uint32_t planes = 0;
    uint32_t bits = 0;
    uint32_t compression = kRgb;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    uint32_t colorBytes = 4;   // RGBQUAD; RGBTRIPLE under a core header

    if (headerSize == kCoreHeader) {
        w = ReaderU16(&r);
        h = ReaderU16(&r);
        planes = ReaderU16(&r);
        bits = ReaderU16(&r);
        colorBytes = 3;
    } else if (headerSize >= kInfoHeader && headerSize <= kMaxInfoHeader) {
        w = (int32_t)ReaderU32(&r);
        h = (int32_t)ReaderU32(&r);
        planes = ReaderU16(&r);
        bits = ReaderU16(&r);
        compression = ReaderU32(&r);
        imageSize = ReaderU32(&r);
        ReaderU32(&r);   // pixels per metre, across and down
        ReaderU32(&r);
        colorsUsed = ReaderU32(&r);
    } else {
        return 0;
    }
    if (r.err || planes != 1 || !KnownBitCount(bits))
        return 0;
    int topDown = h < 0;
    if (topDown)
        h = -h;
    if (w < 1 || w > kBitmapMaxSide || h < 1 || h > kBitmapMaxSide)
        return 0;

    uint64_t colors = 0;
    if (bits <= 8) {
        uint32_t most = 1u << bits;
        if (colorsUsed > most)
            return 0;
        colors = colorsUsed ? colorsUsed : most;
    } else {
        if (colorsUsed > 256)
            return 0;
        colors = colorsUsed;
    }
    uint64_t pixels = 0;
    switch (compression) {
    case kRgb:
        break;
    case kBitFields:
        if (bits != 16 && bits != 32)
            return 0;
        if (headerSize == kInfoHeader)
            colors += 3;   // the three masks follow a 40-byte header
        break;
    case kRle8:
    case kRle4:
        // Run-length pixels run bottom-up only.
        if (bits != (compression == kRle8 ? 8u : 4u) || topDown || imageSize == 0)
            return 0;
        pixels = imageSize;
        break;
    default:
        return 0;
    }
    if (compression == kRgb || compression == kBitFields) {
        uint64_t stride = (((uint64_t)w * bits + 31) / 32) * 4;
        pixels = stride * (uint64_t)h;
    }
    uint64_t need = (uint64_t)headerSize + colors * colorBytes + pixels;
    if (need > size)
        return 0;
    *width = (int32_t)w;
    *height = (int32_t)h;
    return 1;
}
