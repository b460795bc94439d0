// Fuzzes the logo script reader and line parser with arbitrary bytes, under
// code page 1252 or 932 (first input byte). The rest of the input is a script
// file; every line is also walked token by token.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/platform.h"
#include "splash/logo.h"
#include "splash/orderedlist.h"
#include "splash/splash_state.h"

static void Check(bool condition)
{
    if (!condition)
        abort();
}

// 1 when `p` is where a character of `text` starts (or its terminator).
static bool AtCharacter(const char *text, const char *p)
{
    const char *q = text;
    while (q < p && *q != '\0')
        q = NextChar(q);
    return q == p;
}

static void CheckTokens(const char *line)
{
    size_t length = strlen(line);
    size_t position = 0;
    char token[kLogoTokenBuffer + 8];
    memset(token, 0x5A, sizeof token);
    for (;;) {
        size_t start = position;
        int atEnd = LogoNextToken(line, token, &position);
        for (size_t i = kLogoTokenBuffer; i < sizeof token; i++)
            Check(token[i] == 0x5A);
        size_t n = strlen(token);
        Check(n < kLogoTokenBuffer);
        Check(position <= length);
        // The token is the start of the run, cut at a whole character.
        Check(memcmp(token, line + start, n) == 0);
        Check(AtCharacter(line + start, line + start + n));
        Check(AtCharacter(line, line + position));
        if (atEnd) {
            Check(position == length);
            break;
        }
        Check(position > start);   // every call consumes something
    }
}

static void CheckRecord(const LogoLine *r)
{
    Check(r->kind >= LOGO_TEXT && r->kind <= LOGO_RAISED);
    Check(memchr(r->text, '\0', sizeof r->text) != nullptr);
    Check(memchr(r->face, '\0', sizeof r->face) != nullptr);
    if (r->kind != LOGO_TEXT)
        Check(r->text[0] == '\0' && r->face[0] == '\0' && r->size == kLogoNoSize);
    // The parser returns directives in the records and writes no global.
    Check(g_splash.raised == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    HostSetCodePage((data[0] & 1) ? 932 : 1252);
    g_splash = SplashState();

    // An empty memory stream is refused by some C libraries; nothing to read.
    FILE *stream = size > 1 ? fmemopen((void *)(data + 1), size - 1, "r") : nullptr;
    InputFile *file = stream ? HostInputFromStream(stream) : nullptr;
    OrderedList *raw = ListCreate(kListItemText);
    Check(raw != nullptr);
    if (file) {
        Check(LogoReadLines(file, raw) == 1);
        InputFileClose(file);
    }
    int count = 0;
    for (const char *line = (const char *)ListFirst(raw); line; line = (const char *)ListNext(raw)) {
        size_t n = strlen(line);
        Check(n >= 1 && n <= kLogoLineChars);
        Check(strpbrk(line, "\r\n") == nullptr);
        CheckTokens(line);
        count++;
    }
    Check(count == raw->count);

    OrderedList *records = LogoParse(raw);
    Check(records != nullptr);
    Check(records->count == count);
    for (const LogoLine *r = (const LogoLine *)ListFirst(records); r;
         r = (const LogoLine *)ListNext(records))
        CheckRecord(r);
    LogoFree(records);
    HostSetCodePage(1252);
    return 0;
}
