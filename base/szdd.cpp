// SZDD expander: bounded reads through ByteReader, the window doubling as the
// output buffer (flushed to the sink each time writing wraps around it).
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
    const uint32_t mask = kSzddWindowSize - 1;
    // A block rather than the stack: a 4 KiB frame would need a stack probe,
    // and the launcher is built without them.
    unsigned char *window = (unsigned char *)BlockAlloc(1, kSzddWindowSize);
    if (!window)
        return SZDD_NO_MEMORY;
    for (uint32_t i = 0; i < kSzddWindowSize; i++)
        window[i] = kSzddBlank;
    uint32_t w = kSzddWindowStart;
    uint32_t flushFrom = w;
    uint32_t produced = 0;
    uint32_t flags = 0;   // the flag byte with a marker bit above it: 1 means used up
    int result = SZDD_OK;

    while (produced < total && result == SZDD_OK) {
        if (flags <= 1) {
            const unsigned char *f = ReaderTake(&r, 1);
            if (!f) {
                result = SZDD_TRUNCATED;
                break;
            }
            flags = *f | 0x100u;
        }
        uint32_t src;
        uint32_t n;
        if (flags & 1) {
            const unsigned char *p = ReaderTake(&r, 1);
            if (!p) {
                result = SZDD_TRUNCATED;
                break;
            }
            // A literal: a one-byte copy from the byte itself.
            window[w] = *p;
            src = w;
            n = 1;
        } else {
            const unsigned char *p = ReaderTake(&r, 2);
            if (!p) {
                result = SZDD_TRUNCATED;
                break;
            }
            src = p[0] | (uint32_t)(p[1] & 0xF0) << 4;
            n = (p[1] & 0x0Fu) + kSzddMinMatch;
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
                if (!Deliver(&d, window + flushFrom, kSzddWindowSize - flushFrom)) {
                    result = SZDD_SINK_FAILED;
                    break;
                }
                flushFrom = 0;
            }
        }
    }
    if (result == SZDD_OK && ReaderLeft(&r) != 0)
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
        const uint32_t n = left < kSzddWindowSize ? left : (uint32_t)kSzddWindowSize;
        if (!Deliver(&d, p, n))
            return SZDD_SINK_FAILED;
        p += n;
        left -= n;
    }
    return SZDD_OK;
}
