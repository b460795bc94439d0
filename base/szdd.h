// SZDD expansion: the format that the platform's LZ service (LZOpenFile /
// LZCopy) reads, method 'A' (LZSS over a 4 KiB window).
//
// Layout: the 8-byte magic, the method byte 'A', one byte for the last
// character of the original file name (unused here), the expanded size as a
// 32-bit little-endian number, then the coded data: a flag byte before each
// group of up to 8 items, read from its lowest bit; a set bit is one literal
// byte, a clear bit is a 2-byte match (12-bit window position, 4-bit length
// minus 3). The window starts filled with blanks and is first written at
// 4096 - 16.
//
// One expander for the launcher and the host tools: the whole piece is in
// memory (a mapped resource), the output leaves through the caller's sink in
// chunks of at most kSzddChunkSize (64 KiB), and a CRC-32 of it is kept on
// the way. It uses no constant tables; its only buffer holds the window's
// history and the chunk, one BlockAlloc block per call (not the stack: the
// launcher's frames stay below a page).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/crc32.h"

enum {
    kSzddHeaderSize = 14,
    kSzddMagicSize = 8,
    kSzddMethodOffset = 8,
    kSzddNameCharOffset = 9,
    kSzddSizeOffset = 10,
    kSzddWindowSize = 4096,
    kSzddWindowStart = 4096 - 16,   // first write position in the window
    kSzddChunkSize = 65536,         // the most output the sink receives in one call
    kSzddMinMatch = 3,
    kSzddMaxMatch = 18,             // 4 length bits + kSzddMinMatch
    kSzddMethodA = 'A',
    kSzddBlank = 0x20,              // the window's initial fill
    // The expander's one buffer: the window's history, a chunk, and the room
    // a match may run past the chunk's flush point (a match is copied in 20
    // bytes, two more than the longest, and starts at most kSzddMaxMatch
    // before the chunk's end).
    kSzddBufferSize = kSzddWindowSize + kSzddChunkSize + 4,
};

// "SZDD" 0x88 0xF0 0x27 0x33
extern const unsigned char kSzddMagic[kSzddMagicSize];

enum SzddResult {
    SZDD_OK = 0,
    SZDD_NOT_SZDD,      // no SZDD magic (SzddExpandOrCopy copies such input instead)
    SZDD_BAD_HEADER,    // magic, but the header is cut short or the method is not 'A'
    SZDD_TRUNCATED,     // the coded data ends before the header's size is produced
    SZDD_TOO_LONG,      // it would produce more than the header's size, or bytes follow
                        // the item that reaches it (unused bits of the last flag byte
                        // are the only slack allowed)
    SZDD_SINK_FAILED,   // the sink returned 0
    SZDD_NO_MEMORY,     // the window could not be allocated; nothing was expanded
};

// Receives the output in order, 1 to kSzddChunkSize bytes a call; every call
// of an expansion but the last brings more than kSzddChunkSize -
// kSzddMaxMatch bytes. `data` is valid only during the call. Returns 1 to go on, 0 to stop the expansion.
typedef int (*SzddSink)(void *ctx, const unsigned char *data, uint32_t len);

struct SzddOutput {
    uint32_t length;   // bytes the sink accepted
    uint32_t crc;      // the CRC given in, continued over those bytes
};

// Expands the SZDD file of `size` bytes at `data` through `sink`. Strict: the
// result is SZDD_OK only for a well-formed file whose coded data produces
// exactly the header's size and ends with the item that reaches it. `crcIn`
// is the CRC-32 so far (0 for none), so the pieces of one payload can be
// chained; `crcTable` comes from Crc32Init. On failure the sink may have
// received part of the output; `out` (never null) says how much either way.
int SzddExpand(const void *data, uint32_t size, const Crc32Table *crcTable, uint32_t crcIn,
               SzddSink sink, void *ctx, SzddOutput *out);

// As SzddExpand, except that input without the SZDD magic is passed to the
// sink unchanged (CRC kept the same way), as the platform's LZ service copies
// files that are not compressed. Never returns SZDD_NOT_SZDD.
int SzddExpandOrCopy(const void *data, uint32_t size, const Crc32Table *crcTable,
                     uint32_t crcIn, SzddSink sink, void *ctx, SzddOutput *out);
