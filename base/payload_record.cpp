// Payload check record: bounded parser and writer.
#include "base/payload_record.h"

#include "base/bytes.h"

int PayloadRecordFind(const void *data, uint32_t size, uint32_t baseId, PayloadRecordEntry *entry)
{
    ByteReader r;
    ReaderInit(&r, data, size);
    const uint32_t magic = ReaderU32(&r);
    const uint32_t version = ReaderU16(&r);
    const uint32_t count = ReaderU16(&r);
    if (r.err || magic != kPayloadRecordMagic || version != kPayloadRecordVersion ||
        count > kPayloadRecordMaxEntries || ReaderLeft(&r) != count * kPayloadRecordEntrySize)
        return PAYLOAD_RECORD_MALFORMED;

    int found = 0;
    PayloadRecordEntry hit = {0, 0, 0, 0};
    for (uint32_t i = 0; i < count; i++) {
        PayloadRecordEntry e;
        e.baseId = ReaderU32(&r);
        e.pieceCount = ReaderU32(&r);
        e.length = ReaderU32(&r);
        e.crc = ReaderU32(&r);
        // Two entries for one payload: which one is right cannot be told.
        for (uint32_t j = 0; j < i; j++)
            if (GetUi32(r.data + kPayloadRecordHeaderSize + j * kPayloadRecordEntrySize) == e.baseId)
                return PAYLOAD_RECORD_MALFORMED;
        if (e.baseId == baseId) {
            hit = e;
            found = 1;
        }
    }
    if (r.err)
        return PAYLOAD_RECORD_MALFORMED;
    if (!found)
        return PAYLOAD_RECORD_ABSENT;
    *entry = hit;
    return PAYLOAD_RECORD_FOUND;
}

uint32_t PayloadRecordSize(uint32_t count)
{
    return kPayloadRecordHeaderSize + count * kPayloadRecordEntrySize;
}

uint32_t PayloadRecordWrite(void *buf, uint32_t cap, const PayloadRecordEntry *entries,
                            uint32_t count)
{
    // (A null buffer would make the writer only count.)
    if (!buf || count > kPayloadRecordMaxEntries)
        return 0;
    ByteWriter w;
    WriterInit(&w, buf, cap);
    WriterU32(&w, kPayloadRecordMagic);
    WriterU16(&w, kPayloadRecordVersion);
    WriterU16(&w, count);
    for (uint32_t i = 0; i < count; i++) {
        WriterU32(&w, entries[i].baseId);
        WriterU32(&w, entries[i].pieceCount);
        WriterU32(&w, entries[i].length);
        WriterU32(&w, entries[i].crc);
    }
    return w.err ? 0 : w.pos;
}
