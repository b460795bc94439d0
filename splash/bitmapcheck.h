// A bitmap resource checked before the system draws from it. Portable.
//
// A bitmap resource is a packed DIB: a BITMAPCOREHEADER (12 bytes) or a
// BITMAPINFOHEADER (40 bytes or one of its longer versions), the colour table
// (and the three colour masks of a 40-byte header with BI_BITFIELDS), then
// the pixels. The system's loader trusts the header; a header that promises
// more than the resource holds makes it read past the resource.
#pragma once

#include <stdint.h>

enum {
    kBitmapMaxSide = 16384,   // widest and tallest bitmap a splash may have
};

// 1 when the DIB of `size` bytes at `dib` is whole: a known header, one
// plane, 1, 4, 8, 16, 24 or 32 bits a pixel, no more colours than the bit
// count allows, sides from 1 to kBitmapMaxSide, and every byte the header
// promises (colours, masks, pixels) inside `size`. Uncompressed and
// bit-field pixels are measured from the sides; run-length pixels from the
// header's image size. On success *width and *height hold the sides.
int BitmapCheck(const unsigned char *dib, uint32_t size, int32_t *width, int32_t *height);
