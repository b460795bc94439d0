// Command-line options and the forwarded copy. Portable: walks the line with
// NextChar only, so it builds and is tested natively too.
#include "launcher/cmdline.h"

#include <string.h>

#include "launcher/errorbox.h"
#include "base/ids.h"
#include "base/platform.h"
#include "base/state.h"
#include "base/text.h"

const char *ReadArgument(char *dst, size_t cap, const char *position, int *fitted, const char **unclosed)
{
    *unclosed = nullptr;
    int fits = cap > 0;
    size_t used = 0;
    if (cap > 0)
        dst[0] = '\0';

    const char *p = position;
    char delimiter = ' ';
    int quoted = 0;
    if (*p == '"' || *p == '\'') {
        delimiter = *p;
        quoted = 1;
        p++;
    }
    while (*p != '\0') {
        const char *next = NextChar(p);
        size_t n = (size_t)(next - p);
        if (n == 1 && *p == delimiter)
            break;
        // Past the first character that does not fit nothing more is kept,
        // but the scan still walks to the argument's real end.
        if (fits && n <= cap - 1 - used) {
            memcpy(dst + used, p, n);
            used += n;
            dst[used] = '\0';
        } else {
            fits = 0;
        }
        p = next;
    }
    if (fitted)
        *fitted = fits;

    if (!quoted)
        return p;
    if (*p != '\0')
        return p + 1;
    *unclosed = position;
    return p;
}

// ReadArgument for the scan: an unclosed quote shows 7067 with the text from
// the quote on.
static const char *ScanArgument(char *dst, size_t cap, const char *position, int *fitted)
{
    const char *unclosed;
    const char *next = ReadArgument(dst, cap, position, fitted, &unclosed);
    if (unclosed)
        ShowLaunchError(IDS_UNCLOSED_QUOTE, unclosed);
    return next;
}

int MakeScriptPathAbsolute(char *path, size_t cap)
{
    char directory[kStateTextBuffer];
    // A directory part that does not fit is not empty either.
    if (!DirectoryPart(path, directory, sizeof directory) || directory[0] != '\0')
        return 1;

    char absolute[kStateTextBuffer];
    size_t room = cap < sizeof absolute ? cap : sizeof absolute;
    if (!PathJoin(absolute, room, g_launcher.sourceDir, path))
        return 0;
    return TextCopy(path, cap, absolute);
}

// The script path as it goes on the command line: in double quotes when it
// holds a blank. 0 when it does not fit `cap` bytes.
static int QuotedScriptPath(char *out, size_t cap, const char *scriptPath)
{
    return TextCopy(out, cap, scriptPath) && QuoteIfSpaces(out, cap) >= 0;
}

int RewriteScriptOption(char *copy, size_t cap, size_t optionOffset, const char *scriptPath)
{
    size_t length = strlen(copy);
    if (optionOffset + 2 > length)
        return 0;

    char quoted[kStateTextBuffer + 2];
    if (!QuotedScriptPath(quoted, sizeof quoted, scriptPath))
        return 0;

    // The option's argument is read again only to find where it ends.
    char scratch[kStateTextBuffer];
    const char *rest = ScanArgument(scratch, sizeof scratch, copy + optionOffset + 2, nullptr);

    char rebuilt[kRewriteBuffer];
    if (optionOffset + 1 > sizeof rebuilt)
        return 0;
    memcpy(rebuilt, copy, optionOffset);
    rebuilt[optionOffset] = '\0';
    if (!TextAppend(rebuilt, sizeof rebuilt, " -f") ||
        !TextAppend(rebuilt, sizeof rebuilt, quoted) ||
        !TextAppend(rebuilt, sizeof rebuilt, " ") ||
        !TextAppend(rebuilt, sizeof rebuilt, rest))
        return 0;
    if (strlen(rebuilt) + 1 > cap)
        return 0;
    return TextCopy(copy, cap, rebuilt);
}

// Appends " -f" and the quoted script path to the copy; 0 when that does not
// fit (copy unchanged).
static int AppendScriptOption(char *copy, size_t cap, const char *scriptPath)
{
    char quoted[kStateTextBuffer + 2];
    if (!QuotedScriptPath(quoted, sizeof quoted, scriptPath))
        return 0;
    if (strlen(copy) + 3 + strlen(quoted) + 1 > cap)
        return 0;
    return TextAppend(copy, cap, " -f") && TextAppend(copy, cap, quoted);
}

// Reads the -f argument at `position` into the script path and completes it.
static const char *ReadScriptPath(const char *position)
{
    int fitted = 0;
    const char *next = ScanArgument(g_launcher.scriptPath, kStateTextBuffer, position, &fitted);
    // A cut path would name another file: refuse it rather than use it.
    if (!fitted || !MakeScriptPathAbsolute(g_launcher.scriptPath, kStateTextBuffer))
        ShowLaunchError(IDS_SCRIPT_MISSING, g_launcher.scriptPath);
    return next;
}

const char *SkipProgramName(const char *commandLine)
{
    if (!commandLine)
        return "";
    // Compared unsigned: a double-byte character's bytes are all above the
    // blank, and its trail byte is never a '"'.
    const unsigned char *p = (const unsigned char *)commandLine;
    int quoted = 0;
    while (*p > ' ' || (*p != '\0' && quoted)) {
        if (*p == '"')
            quoted = !quoted;
        ++p;
    }
    while (*p != '\0' && *p <= ' ')
        ++p;
    return (const char *)p;
}

int ProcessCommandLine(const char *commandLine)
{
    if (!commandLine)
        commandLine = "";
    g_launcher.scriptGiven = 0;
    g_launcher.noSplash = 0;
    g_launcher.engineAsExe = 0;
    int copyFitted = TextCopy(g_launcher.commandLine, kStateTextBuffer, commandLine);
    g_launcher.addZ1 = 1;

    char scratch[kStateTextBuffer];   // arguments of -e, -f1 and -f2: not used
    const char *scriptOption = nullptr;
    int tokenStart = 1;
    const char *p = commandLine;
    while (*p != '\0') {
        if (!((*p == '-' || *p == '/') && tokenStart)) {
            tokenStart = (*p == ' ');   // a tab does not start a token
            p = NextChar(p);
            continue;
        }
        const char *option = p;
        tokenStart = 0;
        p = NextChar(p);
        switch (*p) {
        case 'e':
        case 'E':
            g_launcher.engineAsExe = 1;
            p = ScanArgument(scratch, sizeof scratch, p + 1, nullptr);
            break;
        case 'f':
        case 'F':
            if (p[1] == '1' || p[1] == '2') {
                p = ScanArgument(scratch, sizeof scratch, p + 2, nullptr);
                break;
            }
            g_launcher.scriptGiven = 1;
            if (!scriptOption)
                scriptOption = option;
            p = ReadScriptPath(p + 1);
            break;
        case 's':
        case 'S':
            g_launcher.noSplash = 1;
            p = NextChar(p);
            break;
        case 'z':
        case 'Z':
            // The character after the letter goes with it, whatever it is.
            g_launcher.addZ1 = 0;
            p = NextChar(NextChar(p));
            break;
        default:
            break;   // not an option: the scan goes on at this character
        }
    }

    int forwarded = 0;
    if (copyFitted) {
        if (g_launcher.scriptGiven)
            forwarded = RewriteScriptOption(g_launcher.commandLine, kStateTextBuffer,
                                            (size_t)(scriptOption - commandLine),
                                            g_launcher.scriptPath);
        else
            forwarded = AppendScriptOption(g_launcher.commandLine, kStateTextBuffer,
                                           g_launcher.scriptPath);
    }
    if (!forwarded) {
        // The bootstrap gets the user's whole command line or nothing. One
        // box is enough: when an earlier one has already stopped the launch,
        // this one adds nothing.
        g_launcher.commandLine[0] = '\0';
        if (!g_launcher.abortFlag)
            ShowLaunchError(IDS_LAUNCH_FAILED, nullptr);
    }
    return 1;
}
