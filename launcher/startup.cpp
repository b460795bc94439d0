// Start-up checks.
#include "launcher/startup.h"

#include <windows.h>

#include "base/ids.h"
#include "launcher/state.h"
#include "base/text.h"
#include "resmodule/resmodule.h"

enum {
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

// 1 when `path` exists or INSTALL.INS stands in its directory.
static int FileOrInstallScriptExists(const char *path)
{
    if (FileExists(path))
        return 1;
    char directory[kLongPathBuffer];
    char fallback[kLongPathBuffer];
    if (!DirectoryPart(path, directory, sizeof directory) ||
        !PathJoin(fallback, sizeof fallback, directory, FALLBACK_SCRIPT_FILE))
        return 0;
    return FileExists(fallback);
}

int ScriptExists(const char *path, int scriptGiven)
{
    // A script named with -f must exist under that very name.
    return scriptGiven ? FileExists(path) : FileOrInstallScriptExists(path);
}

int CheckResourceLibrary()
{
    char path[kLongPathBuffer];
    if (PathJoin(path, sizeof path, g_launcher.sourceDir, RESOURCE_LIBRARY_FILE) && FileOrInstallScriptExists(path)) {
        // Whatever the open gives: a library that cannot be read leaves the
        // launcher on its own resources.
        ResModuleOpen((HMODULE)g_launcher.instance, 1, path, "");
        return 0;
    }
    return IDS_LIBRARY_MISSING;
}
