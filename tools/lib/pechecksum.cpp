#include "tools/lib/pechecksum.h"

#include <errno.h>
#include <string.h>

namespace tk {

void PeChecksumInit(PeChecksumState *s, uint64_t fieldOffset)
{
    *s = PeChecksumState();
    s->fieldOffset = fieldOffset;
}

void PeChecksumUpdate(PeChecksumState *s, const uint8_t *data, size_t n)
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
