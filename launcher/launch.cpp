// Starting the bootstrap.
#include "launcher/launch.h"
#include "launcher/launch_seam.h"

#include <windows.h>

#include "launcher/extract.h"
#include "base/files.h"
#include "base/ids.h"
#include "base/platform.h"
#include "base/text.h"

// The command handed to WinExec: a block made at the first launch and kept.
// A block rather than a static buffer: it costs no space in the file.
static char *s_launchCommand;

char *LaunchCommandBlock()
{
    return s_launchCommand;
}

int FindRunningEngine(char *directory, size_t directoryCap)
{
    HMODULE engine = GetModuleHandleA(ENGINE_MODULE);
    if (!engine)
        return ENGINE_EXTRACT;
    // Without the engine's whole path there is nothing to start from it:
    // extract as usual.
    wchar_t wide[kPathBuffer];
    char path[kPathBuffer];
    if (!AnsiPathFromWide(wide, GetModuleFileNameW(engine, wide, kPathBuffer), path, sizeof path))
        return ENGINE_EXTRACT;
    char engineDir[kPathBuffer];
    if (!DirectoryPart(path, engineDir, sizeof engineDir) || TextLength(engineDir) >= directoryCap)
        return ENGINE_EXTRACT;
    TextCopy(directory, directoryCap, engineDir);
    return ENGINE_RUNNING;
}

static void DeleteInDirectory(const char *directory, const char *name)
{
    char path[kJoinedPathBuffer];
    if (PathJoin(path, sizeof path, directory, name))
        DeleteFileA(path);
}

int LaunchBootstrap(const char *directory, const char *fileName, int extract, const CommandLineResult *options,
                    int splashShown)
{
    int failed = extract ? ExtractPayloads(directory, options->engineAsExe) : 0;
    if (failed)
        return failed;

    if (!s_launchCommand)
        s_launchCommand = (char *)BlockAlloc(1, kLaunchCommandBuffer);
    char *command = s_launchCommand;
    if (command && BuildLaunchCommand(command, kLaunchCommandBuffer, directory, fileName, options, splashShown) &&
        WinExec(command, SW_SHOWNORMAL) >= 32)
        return 0;

    // A command that does not fit is refused like a failed start: a cut one
    // would lose the script, the work directory or the user's own options.
    if (extract) {
        // The companion stays; the two programs of this run go.
        DeleteInDirectory(directory, BOOTSTRAP_FILE);
        DeleteInDirectory(directory, EngineFileName(options->engineAsExe));
    }
    return IDS_LAUNCH_FAILED;
}
