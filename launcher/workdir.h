// The work directory: where the payloads are expanded. Candidates are the
// TEMP directory, the Windows directory, then the roots of fixed and network
// drives; the first on a drive with more than `need` bytes free where a file
// can be created is taken.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define PROBE_FILE "_INS0566._MP"

enum {
    kWorkDirNeed = 500000,   // bytes the work directory's drive must exceed
};

// Writes the chosen directory into `out` of `cap` bytes (at least 261), as
// found: TEMP or the Windows directory as the system gives it, a drive root
// as "c:\". Returns:
//   0     a directory is in `out`
//   7063  no candidate qualifies
int SelectWorkDirectory(uint32_t need, char *out, size_t cap);

// 1 when the drive of `path` has more than `need` bytes free. Only a path
// that begins with a drive letter and a colon names a drive here.
int HasFreeSpace(const char *path, uint32_t need);

// The free-space test itself: sectors per cluster x bytes per sector x free
// clusters > need, without overflow.
int FreeSpaceExceeds(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                     uint32_t freeClusters, uint32_t need);

// 1 when the probe file "_INS0566._MP" can be created in `directory`; the
// probe is deleted again.
int ProbeWritable(const char *directory);

// What ScanDrives found.
enum {
    SCAN_FOUND = 0,
    SCAN_NONE = -1,
};

// Tries the drive roots of `driveType` (DRIVE_FIXED 3, DRIVE_REMOTE 4) from
// a to z. SCAN_FOUND when one has room and is writable: its root ("c:\") is
// in `out` (`cap` bytes, at least 4). SCAN_NONE when none qualifies; `out` is
// then unchanged.
int ScanDrives(unsigned driveType, uint32_t need, char *out, size_t cap);
