// Fuzzes the command-line scan and the path helpers with arbitrary bytes,
// under code page 1252 or 932 (first input byte). The launcher's buffers are
// exactly 263 bytes, so AddressSanitizer sees any write past them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "launcher/cmdline.h"
#include "launcher/errorbox.h"
#include "base/platform.h"
#include "base/state.h"
#include "base/text.h"

static char *Buffer(const char *text)
{
    char *b = (char *)malloc(kStateTextBuffer);
    memset(b, 0, kStateTextBuffer);
    TextCopy(b, kStateTextBuffer, text);
    return b;
}

static void Check(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    HostSetCodePage((data[0] & 1) ? 932 : 1252);
    char *line = (char *)malloc(size);
    memcpy(line, data + 1, size - 1);
    line[size - 1] = '\0';

    g_launcher = LauncherState();
    g_launcher.commandLine = Buffer("");
    g_launcher.workDir = Buffer("");
    g_launcher.sourceDir = Buffer("D:\\MEDIA\\");
    g_launcher.scriptPath = Buffer("D:\\MEDIA\\SETUP.INS");
    HostErrorBoxReset();

    ProcessCommandLine(line);
    size_t forwarded = strlen(g_launcher.commandLine);
    Check(forwarded < (size_t)kStateTextBuffer);
    Check(strlen(g_launcher.scriptPath) < (size_t)kStateTextBuffer);
    // Either the script option is in the copy, or a box stopped the launch.
    Check(g_launcher.abortFlag || strstr(g_launcher.commandLine, " -f") != nullptr);
    Check(g_launcher.abortFlag == (HostErrorBoxCount() > 0));

    // The helpers on the same bytes, in exact-size buffers.
    char *path = (char *)malloc(kPathBuffer);
    const char *p = line;
    while (p) {
        p = CopyToken(p, path, kPathBuffer, ";");
        if (!p)
            break;
        Check(strlen(path) < (size_t)kPathBuffer);
        char *out = (char *)malloc(kPathBuffer);
        Check(DirectoryPart(path, out, kPathBuffer) == 1);
        AddTrailingBackslash(out, kPathBuffer);
        QuoteIfSpaces(out, kPathBuffer);
        TrimBlanks(out);
        MakeScriptPathAbsolute(path, kPathBuffer);
        free(out);
        if (*p == '\0')
            break;
    }
    free(path);

    free(g_launcher.commandLine);
    free(g_launcher.workDir);
    free(g_launcher.sourceDir);
    free(g_launcher.scriptPath);
    g_launcher = LauncherState();
    HostSetCodePage(1252);
    free(line);
    return 0;
}
