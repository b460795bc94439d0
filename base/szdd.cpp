// SZDD expander: bounded reads, and one buffer that holds the 4 KiB window's
// history followed by the chunk being produced. Output is written straight
// on (no ring position to wrap for every byte) and leaves in chunks of up to
// 64 KiB; after each, the chunk's last 4 KiB move to the front as the next
// chunk's history.
#include "base/szdd.h"

#include "base/bytes.h"
#include "base/platform.h"

#include <string.h>

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

    // A header of fixed size, measured once: its fields are read in place.
    const unsigned char *const file = (const unsigned char *)data;
    if (size < kSzddHeaderSize || file[kSzddMethodOffset] != kSzddMethodA)
        return SZDD_BAD_HEADER;
    const uint32_t total = GetUi32(file + kSzddSizeOffset);
    // The coded data as a pointer and its end: the hot loop checks its own
    // bounds rather than calling a reader for every item.
    const unsigned char *in = file + kSzddHeaderSize;
    const unsigned char *const inEnd = file + size;
    // A coded byte yields at most 144/17 bytes (a flag byte and eight 18-byte
    // matches): a larger size is refused before any work.
    if ((uint64_t)total > (uint64_t)(size - kSzddHeaderSize) * 9)
        return SZDD_TRUNCATED;

    SzddDelivery d = {crcTable, sink, ctx, out};
    // A block rather than the stack: the launcher is built without stack
    // probes. The window's history, then the chunk being produced, then room
    // for the 20-byte copy of a match that starts at the flush point.
    unsigned char *buffer = (unsigned char *)BlockAlloc(1, kSzddBufferSize);
    if (!buffer)
        return SZDD_NO_MEMORY;
    // Blanks stand for the window before the first byte.
    memset(buffer, kSzddBlank, kSzddWindowSize);
    unsigned char *const chunk = buffer + kSzddWindowSize;
    unsigned char *const flushAfter = chunk + kSzddChunkSize - kSzddMaxMatch;
    unsigned char *w = chunk;
    // Bytes produced so far are w - origin, in 32-bit arithmetic: one
    // pointer serves as the output position, the window position and the
    // count, so the loop carries less state.
    uint32_t origin = (uint32_t)(uintptr_t)chunk;
    uint32_t flags = 0;   // the flag byte with a marker bit above it: 1 means used up
    int result = SZDD_OK;

    for (;;) {
        const uint32_t produced = (uint32_t)(uintptr_t)w - origin;
        if (produced >= total)
            break;
        if (flags <= 1) {
            if (in == inEnd) {
                result = SZDD_TRUNCATED;
                break;
            }
            flags = *in++ | 0x100u;
        }
        if (flags & 1) {
            if (in == inEnd) {
                result = SZDD_TRUNCATED;
                break;
            }
            *w++ = *in++;
        } else {
            if (inEnd - in < 2) {
                result = SZDD_TRUNCATED;
                break;
            }
            // A window position names the latest byte with those low 12 bits
            // of its position (the first byte is at kSzddWindowStart) before
            // the one about to be written: 1 to 4096 bytes back, blanks
            // before the start.
            const uint32_t at = in[0] | (uint32_t)(in[1] & 0xF0) << 4;
            const uint32_t back = ((kSzddWindowStart - 1 + produced - at) & (kSzddWindowSize - 1)) + 1;
            const uint32_t n = (in[1] & 0x0Fu) + kSzddMinMatch;
            in += 2;
            if (n > total - produced) {
                result = SZDD_TOO_LONG;
                break;
            }
            const unsigned char *s = w - back;
            unsigned char *const end = w + n;
            // Forwards, reading before writing: a match that reaches into the
            // bytes it writes repeats them, as the platform's expander does.
            // When the source lies at least four bytes behind, four bytes a
            // step, and always five steps (20 bytes, past any match): a loop
            // of fixed length is predicted where one of the match's length
            // is not. What lands past the match, later output overwrites.
            if (back >= 4) {
                for (int step = 0; step < kSzddMaxMatch + 2; step += 4)
                    __builtin_memcpy(w + step, s + step, 4);
                w = end;
            } else {
                do
                    *w++ = *s++;
                while (w < end);
            }
        }
        flags >>= 1;
        if (w > flushAfter) {
            if (!Deliver(&d, chunk, (uint32_t)(w - chunk))) {
                result = SZDD_SINK_FAILED;
                break;
            }
            // The last window's worth becomes the history of the next chunk.
            memcpy(buffer, w - kSzddWindowSize, kSzddWindowSize);
            origin += (uint32_t)(chunk - w);
            w = chunk;
        }
    }
    if (result == SZDD_OK && in != inEnd)
        result = SZDD_TOO_LONG;
    if (result == SZDD_OK && !Deliver(&d, chunk, (uint32_t)(w - chunk)))
        result = SZDD_SINK_FAILED;
    BlockFree(1, buffer);
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
        const uint32_t n = left < kSzddChunkSize ? left : (uint32_t)kSzddChunkSize;
        if (!Deliver(&d, p, n))
            return SZDD_SINK_FAILED;
        p += n;
        left -= n;
    }
    return SZDD_OK;
}
