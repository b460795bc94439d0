// WinMain: checks the medium, processes the options, shows the splash and
// creates the hidden main window, whose creation extracts and launches; then
// serves messages until the timer ends the launcher. The exit code is 0 on
// every path: failures differ from success only in the boxes shown.
#include <windows.h>

#include "launcher/cmdline.h"
#include "base/files.h"
#include "launcher/errorbox.h"
#include "base/ids.h"
#include "launcher/mainwnd.h"
#include "launcher/startup.h"
#include "base/state.h"
#include "base/text.h"
#include "base/ticks.h"
#include "resmodule/resmodule.h"
#include "splash/splash.h"

// Source directory and default script path from the launcher's own file
// name, in its short form when the code page cannot hold the long one: every
// path built from it (library, script, the bootstrap's -f) then names the
// real files. 0 when the file name cannot be had whole.
static int TakeSourceDirectory(HINSTANCE instance, int *defaultScriptFits)
{
    wchar_t wide[kPathBuffer];
    char modulePath[kPathBuffer];
    if (!AnsiPathFromWide(wide, GetModuleFileNameW(instance, wide, kPathBuffer), modulePath, sizeof modulePath))
        return 0;
    char *script = g_launcher.scriptPath;
    if (!DirectoryPart(modulePath, script, kStateTextBuffer) || !AddTrailingBackslash(script, kStateTextBuffer))
        return 0;
    TextCopy(g_launcher.sourceDir, kStateTextBuffer, script);
    *defaultScriptFits = TextAppend(script, kStateTextBuffer, DEFAULT_SCRIPT_FILE);
    return 1;
}

static int RegisterLauncherClass(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = LauncherWndProc;
    wc.hInstance = instance;
    // No icon of this name exists, so the class has none; kept so that a
    // resource library build can give it one.
    wc.hIcon = LoadIconA(instance, LAUNCHER_CLASS_NAME);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszClassName = LAUNCHER_CLASS_NAME;
    return RegisterClassA(&wc) != 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous;
    (void)show;
    HWND main = NULL;
    int defaultScriptFits = 0;
    HardenLibrarySearch();

    // The windows and the abort flag are zero from the start: WinMain runs
    // once per process.
    g_launcher.instance = instance;
    g_launcher.splashClosed = 1;

    if (!LauncherStateAllocate())
        goto done;
    if (!TakeSourceDirectory(instance, &defaultScriptFits)) {
        // Without its own directory the launcher cannot find the medium.
        ShowLaunchError(IDS_LIBRARY_MISSING, NULL);
        goto done;
    }
    if (!CheckResourceLibrary())
        goto done;

    ProcessCommandLine(commandLine ? commandLine : "");

    // A default script path cut short names no script; -f replaces it.
    if (!ScriptExists(g_launcher.scriptPath) || (!g_launcher.scriptGiven && !defaultScriptFits)) {
        ShowLaunchError(IDS_SCRIPT_MISSING, g_launcher.scriptPath);
        goto done;
    }
    if (!RegisterLauncherClass(instance) || g_launcher.abortFlag)
        goto done;

    g_launcher.splashTimeBase = 0;
    g_launcher.splashWindow = g_launcher.noSplash ? NULL : SplashCreate(instance, g_launcher.sourceDir);
    if (g_launcher.splashWindow)
        g_launcher.splashClosed = 0;
    g_launcher.splashTimeBase = TickNow();

    main = CreateWindowExA(0, LAUNCHER_CLASS_NAME, LAUNCHER_CLASS_NAME, WS_POPUP, 0, 0, 0, 0, NULL, NULL, instance,
                           NULL);
    g_launcher.mainWindow = main;
    if (main) {
        // GetMessageA gives -1 on an error: that ends the loop too.
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

done:
    // One way out: whatever was made is taken down here, in reverse order.
    if (main && IsWindow(main))
        DestroyWindow(main);
    if (g_launcher.splashWindow && IsWindow((HWND)g_launcher.splashWindow))
        DestroyWindow((HWND)g_launcher.splashWindow);
    ResModuleClose();
    return 0;
}
