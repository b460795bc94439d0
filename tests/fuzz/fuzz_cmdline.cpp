// Fuzzes the command-line scan and the path helpers with arbitrary bytes,
// under code page 1252 or 932 (first input byte). The launcher's buffers are
// exactly 263 bytes, so AddressSanitizer sees any write past them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "launcher/cmdline.h"
#include "base/platform.h"
#include "base/text.h"

static char *Buffer(const char *text)
{
    char *b = (char *)malloc(kCommandLineText);
    memset(b, 0, kCommandLineText);
    TextCopy(b, kCommandLineText, text);
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

    char *sourceDir = Buffer("D:\\MEDIA\\");
    CommandLineResult r = {};
    r.forwarded = Buffer("");
    r.scriptPath = Buffer("D:\\MEDIA\\SETUP.INS");

    int allowed = ProcessCommandLine(line, sourceDir, &r);
    size_t forwarded = strlen(r.forwarded);
    Check(forwarded < (size_t)kCommandLineText);
    Check(strlen(r.scriptPath) < (size_t)kCommandLineText);
    // Either the script option is in the copy, or a box stopped the launch.
    Check(allowed == (r.boxCount == 0));
    Check(r.boxCount > 0 || strstr(r.forwarded, " -f") != nullptr);
    // Every box's argument is a piece of the line itself, which outlives
    // the buffers the scan wrote.
    Check(r.boxCount >= 0 && r.boxCount <= kMaxCommandLineBoxes);
    for (int i = 0; i < r.boxCount; i++) {
        const CommandLineBox &box = r.boxes[i];
        Check(box.id == 7061 || box.id == 7062 || box.id == 7067);
        Check((box.argument == nullptr) == (box.id == 7062));
        if (box.argument) {
            Check(box.argument >= line && box.argument <= line + strlen(line));
            Check(box.length == kWholeArgument || box.length <= strlen(box.argument));
        }
    }

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
        MakeScriptPathAbsolute(path, kPathBuffer, sourceDir);
        free(out);
        if (*p == '\0')
            break;
    }
    free(path);

    free(r.forwarded);
    free(r.scriptPath);
    free(sourceDir);
    HostSetCodePage(1252);
    free(line);
    return 0;
}
