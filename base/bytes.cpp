// Little-endian readers and writers over byte buffers.
#include "base/bytes.h"

void ReaderInit(ByteReader *r, const void *data, uint32_t len)
{
    r->data = (const unsigned char *)data;
    r->len = data ? len : 0;
    r->pos = 0;
    r->err = 0;
}

const unsigned char *ReaderTake(ByteReader *r, uint32_t want)
{
    if (r->err || want > r->len - r->pos) {
        r->err = 1;
        return nullptr;
    }
    const unsigned char *p = r->data + r->pos;
    r->pos += want;
    return p;
}

uint32_t ReaderU8(ByteReader *r)
{
    const unsigned char *p = ReaderTake(r, 1);
    return p ? p[0] : 0;
}

uint32_t ReaderU16(ByteReader *r)
{
    const unsigned char *p = ReaderTake(r, 2);
    return p ? GetUi16(p) : 0;
}

uint32_t ReaderU32(ByteReader *r)
{
    const unsigned char *p = ReaderTake(r, 4);
    return p ? GetUi32(p) : 0;
}

void ReaderSeek(ByteReader *r, uint32_t pos)
{
    if (r->err || pos > r->len)
        r->err = 1;
    else
        r->pos = pos;
}

uint32_t ReaderLeft(const ByteReader *r)
{
    return r->err ? 0 : r->len - r->pos;
}

void WriterInit(ByteWriter *w, void *data, uint32_t cap)
{
    w->data = (unsigned char *)data;
    w->cap = data ? cap : 0xFFFFFFFFu;
    w->pos = 0;
    w->err = 0;
}

void WriterBytes(ByteWriter *w, const void *bytes, uint32_t n)
{
    if (w->err || n > w->cap - w->pos) {
        w->err = 1;
        return;
    }
    if (w->data) {
        const unsigned char *s = (const unsigned char *)bytes;
        for (uint32_t i = 0; i < n; i++)
            w->data[w->pos + i] = s[i];
    }
    w->pos += n;
}

void WriterU8(ByteWriter *w, uint32_t v)
{
    unsigned char b = (unsigned char)v;
    WriterBytes(w, &b, 1);
}

void WriterU16(ByteWriter *w, uint32_t v)
{
    unsigned char b[2];
    SetUi16(b, v);
    WriterBytes(w, b, 2);
}

void WriterU32(ByteWriter *w, uint32_t v)
{
    unsigned char b[4];
    SetUi32(b, v);
    WriterBytes(w, b, 4);
}

uint32_t GetUi16(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8);
}

uint32_t GetUi32(const unsigned char *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void SetUi16(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

void SetUi32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

// Divides *value by 10 and gives the remainder, by shifting and
// subtracting: a 32-bit target then needs no 64-bit division routine.
static uint32_t DivideByTen(uint64_t *value)
{
    uint64_t quotient = 0;
    uint32_t remainder = 0;
    for (int bit = 63; bit >= 0; --bit) {
        remainder = (remainder << 1) | (uint32_t)((*value >> bit) & 1u);
        quotient <<= 1;
        if (remainder >= 10u) {
            remainder -= 10u;
            quotient |= 1u;
        }
    }
    *value = quotient;
    return remainder;
}

int FormatDecimal(char *out, size_t cap, int64_t value)
{
    char digits[kDecimalBuffer];
    // Magnitude in unsigned arithmetic, so the most negative value has one.
    uint64_t magnitude = value < 0 ? 0u - (uint64_t)value : (uint64_t)value;
    size_t n = sizeof(digits);
    digits[--n] = '\0';
    do {
        digits[--n] = (char)('0' + DivideByTen(&magnitude));
    } while (magnitude != 0);
    if (value < 0)
        digits[--n] = '-';
    size_t len = sizeof(digits) - 1 - n;
    if (!out || cap == 0)
        return 0;
    if (len + 1 > cap) {
        out[0] = '\0';
        return 0;
    }
    for (size_t i = 0; i <= len; i++)
        out[i] = digits[n + i];
    return 1;
}
