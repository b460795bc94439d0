// Payload extraction: the three SZDD-compressed payloads carried as resources
// (type 3000) are expanded into the work directory and checked: every piece
// whole, and the payload against its check record (resource 7099).
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/crc32.h"
#include "base/ids.h"

enum {
    kOldBootstrapWaitMs = 20000,
    kOldBootstrapPollMs = 10,  // sleep between tries while waiting
};

// Expands the bootstrap, the engine (named for `engineAsExe`) and the
// companion into `directory`, after waiting up to 20 s for an old bootstrap
// file to become deletable. Payloads expanded before a failure stay. Returns:
//   0     all three expanded and checked
//   7064  the bootstrap failed
//   7065  the engine failed
//   7066  the companion failed
int ExtractPayloads(const char *directory, int engineAsExe);

// Expands payload `baseId` (pieces baseId, baseId + 1, ... as many as string
// `baseId` says) into `directory` + `fileName`, a file created anew. Returns:
//   1  expanded and checked
//   0  the file could not be created, or a piece or the check failed (the
//      file is then deleted)
int ExtractPayload(const char *directory, int baseId, const char *fileName);

// Running totals of one payload's expanded bytes.
struct PayloadSum {
    uint32_t length;
    uint32_t crc;   // CRC-32 so far
};

// Expands piece `resourceId` of the launcher's own resources (SZDD, or any
// other bytes copied as they are) onto the end of `payloadFile`, adding what
// it wrote to `sum`. 0 when the piece is missing, malformed, expands to
// another length than its header states, or cannot be written.
int ExpandPiece(HANDLE payloadFile, int resourceId, const Crc32Table *crcTable, PayloadSum *sum);

// 1 when `path` exists and deleting it fails; 0 otherwise (a file that
// existed has then just been deleted).
int CannotDelete(const char *path);

// Name of the engine payload's file: "_INS0466.EXE" with -e, else "_INS0466._MP".
const char *EngineFileName(int engineAsExe);
