// CRC-32, eight bytes a step over eight tables built at run time.
#include "base/crc32.h"

void Crc32Init(Crc32Table *table)
{
    // Table k holds the CRC register after a byte and k zero bytes: eight
    // more bit steps of the register for each table.
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < kCrc32Slices; k++) {
            for (int bit = 0; bit < 8; bit++)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
            table->t[k][i] = c;
        }
    }
}

uint32_t Crc32Update(const Crc32Table *table, uint32_t crc, const void *data, size_t len)
{
    const unsigned char *p = (const unsigned char *)data;
    uint32_t c = ~crc;
    for (; len >= 8; len -= 8, p += 8) {
        c ^= (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
        c = table->t[7][c & 0xFF] ^ table->t[6][(c >> 8) & 0xFF] ^ table->t[5][(c >> 16) & 0xFF] ^
            table->t[4][c >> 24] ^ table->t[3][p[4]] ^ table->t[2][p[5]] ^ table->t[1][p[6]] ^
            table->t[0][p[7]];
    }
    while (len-- > 0)
        c = (c >> 8) ^ table->t[0][(c ^ *p++) & 0xFF];
    return ~c;
}
