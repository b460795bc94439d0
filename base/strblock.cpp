// The walk of a string table block.
#include "base/strblock.h"

#include "base/bytes.h"

int StringBlockEntry(const unsigned char *block, uint32_t size, uint32_t index, const unsigned char **chars,
                     uint32_t *count)
{
    ByteReader r;
    ReaderInit(&r, block, size);
    *chars = 0;
    *count = 0;
    // The whole block first, whatever string is wanted.
    for (uint32_t i = 0; i < kStringsPerBlock; i++) {
        uint32_t n = ReaderU16(&r);
        const unsigned char *p = ReaderTake(&r, n * 2u);
        if (i == index) {
            *chars = p;
            *count = n;
        }
    }
    if (r.err || index >= kStringsPerBlock) {
        *chars = 0;
        *count = 0;
        return 0;
    }
    return 1;
}
