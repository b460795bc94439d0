#include "tools/lib/icongroup.h"

#include <string.h>

#include "base/bytes.h"

namespace tk {
namespace {

constexpr uint32_t kGroupHeader = 6;
constexpr uint32_t kGroupEntry = 14;
constexpr uint32_t kBitmapInfoHeader = 40;
constexpr uint32_t kPngHeader = 24;   // signature, IHDR length and type, width, height
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::string Num(uint64_t v) { return std::to_string(v); }

bool KnownBitCount(uint32_t b)
{
    return b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
}

}  // namespace

bool CheckIconImage(const uint8_t *data, size_t size, uint32_t width, uint32_t height, const std::string &what,
                    const std::string &entry, Problems *problems)
{
    if (size >= kPngHeader && memcmp(data, kPngSignature, sizeof kPngSignature) == 0) {
        // The IHDR chunk follows the signature; width and height are big-endian.
        uint32_t w = (uint32_t)data[16] << 24 | (uint32_t)data[17] << 16 | (uint32_t)data[18] << 8 | data[19];
        uint32_t h = (uint32_t)data[20] << 24 | (uint32_t)data[21] << 16 | (uint32_t)data[22] << 8 | data[23];
        if (memcmp(data + 12, "IHDR", 4) != 0)
            AddError(problems, what + " is a PNG without its IHDR chunk first");
        else if (w != width || h != height)
            AddError(problems, what + " is a " + Num(w) + " x " + Num(h) + " PNG, but " + entry + " says " +
                                   Num(width) + " x " + Num(height));
        return true;
    }
    ByteReader r;
    ReaderInit(&r, data, (uint32_t)size);
    uint32_t headerSize = ReaderU32(&r);
    uint32_t w = ReaderU32(&r);
    uint32_t h = ReaderU32(&r);
    uint32_t planes = ReaderU16(&r);
    uint32_t bits = ReaderU16(&r);
    uint32_t compression = ReaderU32(&r);
    if (r.err || headerSize != kBitmapInfoHeader || size < kBitmapInfoHeader) {
        AddError(problems, what + " is neither a PNG nor a bitmap with a 40-byte BITMAPINFOHEADER");
        return false;
    }
    if (w != width || h != 2 * height)
        AddError(problems, what + " is a bitmap of " + Num(w) + " x " + Num(h) + " (image and mask), but " + entry +
                               " says " + Num(width) + " x " + Num(height));
    if (planes != 1 || !KnownBitCount(bits) || compression != 0) {
        AddError(problems, what + " has " + Num(planes) + " planes, " + Num(bits) + " bits per pixel and compression " +
                               Num(compression) + "; an icon bitmap has 1 plane, 1 to 32 bits and no compression");
        return false;
    }
    // Colour table, the image rows and the 1-bit mask rows, each row padded
    // to 4 bytes.
    uint64_t colours = bits <= 8 ? (1ull << bits) : 0;
    uint64_t rows = h / 2;
    uint64_t need = kBitmapInfoHeader + colours * 4 + rows * ((((uint64_t)w * bits + 31) / 32) * 4) +
                    rows * ((((uint64_t)w + 31) / 32) * 4);
    if (need > size)
        AddError(problems, what + " needs " + Num(need) + " bytes for its pixels and mask but holds " + Num(size));
    return false;
}

void CheckIconGroup(const uint8_t *group, size_t size, const std::vector<IconResource> &icons,
                    const std::string &groupName, std::vector<IconEntry> *out, Problems *problems)
{
    out->clear();
    ByteReader r;
    ReaderInit(&r, group, size > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)size);
    uint32_t reserved = ReaderU16(&r);
    uint32_t type = ReaderU16(&r);
    uint32_t count = ReaderU16(&r);
    if (r.err || reserved != 0 || type != 1) {
        AddError(problems, groupName + " does not start with an icon directory header (0, 1, count)");
        return;
    }
    if (count == 0)
        AddError(problems, groupName + " holds no icons");
    if (count > kMaxIconGroupEntries || (uint64_t)count * kGroupEntry != size - kGroupHeader) {
        AddError(problems, groupName + " says " + Num(count) + " icons in " + Num(size) + " bytes, where " +
                               Num(kGroupHeader + (uint64_t)count * kGroupEntry) + " are needed");
        if (count > kMaxIconGroupEntries || (uint64_t)count * kGroupEntry > size - kGroupHeader)
            return;
    }
    for (uint32_t i = 0; i < count; i++) {
        IconEntry e;
        uint32_t w = ReaderU8(&r);
        uint32_t h = ReaderU8(&r);
        ReaderU8(&r);   // colour count
        ReaderU8(&r);   // reserved
        ReaderU16(&r);  // planes
        e.bitCount = ReaderU16(&r);
        e.bytes = ReaderU32(&r);
        e.id = (uint16_t)ReaderU16(&r);
        e.width = w ? w : 256;
        e.height = h ? h : 256;
        std::string where = groupName + " entry " + Num(i + 1) + " (icon " + Num(e.id) + ")";
        const IconResource *img = nullptr;
        for (const IconResource &x : icons)
            if (x.id == e.id)
                img = &x;
        if (!img) {
            AddError(problems, where + " names an icon that is not in the file");
        } else {
            if (img->size != e.bytes)
                AddError(problems, where + " gives " + Num(e.bytes) + " bytes, but icon " + Num(img->id) + " holds " +
                                       Num(img->size));
            e.png = CheckIconImage(img->data, img->size, e.width, e.height, "icon " + Num(img->id), where, problems);
        }
        out->push_back(e);
    }
}

}  // namespace tk
