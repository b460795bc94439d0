// Start-up checks.
#include "launcher/startup.h"

#include <windows.h>

#include "launcher/errorbox.h"
#include "base/ids.h"
#include "base/state.h"
#include "base/text.h"
#include "resmodule/resmodule.h"

enum {
    kStartupPathBuffer = 280,   // a 262-character directory and a file name
    kSearchSystem32 = 0x800,    // LOAD_LIBRARY_SEARCH_SYSTEM32
};

void HardenLibrarySearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel)
        return;
    // Through a generic function pointer: GetProcAddress's type says nothing
    // about the real one.
    void (*generic)(void) = (void (*)(void))GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (generic)
        ((SetDefaultDllDirectoriesFn)generic)(kSearchSystem32);
}

int ScriptExists(const char *path)
{
    if (FileExists(path))
        return 1;
    if (g_launcher.scriptGiven)
        return 0;
    char fallback[kStartupPathBuffer];
    if (!DirectoryPart(path, fallback, sizeof fallback) || !AddTrailingBackslash(fallback, sizeof fallback) ||
        !TextAppend(fallback, sizeof fallback, FALLBACK_SCRIPT_FILE))
        return 0;
    return FileExists(fallback);
}

int CheckResourceLibrary()
{
    char path[kStartupPathBuffer];
    int fits = TextCopy(path, sizeof path, g_launcher.sourceDir) && AddTrailingBackslash(path, sizeof path) &&
               TextAppend(path, sizeof path, RESOURCE_LIBRARY_FILE);
    if (fits && ScriptExists(path)) {
        // Whatever the open gives: a library that cannot be read leaves the
        // launcher on its own resources.
        ResModuleOpen((HMODULE)g_launcher.instance, 1, path, "");
        return 1;
    }
    ShowLaunchError(IDS_LIBRARY_MISSING, NULL);
    return 0;
}
