// WinMain: checks the medium, processes the options, shows the splash and
// creates the hidden main window, whose creation extracts and launches; then
// serves messages until the timer ends the launcher. The steps return what
// went wrong; the boxes of start-up are shown here, at the one exit. The exit
// code says what happened (docs/exit-codes.md): 0 after a launch, else the id
// of the last box shown, or 1 when the run ended without a box.
#include <windows.h>

#include "launcher/cmdline.h"
#include "base/files.h"
#include "launcher/errorbox.h"
#include "base/ids.h"
#include "launcher/mainwnd.h"
#include "launcher/startup.h"
#include "launcher/state.h"
#include "base/text.h"
#include "base/ticks.h"
#include "resmodule/resmodule.h"
#include "splash/splash.h"
#include "splash/splash_state.h"

enum {
    kExitNoBox = 1,   // ended without a launch and without a box
};

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
    int exitCode = kExitNoBox;
    char scriptBox[kLongPathBuffer];     // 7061's argument: the path or paths tried
    CommandLineResult options;
    options.boxCount = 0;
    HardenLibrarySearch();

    // The windows are null from the start: WinMain runs once per process.
    g_launcher.instance = instance;

    if (!LauncherStateAllocate())
        goto done;
    {
        // Without its own directory the launcher cannot find the medium.
        int failed = TakeSourceDirectory(instance, &defaultScriptFits) ? CheckResourceLibrary() : IDS_LIBRARY_MISSING;
        if (failed) {
            CommandLineAddBox(&options, failed, NULL, 0);
            goto done;
        }
    }

    // The parser writes both at its own size: the record's must be no less.
    static_assert((int)kStateTextBuffer >= (int)kCommandLineText, "the record's text buffers are smaller than the parser writes");
    options.scriptPath = g_launcher.scriptPath;
    options.forwarded = g_launcher.commandLine;
    ProcessCommandLine(commandLine, g_launcher.sourceDir, &options);

    // A default script path cut short names no script; -f replaces it.
    if (!ScriptExists(g_launcher.scriptPath, options.scriptGiven) || (!options.scriptGiven && !defaultScriptFits)) {
        TextCopy(scriptBox, sizeof scriptBox, g_launcher.scriptPath);
        if (!options.scriptGiven)
            TextAppend(scriptBox, sizeof scriptBox, "/" FALLBACK_SCRIPT_FILE);
        CommandLineAddBox(&options, IDS_SCRIPT_MISSING, scriptBox, TextLength(scriptBox));
        goto done;
    }
    if (!RegisterLauncherClass(instance) || options.boxCount)
        goto done;

    // The splash's time base is zero until it is taken after the creation.
    g_splash.window = options.noSplash ? NULL : SplashCreate(instance, g_launcher.sourceDir);
    g_splash.timeBase = TickNow();

    main = CreateWindowExA(0, LAUNCHER_CLASS_NAME, LAUNCHER_CLASS_NAME, WS_POPUP, 0, 0, 0, 0, NULL, NULL, instance,
                           &options);
    if (main) {
        // GetMessageA gives -1 on an error: that ends the loop too. The quit
        // message's code is the window's outcome: 0, or its box's id.
        MSG msg;
        int got;
        while ((got = GetMessageA(&msg, NULL, 0, 0)) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (got == 0)
            exitCode = (int)msg.wParam;
    }

done:
    // One way out. The boxes of start-up come here, in the order their
    // steps asked for them: the command line's, then the check that ended
    // start-up. The last one shown is the exit code.
    for (int i = 0; i < options.boxCount; i++) {
        const CommandLineBox &box = options.boxes[i];
        ShowLaunchError(box.id, box.argument, box.length);
        exitCode = box.id;
    }
    // Whatever was made is taken down here, in reverse order.
    if (main && IsWindow(main))
        DestroyWindow(main);
    if (g_splash.window && IsWindow((HWND)g_splash.window))
        DestroyWindow((HWND)g_splash.window);
    ResModuleClose();
    return exitCode;
}
