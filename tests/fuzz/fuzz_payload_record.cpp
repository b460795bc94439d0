// Payload check record: on any bytes, the parser answers the same "damaged"
// for every id or none, finds only ids that are in the bytes, and accepts
// only records of the exact size; records the writer makes from the input's
// own numbers parse back to them.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "base/bytes.h"
#include "base/payload_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 0xFFFFFFFFu)
        return 0;
    const uint32_t len = uint32_t(size);
    const uint32_t ids[] = {7100, 7200, 7300, size >= 12 ? GetUi32(data + 8) : 0u,
                            size >= 28 ? GetUi32(data + 24) : 1u};
    int malformed = -2;
    for (uint32_t id : ids) {
        PayloadRecordEntry e = {~id, 0, 0, 0};
        const int r = PayloadRecordFind(data, len, id, &e);
        if (malformed == -2)
            malformed = r == PAYLOAD_RECORD_MALFORMED;
        else if (malformed != (r == PAYLOAD_RECORD_MALFORMED))
            __builtin_trap();
        if (r != PAYLOAD_RECORD_MALFORMED &&
            (size < 8 || size != PayloadRecordSize(GetUi16(data + 6))))
            __builtin_trap();
        if (r == PAYLOAD_RECORD_FOUND && e.baseId != id)
            __builtin_trap();
        if (r != PAYLOAD_RECORD_FOUND && e.baseId != ~id)
            __builtin_trap();
    }

    // The input's bytes as entries (ids made distinct), written and read back.
    std::vector<PayloadRecordEntry> entries;
    for (size_t at = 0; at + 12 <= size && entries.size() < kPayloadRecordMaxEntries; at += 12) {
        const uint32_t n = uint32_t(entries.size());
        entries.push_back({n, GetUi32(data + at), GetUi32(data + at + 4), GetUi32(data + at + 8)});
    }
    std::vector<uint8_t> rec(PayloadRecordSize(uint32_t(entries.size())));
    if (PayloadRecordWrite(rec.data(), uint32_t(rec.size()), entries.data(),
                           uint32_t(entries.size())) != rec.size())
        __builtin_trap();
    for (const PayloadRecordEntry &want : entries) {
        PayloadRecordEntry got;
        if (PayloadRecordFind(rec.data(), uint32_t(rec.size()), want.baseId, &got) !=
                PAYLOAD_RECORD_FOUND ||
            got.pieceCount != want.pieceCount || got.length != want.length || got.crc != want.crc)
            __builtin_trap();
    }
    return 0;
}
