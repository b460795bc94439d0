// The payload check record (resource 3000/7099) as the medium tool makes it:
// for `medium build`, and as a file of its own (`medium record`) for builds
// that compile their own resource script and put each payload in one piece.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "base/crc32.h"
#include "base/payload_record.h"
#include "tools/medium/cli.h"

namespace medium {

// The record's bytes for `count` entries (at most kPayloadRecordMaxEntries).
std::vector<uint8_t> PayloadRecordBytes(const PayloadRecordEntry *entries, uint32_t count);

// The entry of a payload carried in one piece under `baseId`: the file's
// length and CRC-32, read in chunks.
bool RecordWholeFile(const std::string &path, const char *what, uint32_t baseId, const Crc32Table *table,
                     PayloadRecordEntry *entry, Failure *failure);

}  // namespace medium
