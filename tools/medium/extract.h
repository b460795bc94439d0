// The launcher's three payloads, read back out of a setup.exe: each expanded
// piece by piece with the base's SZDD expander (as the launcher expands
// them), checked against its piece count and the payload check record, and
// for `medium extract` written under the file names the launcher uses.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "base/payload_record.h"
#include "tools/lib/reslist.h"

namespace medium {

// The medium tool is built on the toolkit's model of images and resources.
using namespace tk;

struct KnownPayload {
    uint16_t baseId;      // first piece; also the string with the piece count
    const char *file;     // the name the launcher expands it under
    const char *role;     // for people
};
constexpr int kPayloadCount = 3;
extern const KnownPayload kPayloads[kPayloadCount];

// Record states besides PayloadRecordResult's: the launcher has no record.
constexpr int kRecordNone = -2;

// What one payload holds and whether it comes out whole.
struct PayloadCheck {
    uint16_t baseId = 0;
    std::string countText;      // the launcher's string baseId, as found
    bool countFound = false;
    long pieces = 0;            // as the launcher reads the count (ParseDecimal)
    uint32_t piecesFound = 0;   // pieces present and expanded
    uint32_t stored = 0;        // pieces without the SZDD signature, copied as they are
    std::vector<bool> pieceStored;   // per piece expanded: true when copied as it is
    uint64_t packed = 0;        // bytes of the pieces
    uint64_t length = 0;        // expanded bytes
    uint32_t crc = 0;           // CRC-32 of the expanded bytes
    bool whole = false;         // every piece present and well-formed
    int record = kRecordNone;   // PAYLOAD_RECORD_* or kRecordNone
    PayloadRecordEntry entry = {0, 0, 0, 0};
    bool matches = false;       // whole and agrees with the record (true without one)
    std::vector<std::string> errors;     // "what is wrong; what to do"
    std::vector<std::string> warnings;
};

// Receives the expanded bytes in order; false stops the expansion.
using PayloadSink = std::function<bool(const uint8_t *data, uint32_t len)>;

// Expands payload `index` (0..2) of the launcher whose resources are `res`,
// feeding `sink` (may be empty), and fills `*out`. A piece count from
// `countOverride` (when not null) replaces the launcher's own string, as a
// resource library that carries the string does.
void CheckPayload(const ResList &res, int index, const PayloadSink &sink, PayloadCheck *out,
                  const std::string *countOverride = nullptr);

// The first `limit` bytes of payload `index`, expanded from its pieces in
// order (fewer when it is shorter or a piece is missing or damaged, which
// CheckPayload reports), so that a payload's headers are read without
// expanding it whole.
void PayloadHead(const ResList &res, int index, size_t limit, std::vector<uint8_t> *out);

// `medium extract SETUP.EXE DIR`: argv[0] is "extract".
int ExtractCommand(int argc, char **argv);
void ExtractHelp(FILE *out);

}  // namespace medium
