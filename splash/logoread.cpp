// Reading a logo script file into raw lines. Portable: the platform's input
// files, NextChar for double-byte characters.
#include "splash/logo.h"

#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "splash/splash_state.h"

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

// The file through a buffer, handed out in pieces of a line.
struct PieceReader {
    InputFile *file;
    uint32_t position;   // next byte of `buffer` to hand out
    uint32_t length;     // bytes in `buffer`
    char buffer[512];
};

// Reads the next piece into `line` (kLogoLineBuffer bytes, terminated): up to
// kLogoLineChars bytes, ending after the first LF. Returns the count of bytes
// read, 0 at the end of the file.
static size_t ReadPiece(PieceReader *reader, char *line)
{
    size_t used = 0;
    while (used < kLogoLineChars) {
        if (reader->position == reader->length) {
            reader->position = 0;
            reader->length = InputFileRead(reader->file, reader->buffer, sizeof reader->buffer);
            if (reader->length > sizeof reader->buffer)
                reader->length = 0;
            if (reader->length == 0)
                break;
        }
        char c = reader->buffer[reader->position++];
        line[used++] = c;
        if (c == '\n')
            break;
    }
    line[used] = '\0';
    return used;
}

// A full piece whose last character is a lone lead byte would split a
// double-byte character: give that byte back to the reader for the next
// piece. It is the last byte taken from the buffer, so it is still there.
static void KeepCharacterWhole(char *line, PieceReader *reader)
{
    size_t length = strlen(line);
    if (length != kLogoLineChars)
        return;
    const char *last = line;
    for (const char *p = line; *p != '\0'; p = NextChar(p))
        last = p;
    if (last == line + length - 1 && IsLeadByte(*last) && reader->position > 0) {
        reader->position--;
        line[length - 1] = '\0';
    }
}

int LogoReadLines(InputFile *file, OrderedList *rawLines)
{
    PieceReader reader;
    reader.file = file;
    reader.position = 0;
    reader.length = 0;
    char line[kLogoLineBuffer];
    int continued = 0;   // this piece is the rest of a longer line of the file
    for (;;) {
        size_t used = ReadPiece(&reader, line);
        if (used == 0)
            break;
        int full = used == kLogoLineChars && line[kLogoLineChars - 1] != '\n';
        if (full)
            KeepCharacterWhole(line, &reader);
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

static InputFile *OpenLogoFile()
{
    if (g_splash.logoPath && g_splash.logoPath[0] != '\0') {
        InputFile *file = InputFileOpen(g_splash.logoPath);
        if (file)
            return file;
    }
    if (!g_splash.sourceDir)
        return nullptr;
    // A name that does not fit is not opened at all rather than cut.
    char name[kLogoNameBuffer];
    if (!PathJoin(name, sizeof name, g_splash.sourceDir, kFallbackName))
        return nullptr;
    return InputFileOpen(name);
}

OrderedList *LogoRead()
{
    OrderedList *rawLines = ListCreate(kListItemText);
    if (!rawLines)
        return nullptr;
    OrderedList *records = nullptr;
    InputFile *file = OpenLogoFile();
    if (file) {
        if (LogoReadLines(file, rawLines))
            records = LogoParse(rawLines);
        InputFileClose(file);
    }
    if (!records)
        ListDestroy(rawLines);
    return records;
}
