// Work directory selection.
#include "launcher/workdir.h"

#include <windows.h>

#include "base/files.h"
#include "base/ids.h"
#include "base/text.h"

static int IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int FreeSpaceExceeds(uint32_t sectorsPerCluster, uint32_t bytesPerSector,
                     uint32_t freeClusters, uint32_t need)
{
    // In 32 bits, without a 64-bit product: clusters x cluster size > need
    // holds exactly when the clusters exceed need / cluster size (rounded
    // down). A cluster size past 32 bits exceeds any need by itself.
    if (sectorsPerCluster == 0 || bytesPerSector == 0)
        return 0;
    if (sectorsPerCluster > 0xFFFFFFFFu / bytesPerSector)
        return freeClusters != 0;
    return freeClusters > need / (sectorsPerCluster * bytesPerSector);
}

int HasFreeSpace(const char *path, uint32_t need)
{
    // A network path, a relative path or an empty one names no drive root.
    if (!IsAsciiLetter(path[0]) || path[1] != ':')
        return 0;
    char root[4] = {path[0], ':', '\\', '\0'};
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return 0;
    return FreeSpaceExceeds(sectorsPerCluster, bytesPerSector, freeClusters, need);
}

int ProbeWritable(const char *directory)
{
    char probe[kJoinedPathBuffer];
    if (!PathJoin(probe, sizeof probe, directory, PROBE_FILE))
        return 0;
    // Created anew like a payload, so a probe name planted as a link is
    // removed rather than written through.
    HANDLE file = FileCreateNew(probe);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    DeleteFileA(probe);
    return 1;
}

int ScanDrives(unsigned driveType, uint32_t need, char *out, size_t cap)
{
    for (int i = 0; i < 26; i++) {
        // The system takes a drive letter in either case; the root is handed
        // on in lower case.
        char root[4] = {(char)('a' + i), ':', '\\', '\0'};
        if (GetDriveTypeA(root) == driveType && HasFreeSpace(root, need) && ProbeWritable(root) &&
            TextCopy(out, cap, root))
            return SCAN_FOUND;
    }
    return SCAN_NONE;
}

// 1 when `candidate` qualifies; it is then copied to `out`.
static int TakeIfSuitable(const char *candidate, uint32_t need, char *out, size_t cap)
{
    if (!HasFreeSpace(candidate, need) || !ProbeWritable(candidate))
        return 0;
    return TextCopy(out, cap, candidate);
}

int SelectWorkDirectory(uint32_t need, char *out, size_t cap)
{
    wchar_t wide[kPathBuffer];
    char candidate[kPathBuffer];

    // Absent, cut short or without an ANSI name (not even a short one), a
    // candidate is passed over like one without room.
    if (AnsiPathFromWide(wide, GetEnvironmentVariableW(L"TEMP", wide, kPathBuffer), candidate, sizeof candidate) &&
        TakeIfSuitable(candidate, need, out, cap))
        return 0;
    if (AnsiPathFromWide(wide, GetWindowsDirectoryW(wide, kPathBuffer), candidate, sizeof candidate) &&
        TakeIfSuitable(candidate, need, out, cap))
        return 0;

    if (cap > 0)
        out[0] = '\0';
    if (ScanDrives(DRIVE_FIXED, need, out, cap) == SCAN_FOUND ||
        ScanDrives(DRIVE_REMOTE, need, out, cap) == SCAN_FOUND)
        return 0;
    return IDS_NO_WORK_DIRECTORY;
}
