// The payload check record: for each payload the launcher carries, how many
// pieces it has, how long it is once expanded and the CRC-32 of the expanded
// bytes. It travels as the launcher's resource RT_PAYLOAD_PIECE /
// RES_PAYLOAD_RECORD.
//
// Layout, all little-endian:
//   0  u32 magic 0x4B435643 ('C','V','C','K')
//   4  u16 version, 1
//   6  u16 entry count N
//   8  N entries of 16 bytes: u32 payload base id, u32 piece count,
//      u32 expanded length of the whole payload (all pieces), u32 its CRC-32
// The record is exactly 8 + 16 * N bytes long.
#pragma once

#include <stdint.h>

enum {
    kPayloadRecordMagic = 0x4B435643,
    kPayloadRecordVersion = 1,
    kPayloadRecordHeaderSize = 8,
    kPayloadRecordEntrySize = 16,
    // More entries than any launcher carries payloads is a damaged record;
    // the bound also keeps the duplicate check short.
    kPayloadRecordMaxEntries = 64,
};

struct PayloadRecordEntry {
    uint32_t baseId;
    uint32_t pieceCount;
    uint32_t length;
    uint32_t crc;
};

enum PayloadRecordResult {
    PAYLOAD_RECORD_MALFORMED = -1,   // wrong magic, version, size or entry count, or an id twice
    PAYLOAD_RECORD_ABSENT = 0,       // well-formed, no entry for that id
    PAYLOAD_RECORD_FOUND = 1,
};

// Looks up `baseId` in the record of `size` bytes at `data` (null with size 0
// for "no record resource"; that is malformed, since a record must hold its
// header). Fills *entry only when found. The whole record is checked on every
// call, so a damaged one is reported as such whichever id is asked for: the
// launcher treats that as a failed check, not as "nothing to check".
int PayloadRecordFind(const void *data, uint32_t size, uint32_t baseId, PayloadRecordEntry *entry);

// Bytes a record of `count` entries takes.
uint32_t PayloadRecordSize(uint32_t count);

// Writes the record of `count` entries into `buf` of `cap` bytes. Returns the
// size written, or 0 when it does not fit or count is over the limit.
uint32_t PayloadRecordWrite(void *buf, uint32_t cap, const PayloadRecordEntry *entries,
                            uint32_t count);
