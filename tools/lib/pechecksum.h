// The PE optional header's CheckSum, computed as the platform's
// CheckSumMappedFile does: the file as little-endian 16-bit words (an odd
// last byte padded with zero), added with the carry folded back in, with the
// four bytes of the CheckSum field taken as zero; then the file length added.
//
// Streamed: bytes arrive in chunks of any size and at any boundary, so a
// file of any length is summed without holding it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

namespace tk {

struct PeChecksumState {
    uint64_t fieldOffset = 0;   // file offset of the CheckSum field
    uint64_t pos = 0;           // bytes seen so far
    uint32_t sum = 0;           // folded 16-bit sum, below 0x10000
    uint32_t lowByte = 0;       // the first byte of a word split between chunks
};

void PeChecksumInit(PeChecksumState *s, uint64_t fieldOffset);
void PeChecksumUpdate(PeChecksumState *s, const uint8_t *data, size_t n);
// The CheckSum of the bytes given so far (the state is not changed).
uint32_t PeChecksumFinish(const PeChecksumState *s);

// The CheckSum of the whole open file `f` (read from its start in blocks).
// False with `*err` set when it cannot be read.
bool PeChecksumOfFile(FILE *f, uint64_t fieldOffset, uint32_t *out, std::string *err);

}  // namespace tk
