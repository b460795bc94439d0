// Command-line options and the forwarded copy. Portable: walks the line with
// NextChar only, so it builds and is tested natively too.
#include "launcher/cmdline.h"

#include <string.h>

#include "base/ids.h"
#include "base/platform.h"
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

void CommandLineAddBox(CommandLineResult *out, int id, const char *argument, size_t length)
{
    // A full list keeps its first boxes and the newest, which ends the run.
    if (out->boxCount == kMaxCommandLineBoxes)
        out->boxCount--;
    out->boxes[out->boxCount++] = CommandLineBox{id, argument, length};
}

// ReadArgument for the scan: an unclosed quote asks for 7067 with the text
// from the quote on.
static const char *ScanArgument(char *dst, size_t cap, const char *position, int *fitted, CommandLineResult *out)
{
    const char *unclosed;
    const char *next = ReadArgument(dst, cap, position, fitted, &unclosed);
    if (unclosed)
        CommandLineAddBox(out, IDS_UNCLOSED_QUOTE, unclosed, kWholeArgument);
    return next;
}

int MakeScriptPathAbsolute(char *path, size_t cap, const char *sourceDir)
{
    char directory[kCommandLineText];
    // A directory part that does not fit is not empty either.
    if (!DirectoryPart(path, directory, sizeof directory) || directory[0] != '\0')
        return 1;

    char absolute[kCommandLineText];
    size_t room = cap < sizeof absolute ? cap : sizeof absolute;
    if (!PathJoin(absolute, room, sourceDir, path))
        return 0;
    return TextCopy(path, cap, absolute);
}

// The script path as it goes on the command line: in double quotes when it
// holds a blank. 0 when it does not fit `cap` bytes.
static int QuotedScriptPath(char *out, size_t cap, const char *scriptPath)
{
    return TextCopy(out, cap, scriptPath) && QuoteIfSpaces(out, cap) >= 0;
}

int RewriteScriptOption(char *copy, size_t cap, size_t optionOffset, const char *scriptPath,
                        const char **unclosed)
{
    *unclosed = nullptr;
    size_t length = strlen(copy);
    // At the end: the option is appended, with nothing after it.
    const char *blank = "";
    const char *rest = "";
    if (optionOffset != length) {
        if (optionOffset + 2 > length)
            return 0;
        // The option's argument is read again only to find where it ends.
        char scratch[kCommandLineText];
        rest = ReadArgument(scratch, sizeof scratch, copy + optionOffset + 2, nullptr, unclosed);
        blank = " ";
    }

    char quoted[kCommandLineText + 2];
    if (!QuotedScriptPath(quoted, sizeof quoted, scriptPath))
        return 0;

    char rebuilt[kRewriteBuffer];
    if (optionOffset + 1 > sizeof rebuilt)
        return 0;
    memcpy(rebuilt, copy, optionOffset);
    rebuilt[optionOffset] = '\0';
    if (!TextAppend(rebuilt, sizeof rebuilt, " -f") ||
        !TextAppend(rebuilt, sizeof rebuilt, quoted) ||
        !TextAppend(rebuilt, sizeof rebuilt, blank) ||
        !TextAppend(rebuilt, sizeof rebuilt, rest))
        return 0;
    if (strlen(rebuilt) + 1 > cap)
        return 0;
    return TextCopy(copy, cap, rebuilt);
}

// Reads the -f argument at `position` into the script path and completes it.
static const char *ReadScriptPath(const char *position, const char *sourceDir, CommandLineResult *out)
{
    int fitted = 0;
    const char *next = ScanArgument(out->scriptPath, kCommandLineText, position, &fitted, out);
    // A cut path would name another file: refuse it rather than use it. The
    // box shows what was read, which is the line's text from the argument on
    // (after its quote), so it stays valid when a later -f replaces the path.
    if (!fitted || !MakeScriptPathAbsolute(out->scriptPath, kCommandLineText, sourceDir)) {
        const char *argument = position + (*position == '"' || *position == '\'');
        CommandLineAddBox(out, IDS_SCRIPT_MISSING, argument, strlen(out->scriptPath));
    }
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

int ProcessCommandLine(const char *commandLine, const char *sourceDir, CommandLineResult *out)
{
    if (!commandLine)
        commandLine = "";
    out->scriptGiven = 0;
    out->noSplash = 0;
    out->engineAsExe = 0;
    out->boxCount = 0;
    int copyFitted = TextCopy(out->forwarded, kCommandLineText, commandLine);
    out->addZ1 = 1;

    char scratch[kCommandLineText];   // arguments of -e, -f1 and -f2: not used
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
        // Either case: setting bit 5 folds only 'E', 'F', 'S', 'Z' onto these.
        switch (*p | 0x20) {
        case 'e':
            out->engineAsExe = 1;
            p = ScanArgument(scratch, sizeof scratch, p + 1, nullptr, out);
            break;
        case 'f':
            if (p[1] == '1' || p[1] == '2') {
                p = ScanArgument(scratch, sizeof scratch, p + 2, nullptr, out);
                break;
            }
            out->scriptGiven = 1;
            if (!scriptOption)
                scriptOption = option;
            p = ReadScriptPath(p + 1, sourceDir, out);
            break;
        case 's':
            out->noSplash = 1;
            p = NextChar(p);
            break;
        case 'z':
            // The character after the letter goes with it, whatever it is.
            out->addZ1 = 0;
            p = NextChar(NextChar(p));
            break;
        default:
            break;   // not an option: the scan goes on at this character
        }
    }

    int forwarded = 0;
    if (copyFitted) {
        // Without -f the option goes on the end.
        size_t offset = scriptOption ? (size_t)(scriptOption - commandLine) : strlen(commandLine);
        const char *unclosed;
        forwarded = RewriteScriptOption(out->forwarded, kCommandLineText, offset, out->scriptPath, &unclosed);
        // The copy is the line itself up to the rewrite, so the box can
        // show the line's own text, which outlives the copy.
        if (unclosed) {
            CommandLineAddBox(out, IDS_UNCLOSED_QUOTE, commandLine + (unclosed - out->forwarded), kWholeArgument);
        }
    }
    if (!forwarded) {
        // The bootstrap gets the user's whole command line or nothing. One
        // box is enough: when an earlier one has already stopped the launch,
        // this one adds nothing.
        out->forwarded[0] = '\0';
        if (out->boxCount == 0)
            CommandLineAddBox(out, IDS_LAUNCH_FAILED, nullptr, 0);
    }
    return out->boxCount == 0;
}
