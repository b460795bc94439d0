// String table blocks (resource type 6): string `id` lives in block
// id / 16 + 1, the (id % 16)th of the block's 16 counted UTF-16 strings.
//
// The rule for an untrusted block is here, once: every counted string must
// lie inside the block, or the whole block is refused, since one length that
// runs past the end makes every string of the block suspect. The launcher's
// bounded loader and the tools both use it.
#pragma once

#include <stdint.h>

enum { kStringsPerBlock = 16 };

// The block (resource name) that holds string `id`.
inline uint32_t StringBlockName(uint32_t id)
{
    return id / kStringsPerBlock + 1;
}

// Finds string `index` (0..15) of the block of `size` bytes at `block`.
// Returns 1 with its first unit at `*chars` and its length in units at
// `*count` (0 for an absent string) when every one of the 16 strings lies
// inside the block; 0 when the block is refused.
int StringBlockEntry(const unsigned char *block, uint32_t size, uint32_t index, const unsigned char **chars,
                     uint32_t *count);
