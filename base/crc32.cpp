// CRC-32, one table lookup a byte over a table built at run time.
#include "base/crc32.h"

void Crc32Init(Crc32Table *table)
{
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        table->t[i] = c;
    }
}

uint32_t Crc32Update(const Crc32Table *table, uint32_t crc, const void *data, size_t len)
{
    const unsigned char *p = (const unsigned char *)data;
    uint32_t c = ~crc;
    while (len-- > 0)
        c = (c >> 8) ^ table->t[(c ^ *p++) & 0xFF];
    return ~c;
}
