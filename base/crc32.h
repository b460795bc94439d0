// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, as zlib and the
// `crc32` command compute it).
//
// The lookup tables are built at run time into a caller's Crc32Table rather
// than stored in the image: the launcher's size budget has no room for 4 KiB
// of constants, and building them takes microseconds. Four tables (four
// bytes a step) cost a few dozen bytes of code over one and check payloads
// several times faster (tests/bench/bench-crc32.sh), which the start-up time of
// a large medium feels.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum { kCrc32Slices = 4 };

struct Crc32Table {
    uint32_t t[kCrc32Slices][256];
};

// Fills `table`; call once before Crc32Update.
void Crc32Init(Crc32Table *table);

// Returns the CRC of everything given so far followed by `len` bytes at
// `data` (may be null when len is 0), where `crc` is the CRC so far: 0 for
// nothing. So Crc32Update(t, Crc32Update(t, 0, a, n), b, m) is the CRC of a
// followed by b, and Crc32Update(t, 0, "123456789", 9) is 0xCBF43926.
uint32_t Crc32Update(const Crc32Table *table, uint32_t crc, const void *data, size_t len);
