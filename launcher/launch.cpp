// Starting the bootstrap.
#include "launcher/launch.h"

#include <windows.h>

#include "launcher/errorbox.h"
#include "launcher/extract.h"
#include "base/ids.h"
#include "base/platform.h"
#include "base/state.h"
#include "base/text.h"

char *g_lastLaunchCommand;

int FindRunningEngine(char *directory, size_t directoryCap, char *fileName, size_t fileNameCap)
{
    HMODULE engine = GetModuleHandleA(ENGINE_MODULE);
    if (!engine)
        return 1;
    // Without the engine's whole path there is nothing to start from it:
    // extract as usual.
    char path[kPathBuffer];
    DWORD n = GetModuleFileNameA(engine, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return 1;
    char engineDir[kPathBuffer];
    if (!DirectoryPart(path, engineDir, sizeof engineDir) ||
        TextLength(engineDir) >= directoryCap || TextLength(ENGINE_FILE) >= fileNameCap)
        return 1;
    TextCopy(directory, directoryCap, engineDir);
    TextCopy(fileName, fileNameCap, ENGINE_FILE);
    return 0;
}

static void DeleteInDirectory(const char *directory, const char *name)
{
    char path[kWorkPathBuffer];
    if (WorkPath(path, directory, name))
        DeleteFileA(path);
}

int LaunchBootstrap(const char *directory, const char *fileName, int extract)
{
    if (extract && !ExtractPayloads(directory))
        return 0;

    // A block rather than a static buffer: it costs no space in the file.
    if (!g_lastLaunchCommand)
        g_lastLaunchCommand = (char *)BlockAlloc(1, kLaunchCommandBuffer);
    char *command = g_lastLaunchCommand;
    if (command && BuildLaunchCommand(command, kLaunchCommandBuffer, directory, fileName) &&
        WinExec(command, SW_SHOWNORMAL) >= 32)
        return 1;

    // A command that does not fit is refused like a failed start: a cut one
    // would lose the script, the work directory or the user's own options.
    ShowLaunchError(IDS_LAUNCH_FAILED, NULL);
    if (extract) {
        // The companion stays; the two programs of this run go.
        DeleteInDirectory(directory, BOOTSTRAP_FILE);
        DeleteInDirectory(directory, EngineFileName());
    }
    return 0;
}
