// CRC-32, slicing-by-8 over a table built at run time.
#include "base/crc32.h"

void Crc32Init(Crc32Table *table)
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        table->t[0][i] = c;
    }
    // t[s][i]: the CRC of byte i followed by s zero bytes.
    for (int s = 1; s < kCrc32Slices; s++)
        for (uint32_t i = 0; i < 256; i++) {
            const uint32_t prev = table->t[s - 1][i];
            table->t[s][i] = (prev >> 8) ^ table->t[0][prev & 0xFF];
        }
}

uint32_t Crc32Update(const Crc32Table *table, uint32_t crc, const void *data, size_t len)
{
    const uint32_t(*t)[256] = table->t;
    const unsigned char *p = (const unsigned char *)data;
    uint32_t c = ~crc;
    // Eight bytes a step, assembled byte by byte so that neither alignment
    // nor the host's byte order matters.
    while (len >= 8) {
        const uint32_t lo = c ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 |
                                 (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
        const uint32_t hi = (uint32_t)p[4] | (uint32_t)p[5] << 8 |
                            (uint32_t)p[6] << 16 | (uint32_t)p[7] << 24;
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        len -= 8;
    }
    while (len-- > 0)
        c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return ~c;
}
