// Payload extraction through the LZ expansion service.
#include "launcher/extract.h"

#include <windows.h>

#include "launcher/errorbox.h"
#include "base/ids.h"
#include "base/platform.h"
#include "base/state.h"
#include "base/text.h"
#include "base/ticks.h"
#include "resmodule/setupstring.h"

// 1 when the path the platform reports ends in `name` (case ignored).
static int EndsWithName(const char *reported, const char *name)
{
    size_t reportedLength = TextLength(reported);
    size_t nameLength = TextLength(name);
    if (reportedLength < nameLength)
        return 0;
    return TextCompareNoCase(reported + reportedLength - nameLength, name) == 0;
}

// LZOpenFileA on directory + name that insists on that very name. When the
// platform cannot open or create a name, it quietly takes the same name with
// its last character replaced by '_': an old bootstrap still held open would
// then be left in place and started as if it were new. A handle on another
// name is closed and, when it was created, the stray file removed. Returns
// the handle or a negative value.
static int LzOpenExact(const char *directory, const char *name, WORD style)
{
    char path[kJoinedPathBuffer];
    if (!PathJoin(path, sizeof path, directory, name))
        return -1;
    OFSTRUCT of = {};
    int handle = LZOpenFileA(path, &of, style);
    if (handle < 0)
        return handle;
    // The file name is plain ASCII and only its last character can differ,
    // so comparing the end of the reported path is enough (and does not
    // depend on how the platform spells the directory).
    if (EndsWithName(of.szPathName, name))
        return handle;
    LZClose(handle);
    if (style & OF_CREATE)
        DeleteFileA(of.szPathName);
    return -1;
}

const char *EngineFileName()
{
    return g_launcher.engineAsExe ? ENGINE_FILE_EXE : ENGINE_FILE;
}

int CannotDelete(const char *path)
{
    return FileExists(path) && !DeleteFileA(path);
}

int ExpandPiece(int payloadFile, int resourceId, const char *directory)
{
    HMODULE own = (HMODULE)g_launcher.instance;
    HRSRC info = FindResourceA(own, MAKEINTRESOURCEA(resourceId), MAKEINTRESOURCEA(RT_PAYLOAD_PIECE));
    if (!info)
        return 0;
    HGLOBAL loaded = LoadResource(own, info);
    if (!loaded)
        return 0;
    const char *data = (const char *)LockResource(loaded);
    if (!data)
        return 0;
    DWORD size = SizeofResource(own, info);

    char temp[kJoinedPathBuffer];
    if (!PathJoin(temp, sizeof temp, directory, PIECE_TEMP_FILE))
        return 0;
    OFSTRUCT of = {};
    HFILE file = OpenFile(temp, &of, OF_CREATE | OF_READWRITE);
    if (file == HFILE_ERROR)
        return 0;
    // A short write (a full disk) would expand a cut piece: count it as failed.
    UINT written = _lwrite(file, data, size);
    if (written == (UINT)HFILE_ERROR || written != size) {
        _lclose(file);
        DeleteFileA(temp);
        return 0;
    }
    if (_lclose(file) == HFILE_ERROR) {
        DeleteFileA(temp);
        return 0;
    }
    FreeResource(loaded);

    int source = LzOpenExact(directory, PIECE_TEMP_FILE, OF_READ | OF_SHARE_DENY_NONE);
    if (source < 0) {
        DeleteFileA(temp);
        return 0;
    }
    LONG copied = LZCopy(source, payloadFile);
    LZClose(source);
    DeleteFileA(temp);
    return copied > 0;
}

int ExtractPayload(const char *directory, int baseId, const char *fileName)
{
    char target[kJoinedPathBuffer];
    if (!PathJoin(target, sizeof target, directory, fileName))
        return 0;
    int file = LzOpenExact(directory, fileName, OF_CREATE | OF_SHARE_DENY_NONE | OF_READWRITE);
    if (file < 0)
        return 0;

    char count[10] = "";
    LoadSetupString(baseId, count, sizeof count);
    long pieces = ParseDecimal(count);
    // Piece ids are 16-bit resource names; a count past them fails at the
    // first missing piece.
    for (long i = 0; i < pieces; i++) {
        if (!ExpandPiece(file, baseId + (int)i, directory)) {
            LZClose(file);
            DeleteFileA(target);
            return 0;
        }
    }
    LZClose(file);
    return 1;
}

// Waits up to 20 s for an old bootstrap file that another process still
// holds to become deletable. The queue is peeked (not emptied) so the
// thread stays responsive, with a short sleep so the wait does not spin.
static void WaitForOldBootstrap(const char *old)
{
    uint32_t start = TickNow();
    if (!CannotDelete(old))
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

int ExtractPayloads(const char *directory)
{
    char old[kJoinedPathBuffer];
    if (PathJoin(old, sizeof old, directory, BOOTSTRAP_FILE))
        WaitForOldBootstrap(old);

    if (!ExtractPayload(directory, PAYLOAD_BOOTSTRAP, BOOTSTRAP_FILE)) {
        ShowLaunchError(IDS_EXPAND_BOOTSTRAP, NULL);
        return 0;
    }
    if (!ExtractPayload(directory, PAYLOAD_ENGINE, EngineFileName())) {
        ShowLaunchError(IDS_EXPAND_ENGINE, NULL);
        return 0;
    }
    if (!ExtractPayload(directory, PAYLOAD_COMPANION, COMPANION_FILE)) {
        ShowLaunchError(IDS_EXPAND_COMPANION, NULL);
        return 0;
    }
    return 1;
}
