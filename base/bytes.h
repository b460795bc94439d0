// Little-endian fields read from and written to byte buffers.
//
// ByteReader is a cursor over input that may be hostile: it keeps its first
// error, after which every read fails and gives zeros, so a run of reads is
// checked once at the end. Bounds are written as `want <= len - pos` (pos
// never exceeds len) so that they cannot overflow.
//
// ByteWriter fills a caller's buffer of `cap` bytes; a write that does not
// fit writes nothing and sets `err`, so a run of writes is also checked once.
// With a null `data` it only counts (`pos` is the size the writes would need).
#pragma once

#include <stddef.h>
#include <stdint.h>

struct ByteReader {
    const unsigned char *data;
    uint32_t len;
    uint32_t pos;
    int err;
};

void ReaderInit(ByteReader *r, const void *data, uint32_t len);
// The next `want` bytes, or null (and the error set) when fewer remain.
const unsigned char *ReaderTake(ByteReader *r, uint32_t want);
uint32_t ReaderU8(ByteReader *r);
uint32_t ReaderU16(ByteReader *r);
uint32_t ReaderU32(ByteReader *r);
// Moves to absolute offset `pos`; past the end is an error.
void ReaderSeek(ByteReader *r, uint32_t pos);
// Bytes left to read (0 after an error).
uint32_t ReaderLeft(const ByteReader *r);

struct ByteWriter {
    unsigned char *data;
    uint32_t cap;
    uint32_t pos;
    int err;
};

void WriterInit(ByteWriter *w, void *data, uint32_t cap);
void WriterBytes(ByteWriter *w, const void *bytes, uint32_t n);
void WriterU8(ByteWriter *w, uint32_t v);
void WriterU16(ByteWriter *w, uint32_t v);
void WriterU32(ByteWriter *w, uint32_t v);

// Field access at a fixed place in a buffer the caller has measured.
uint32_t GetUi16(const unsigned char *p);
uint32_t GetUi32(const unsigned char *p);
void SetUi16(unsigned char *p, uint32_t v);
void SetUi32(unsigned char *p, uint32_t v);

enum { kDecimalBuffer = 21 };   // any long, sign and terminator included

// Writes `value` in decimal into `out` of `cap` bytes (kDecimalBuffer hold
// any). Returns 1 when it fitted; otherwise `out` is empty and 0. A long, not
// a 64-bit number: on 32-bit Windows that keeps 64-bit division out of the
// launcher.
int FormatDecimal(char *out, size_t cap, long value);
