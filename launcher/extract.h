// Payload extraction: the three SZDD-compressed payloads carried as resources
// (type 3000) are expanded into the work directory with the LZ service.
#pragma once

enum {
    kOldBootstrapWaitMs = 20000,
    kOldBootstrapPollMs = 10,  // sleep between tries while waiting
};

#define BOOTSTRAP_FILE      "_INS0366._MP"
#define ENGINE_FILE         "_INS0466._MP"
#define ENGINE_FILE_EXE     "_INS0466.EXE"
#define COMPANION_FILE      "_INS0166._MP"
#define PIECE_TEMP_FILE     "_INS0166.TMP"

// Expands the bootstrap, the engine and the companion into `directory`,
// after waiting up to 20 s for an old bootstrap file to become deletable.
// Returns 1; 0 after the failing payload's box (7064, 7065, 7066). Payloads
// expanded before the failure stay.
int ExtractPayloads(const char *directory);

// Expands payload `baseId` (pieces baseId, baseId + 1, ... as many as string
// `baseId` says) into `directory` + `fileName`. The file is written under that
// exact name or not at all. 0 on failure; the file is deleted when a piece
// failed.
int ExtractPayload(const char *directory, int baseId, const char *fileName);

// Expands piece `resourceId` of the launcher's own resources and appends it
// to the open `payloadFile`, through the temporary "_INS0166.TMP" in
// `directory` (deleted again). 1/0.
int ExpandPiece(int payloadFile, int resourceId, const char *directory);

// 1 when `path` exists and deleting it fails; 0 otherwise (a file that
// existed has then just been deleted).
int CannotDelete(const char *path);

// Name of the engine payload's file for the current options.
const char *EngineFileName();
