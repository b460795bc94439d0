// Reading a logo script file into raw lines. Portable: C runtime text-mode
// file reading, NextChar for double-byte characters.
#include "splash/logo.h"

#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "base/splash_state.h"

static const char kFallbackName[] = "install.lgo";

static int IsLeadByte(char c)
{
    // NextChar takes two bytes only for a lead byte with a partner.
    const char pair[3] = {c, 'A', '\0'};
    return NextChar(pair) == pair + 2;
}

static int IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Cuts a raw line at its first CR or LF. A lead byte whose partner is a CR or
// LF has no character to form, so it goes with the line end.
static void CutAtLineEnd(char *line)
{
    for (char *p = line; *p != '\0'; p = (char *)NextChar(p)) {
        if (IsLineEnd(p[0]) || (IsDoubleByteChar(p) && IsLineEnd(p[1]))) {
            *p = '\0';
            return;
        }
    }
}

// A full piece whose last character is a lone lead byte would split a
// double-byte character: give that byte back to the stream for the next piece.
static void KeepCharacterWhole(char *line, FILE *file)
{
    size_t length = strlen(line);
    if (length != kLogoLineChars)
        return;
    const char *last = line;
    for (const char *p = line; *p != '\0'; p = NextChar(p))
        last = p;
    if (last == line + length - 1 && IsLeadByte(*last) && ungetc((unsigned char)*last, file) != EOF)
        line[length - 1] = '\0';
}

int LogoReadLines(FILE *file, OrderedList *rawLines)
{
    char line[kLogoLineBuffer];
    int continued = 0;   // this piece is the rest of a longer line of the file
    for (;;) {
        // fgets leaves the last byte alone unless it filled the buffer.
        line[kLogoLineChars] = 'x';
        if (!fgets(line, sizeof line, file))
            break;
        int full = line[kLogoLineChars] == '\0' && line[kLogoLineChars - 1] != '\n';
        if (full)
            KeepCharacterWhole(line, file);
        CutAtLineEnd(line);
        if (line[0] == '\0') {
            if (continued) {
                continued = full;
                continue;
            }
            TextCopy(line, sizeof line, " ");
        }
        continued = full;
        if (!ListInsertCopy(rawLines, line))
            return 0;
    }
    return 1;
}

static FILE *OpenLogoFile()
{
    if (g_splash.logoPath && g_splash.logoPath[0] != '\0') {
        FILE *file = fopen(g_splash.logoPath, "r");
        if (file)
            return file;
    }
    if (!g_splash.sourceDir)
        return nullptr;
    // A name that does not fit is not opened at all rather than cut.
    char name[kLogoNameBuffer];
    if (!PathJoin(name, sizeof name, g_splash.sourceDir, kFallbackName))
        return nullptr;
    return fopen(name, "r");
}

OrderedList *LogoRead()
{
    g_splash.raised = 0;
    OrderedList *rawLines = ListCreate(kListItemText);
    if (!rawLines)
        return nullptr;
    OrderedList *records = nullptr;
    FILE *file = OpenLogoFile();
    if (file) {
        if (LogoReadLines(file, rawLines))
            records = LogoParse(rawLines);
        fclose(file);
    }
    if (!records)
        ListDestroy(rawLines);
    return records;
}
