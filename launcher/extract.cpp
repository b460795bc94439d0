// Payload extraction: each piece expanded straight from the launcher's
// mapped resource into its payload file, and checked on the way.
#include "launcher/extract.h"

#include <windows.h>

#include "base/crc32.h"
#include "base/files.h"
#include "base/ids.h"
#include "base/payload_record.h"
#include "base/platform.h"
#include "launcher/state.h"
#include "base/text.h"
#include "base/szdd.h"
#include "base/ticks.h"
#include "resmodule/resbytes.h"
#include "resmodule/setupstring.h"

const char *EngineFileName(int engineAsExe)
{
    return engineAsExe ? ENGINE_FILE_EXE : ENGINE_FILE;
}

int CannotDelete(const char *path)
{
    return FileExists(path) && !DeleteFileA(path);
}

static int WriteToFile(void *ctx, const unsigned char *data, uint32_t len)
{
    return FileWriteAll((HANDLE)ctx, data, len);
}

int ExpandPiece(HANDLE payloadFile, int resourceId, const Crc32Table *crcTable, PayloadSum *sum)
{
    uint32_t size = 0;
    const unsigned char *piece = ResourceBytes((HMODULE)g_launcher.instance, MAKEINTRESOURCEA(RT_PAYLOAD_PIECE),
                                               MAKEINTRESOURCEA(resourceId), &size);
    if (!piece)
        return 0;
    // Straight from the mapped resource into the payload file. A piece
    // without the SZDD signature is copied as it is; an SZDD piece must be
    // well-formed and give exactly the length its header states.
    SzddOutput out;
    if (SzddExpandOrCopy(piece, size, crcTable, sum->crc, WriteToFile, payloadFile, &out) != SZDD_OK)
        return 0;
    if (out.length > 0xFFFFFFFFu - sum->length)
        return 0;
    sum->length += out.length;
    sum->crc = out.crc;
    return 1;
}

// 1 when what was expanded agrees with the payload's check record. Without a
// record (an older build), or when the piece count in force is not the one
// recorded (a resource library supplies its own), structure and lengths,
// already checked piece by piece, are all there is to check. A damaged
// record fails every payload: nothing on the medium can then be trusted.
static int MatchesRecord(int baseId, long pieces, const PayloadSum *sum)
{
    uint32_t size = 0;
    const unsigned char *record = ResourceBytes((HMODULE)g_launcher.instance, MAKEINTRESOURCEA(RT_PAYLOAD_PIECE),
                                                MAKEINTRESOURCEA(RES_PAYLOAD_RECORD), &size);
    if (!record)
        return 1;
    PayloadRecordEntry entry;
    int found = PayloadRecordFind(record, size, (uint32_t)baseId, &entry);
    if (found == PAYLOAD_RECORD_MALFORMED)
        return 0;
    if (found == PAYLOAD_RECORD_ABSENT || (long)entry.pieceCount != pieces)
        return 1;
    return entry.length == sum->length && entry.crc == sum->crc;
}

int ExtractPayload(const char *directory, int baseId, const char *fileName)
{
    char target[kJoinedPathBuffer];
    if (!PathJoin(target, sizeof target, directory, fileName))
        return 0;
    // A new file under exactly this name: an old one is removed first, so a
    // name planted as a link is never written through.
    HANDLE file = FileCreateNew(target);
    if (file == INVALID_HANDLE_VALUE)
        return 0;

    char count[kPieceCountChars] = "";
    LoadSetupString(baseId, count, sizeof count);
    long pieces = ParseDecimal(count);
    // The CRC table is built at run time rather than carried in the file.
    Crc32Table *crcTable = (Crc32Table *)BlockAlloc(1, sizeof(Crc32Table));
    PayloadSum sum = {0, 0};
    int ok = crcTable != NULL;
    if (ok)
        Crc32Init(crcTable);
    // Piece ids are 16-bit resource names; a count past them fails at the
    // first missing piece.
    for (long i = 0; ok && i < pieces; i++)
        ok = ExpandPiece(file, baseId + (int)i, crcTable, &sum);
    ok = ok && MatchesRecord(baseId, pieces, &sum);
    if (crcTable)
        BlockFree(1, crcTable);
    if (!CloseHandle(file))
        ok = 0;
    if (!ok) {
        // Nothing damaged or cut short stays behind to be started later.
        DeleteFileA(target);
        return 0;
    }
    return 1;
}

// Waits up to 20 s for an old bootstrap file that another process still
// holds to become deletable. The queue is peeked (not emptied) so the
// thread stays responsive, with a short sleep so the wait does not spin.
static void WaitForOldBootstrap(const char *old)
{
    uint32_t start = TickNow();
    // A directory never becomes deletable as a file, and a link is never
    // deleted (that could remove what it points at): creating the payload
    // fails at once instead.
    if (IsDirectory(old) || NameIsLink(old) || !CannotDelete(old))
        return;
    for (;;) {
        if (TickNow() - start >= kOldBootstrapWaitMs)
            return;
        MSG msg;
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
        Sleep(kOldBootstrapPollMs);
        if (!CannotDelete(old))
            return;
    }
}

int ExtractPayloads(const char *directory, int engineAsExe)
{
    char old[kJoinedPathBuffer];
    if (PathJoin(old, sizeof old, directory, BOOTSTRAP_FILE))
        WaitForOldBootstrap(old);

    if (!ExtractPayload(directory, PAYLOAD_BOOTSTRAP, BOOTSTRAP_FILE))
        return IDS_EXPAND_BOOTSTRAP;
    if (!ExtractPayload(directory, PAYLOAD_ENGINE, EngineFileName(engineAsExe)))
        return IDS_EXPAND_ENGINE;
    if (!ExtractPayload(directory, PAYLOAD_COMPANION, COMPANION_FILE))
        return IDS_EXPAND_COMPANION;
    return 0;
}
