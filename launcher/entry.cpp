// The launcher's entry point: it links no C runtime, so nothing runs before
// this. Hands WinMain what the runtime's start-up would (the module, the
// arguments after the program name, the show command of the start-up
// information) and ends the process with WinMain's result.
#include <windows.h>

#include "launcher/cmdline.h"

extern "C" __attribute__((used, externally_visible, noreturn)) void WINAPI LauncherEntry()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    const char *arguments = SkipProgramName(GetCommandLineA());
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)arguments, show));
}
