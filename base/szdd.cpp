// SZDD expander: bounded reads, and a ring of 64 KiB that holds the 4 KiB
// window and doubles as the output buffer (flushed to the sink each time
// writing wraps around it): sixteen times fewer writes than a ring of the
// window's own size.
#include "base/szdd.h"

#include "base/bytes.h"
#include "base/platform.h"

const unsigned char kSzddMagic[kSzddMagicSize] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};

namespace {

struct SzddDelivery {
    const Crc32Table *table;
    SzddSink sink;
    void *ctx;
    SzddOutput *out;
};

int Deliver(SzddDelivery *d, const unsigned char *p, uint32_t n)
{
    if (n == 0)
        return 1;
    if (!d->sink(d->ctx, p, n))
        return 0;
    d->out->crc = Crc32Update(d->table, d->out->crc, p, n);
    d->out->length += n;
    return 1;
}

int HasMagic(const void *data, uint32_t size)
{
    const unsigned char *p = (const unsigned char *)data;
    if (!p || size < kSzddMagicSize)
        return 0;
    for (int i = 0; i < kSzddMagicSize; i++)
        if (p[i] != kSzddMagic[i])
            return 0;
    return 1;
}

}  // namespace

int SzddExpand(const void *data, uint32_t size, const Crc32Table *crcTable, uint32_t crcIn,
               SzddSink sink, void *ctx, SzddOutput *out)
{
    out->length = 0;
    out->crc = crcIn;
    if (!HasMagic(data, size))
        return SZDD_NOT_SZDD;

    ByteReader r;
    ReaderInit(&r, data, size);
    ReaderTake(&r, kSzddMagicSize);
    const uint32_t method = ReaderU8(&r);
    ReaderU8(&r);   // last character of the original name
    const uint32_t total = ReaderU32(&r);
    if (r.err || method != kSzddMethodA)
        return SZDD_BAD_HEADER;
    // A coded byte yields at most 144/17 bytes (a flag byte and eight 18-byte
    // matches): a larger size is refused before any work.
    if ((uint64_t)total > (uint64_t)ReaderLeft(&r) * 9)
        return SZDD_TRUNCATED;

    SzddDelivery d = {crcTable, sink, ctx, out};
    const uint32_t mask = kSzddRingSize - 1;
    // A block rather than the stack: the launcher is built without stack
    // probes. Blanks stand for the window before the first byte.
    unsigned char *window = (unsigned char *)BlockAlloc(1, kSzddRingSize);
    if (!window)
        return SZDD_NO_MEMORY;
    for (uint32_t i = 0; i < kSzddRingSize; i++)
        window[i] = kSzddBlank;
    uint32_t w = kSzddWindowStart;
    uint32_t flushFrom = w;
    uint32_t produced = 0;
    uint32_t flags = 0;   // the flag byte with a marker bit above it: 1 means used up
    int result = SZDD_OK;
    // The coded data as a pointer and the bytes left: the hot loop checks
    // its own bounds rather than calling the reader for every item.
    const unsigned char *in = r.data + r.pos;
    uint32_t left = r.len - r.pos;

    while (produced < total && result == SZDD_OK) {
        if (flags <= 1) {
            if (left == 0) {
                result = SZDD_TRUNCATED;
                break;
            }
            flags = *in++ | 0x100u;
            left--;
        }
        uint32_t src;
        uint32_t n;
        if (flags & 1) {
            if (left == 0) {
                result = SZDD_TRUNCATED;
                break;
            }
            // A literal: a one-byte copy from the byte itself.
            window[w] = *in++;
            left--;
            src = w;
            n = 1;
        } else {
            if (left < 2) {
                result = SZDD_TRUNCATED;
                break;
            }
            // A window position names the latest ring position with those
            // low 12 bits before the one about to be written.
            src = in[0] | (uint32_t)(in[1] & 0xF0) << 4;
            src = (w - 1 - ((w - 1 - src) & (kSzddWindowSize - 1))) & mask;
            n = (in[1] & 0x0Fu) + kSzddMinMatch;
            in += 2;
            left -= 2;
            if (n > total - produced) {
                result = SZDD_TOO_LONG;
                break;
            }
        }
        flags >>= 1;
        produced += n;
        // Byte by byte, reading before writing: a match that reaches into the
        // bytes it writes repeats them, as the platform's expander does.
        while (n-- > 0) {
            window[w] = window[src];
            src = (src + 1) & mask;
            w = (w + 1) & mask;
            if (w == 0) {
                if (!Deliver(&d, window + flushFrom, kSzddRingSize - flushFrom)) {
                    result = SZDD_SINK_FAILED;
                    break;
                }
                flushFrom = 0;
            }
        }
    }
    if (result == SZDD_OK && left != 0)
        result = SZDD_TOO_LONG;
    if (result == SZDD_OK && !Deliver(&d, window + flushFrom, w - flushFrom))
        result = SZDD_SINK_FAILED;
    BlockFree(1, window);
    return result;
}

int SzddExpandOrCopy(const void *data, uint32_t size, const Crc32Table *crcTable,
                     uint32_t crcIn, SzddSink sink, void *ctx, SzddOutput *out)
{
    const int result = SzddExpand(data, size, crcTable, crcIn, sink, ctx, out);
    if (result != SZDD_NOT_SZDD)
        return result;
    SzddDelivery d = {crcTable, sink, ctx, out};
    const unsigned char *p = (const unsigned char *)data;
    uint32_t left = p ? size : 0;
    while (left > 0) {
        const uint32_t n = left < kSzddRingSize ? left : (uint32_t)kSzddRingSize;
        if (!Deliver(&d, p, n))
            return SZDD_SINK_FAILED;
        p += n;
        left -= n;
    }
    return SZDD_OK;
}
