#include "tools/lib/pechecksum.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

#include "base/bytes.h"

namespace tk {

void PeChecksumInit(PeChecksumState *s, uint64_t fieldOffset)
{
    *s = PeChecksumState();
    s->fieldOffset = fieldOffset;
}

namespace {

// Byte at a time: the field, a word split between chunks, an odd end.
void SumBytes(PeChecksumState *s, const uint8_t *data, size_t n)
{
    uint32_t sum = s->sum;
    for (size_t i = 0; i < n; i++) {
        uint64_t at = s->pos + i;
        // The field's bytes count as zero wherever the chunk boundaries fall.
        uint32_t b = (at - s->fieldOffset < 4 && at >= s->fieldOffset) ? 0 : data[i];
        if ((at & 1) == 0) {
            s->lowByte = b;
            continue;
        }
        sum += s->lowByte | (b << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    s->pos += n;
    s->sum = sum;
}

// Whole words from an even position, none of them the field's. Eight bytes
// are added at a time with the carry wrapped around: since 2^16 is 1 modulo
// 0xFFFF, the wide sum folded to 16 bits is the word-by-word sum (both are
// 0 only for all-zero input and otherwise the same value in 1..0xFFFF).
void SumWords(PeChecksumState *s, const uint8_t *data, size_t n)
{
    uint64_t acc = s->sum;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        memcpy(&v, data + i, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        v = __builtin_bswap64(v);
#endif
        acc += v;
        acc += acc < v;
    }
    for (; i + 2 <= n; i += 2) {
        uint64_t v = GetUi16(data + i);
        acc += v;
        acc += acc < v;
    }
    while (acc >> 16)
        acc = (acc & 0xFFFF) + (acc >> 16);
    s->sum = (uint32_t)acc;
    s->pos += i;
}

}  // namespace

void PeChecksumUpdate(PeChecksumState *s, const uint8_t *data, size_t n)
{
    while (n > 0) {
        size_t step;
        const uint64_t fieldEnd = s->fieldOffset + 4;
        if ((s->pos & 1) != 0 || (s->pos >= s->fieldOffset && s->pos < fieldEnd)) {
            step = 1;
            SumBytes(s, data, step);
        } else {
            // Up to the field (when it lies ahead) and an even count.
            uint64_t room = s->pos < s->fieldOffset ? s->fieldOffset - s->pos : UINT64_MAX;
            step = (size_t)std::min<uint64_t>(n, room) & ~(size_t)1;
            if (step == 0) {
                step = 1;
                SumBytes(s, data, step);
            } else {
                SumWords(s, data, step);
            }
        }
        data += step;
        n -= step;
    }
}

uint32_t PeChecksumFinish(const PeChecksumState *s)
{
    uint32_t sum = s->sum;
    if (s->pos & 1) {
        sum += s->lowByte;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    // The length is added as 32 bits, as the platform does.
    return sum + (uint32_t)s->pos;
}

bool PeChecksumOfFile(FILE *f, uint64_t fieldOffset, uint32_t *out, std::string *err)
{
    if (fseek(f, 0, SEEK_SET) != 0) {
        *err = std::string("cannot read: ") + strerror(errno);
        return false;
    }
    PeChecksumState s;
    PeChecksumInit(&s, fieldOffset);
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        PeChecksumUpdate(&s, buf, n);
    if (ferror(f)) {
        *err = std::string("cannot read: ") + strerror(errno);
        return false;
    }
    *out = PeChecksumFinish(&s);
    return true;
}

}  // namespace tk
