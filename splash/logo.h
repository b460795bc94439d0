// Logo scripts: the text splash's lines, read from a small text file.
//
// Each line of the file becomes one LogoLine record: a text line (optionally
// "<face,size>text", which switches the font) or a "#keyword=r,g,b"
// directive. This part is portable (the files and characters of
// base/platform.h); measuring and drawing live in the Windows code.
//
// Fixed fields: a text, face or token longer than its field is cut at the
// last whole character that fits; parsing goes on after the whole run, as if
// the field had held it all.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/platform.h"
#include "base/text.h"
#include "splash/orderedlist.h"

enum {
    kLogoTextBuffer = 100,    // LogoLine.text: 99 characters and the terminator
    kLogoFaceBuffer = 52,     // LogoLine.face: 51 characters and the terminator
    kLogoTokenBuffer = 100,   // a token: 99 characters and the terminator
    kLogoLineChars = 260,     // bytes of a raw line; a longer line of the file is split
    kLogoLineBuffer = 261,
    kLogoNameBuffer = kJoinedPathBuffer,    // the fallback file name
    kLogoNoSize = -1,         // LogoLine.size of a line that sets no font
};

enum LogoKind {
    LOGO_TEXT = 1,         // measured and drawn
    LOGO_BACKGROUND = 2,   // "#background": background colour of the splash
    LOGO_TEXTCOLOR = 3,    // "#text": text colour of the splash
    LOGO_IGNORED = 4,      // any other directive
    LOGO_RAISED = 5,       // "#raised": text drawn raised
};

enum : uint32_t {
    kLogoWhite = 0xFFFFFFu,
    kLogoBlack = 0u,
};

// One line of a logo script: a zero-filled memory block of the line pool.
struct LogoLine {
    char text[kLogoTextBuffer];
    char face[kLogoFaceBuffer];
    uint32_t textColor;   // COLORREF of a "#text" directive
    uint32_t backColor;   // COLORREF of a "#background" directive
    int kind;             // LogoKind
    int size;             // font height of a sized line, kLogoNoSize when none
    int width;            // set by LogoMeasure
    int height;           // set by LogoMeasure
};

// Reads the logo script named by g_splash.logoPath, or "install.lgo" in
// g_splash.sourceDir when that file cannot be opened.
// Returns the list of LogoLine pointers (free it with LogoFree), or null when
// neither file opens or memory is short.
OrderedList *LogoRead();

// Appends the lines of a text file (read as bytes: a CR LF ends a line like
// an LF, and nothing ends the file early) to `rawLines` (a list of texts): lines of
// at most kLogoLineChars bytes (a longer line of the file gives several, never
// splitting a double-byte character), each cut at its first CR or LF; an
// empty line becomes " ". The rest of a split line that holds nothing before
// its line end adds no line. 0 when memory ran short.
int LogoReadLines(InputFile *file, OrderedList *rawLines);

// Turns raw lines into LogoLine records from a new g_splash.linePool.
// Returns the records and destroys `rawLines`; on failure (no memory) returns
// null and leaves `rawLines` to the caller.
OrderedList *LogoParse(OrderedList *rawLines);

// Fill one record from one line. The record's kind is LOGO_TEXT on entry;
// a directive sets its own kind and colours ("#raised": LOGO_RAISED). The
// parser writes no process-wide record: LogoMeasure takes the colours and
// the raised look from the records.
void LogoParseLine(LogoLine *record, const char *line);
void LogoParseDirective(LogoLine *record, const char *line);

// Reads the token at text[*position] into `token` (kLogoTokenBuffer bytes):
// a run of ordinary characters, or one separator (# , < = >). Returns 1 when
// the end of the text was reached, 0 when a separator stopped the run; a lone
// separator is consumed, one that ends a run is left for the next call.
int LogoNextToken(const char *text, char *token, size_t *position);

// Reads "red sep green sep blue" from text[position]: a COLORREF with red in
// the low byte, each part's low 8 bits. `defaultColor` when the text ends
// before the separator after green.
uint32_t LogoParseColor(const char *text, size_t position, uint32_t defaultColor);

// Frees the records of a list from LogoParse and the list itself.
void LogoFree(OrderedList *lines);
