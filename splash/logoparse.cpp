// Logo script lines into LogoLine records. Portable: walks text with
// NextChar, so the second byte of a double-byte character is never taken for
// a separator.
#include "splash/logo.h"

#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "splash/splash_state.h"

enum {
    kLinePoolSize = 512,
    kLinePoolFlags = 3,
};

static int IsSeparator(char c)
{
    return c == '#' || c == ',' || c == '<' || c == '=' || c == '>';
}

int LogoNextToken(const char *text, char *token, size_t *position)
{
    const char *start = text + *position;
    const char *p = start;
    size_t used = 0;
    int full = 0;
    // Only the first byte of a character is compared with the separators.
    while (*p != '\0' && !IsSeparator(*p)) {
        const char *next = NextChar(p);
        size_t n = (size_t)(next - p);
        // Once a character does not fit, keep walking the run without copying,
        // so the token stays a prefix and the position ends past the run.
        if (!full && n <= kLogoTokenBuffer - 1 - used) {
            memcpy(token + used, p, n);
            used += n;
        } else {
            full = 1;
        }
        p = next;
    }
    if (*p == '\0') {
        token[used] = '\0';
        *position = (size_t)(p - text);
        return 1;
    }
    if (p == start) {
        token[0] = *p;
        token[1] = '\0';
        *position += 1;
        return 0;
    }
    token[used] = '\0';
    *position = (size_t)(p - text);
    return 0;
}

static uint32_t LowByte(const char *number)
{
    return (uint32_t)ParseDecimal(number) & 0xFFu;
}

uint32_t LogoParseColor(const char *text, size_t position, uint32_t defaultColor)
{
    char red[kLogoTokenBuffer];
    char green[kLogoTokenBuffer];
    char blue[kLogoTokenBuffer];
    char separator[kLogoTokenBuffer];
    if (LogoNextToken(text, red, &position) || LogoNextToken(text, separator, &position) ||
        LogoNextToken(text, green, &position) || LogoNextToken(text, separator, &position))
        return defaultColor;
    LogoNextToken(text, blue, &position);
    return (LowByte(blue) << 16) | (LowByte(green) << 8) | LowByte(red);
}

void LogoParseDirective(LogoLine *record, const char *line)
{
    char token[kLogoTokenBuffer];
    size_t position = 0;
    record->kind = LOGO_IGNORED;
    record->backColor = kLogoWhite;
    record->textColor = kLogoBlack;
    LogoNextToken(line, token, &position);   // the "#"
    char keyword[kLogoTokenBuffer];
    LogoNextToken(line, keyword, &position);
    if (TextCompareNoCase(keyword, "background") == 0) {
        LogoNextToken(line, token, &position);
        record->backColor = LogoParseColor(line, position, kLogoWhite);
        record->kind = LOGO_BACKGROUND;
    } else if (TextCompareNoCase(keyword, "text") == 0) {
        LogoNextToken(line, token, &position);
        record->textColor = LogoParseColor(line, position, kLogoBlack);
        record->kind = LOGO_TEXTCOLOR;
    } else if (TextCompareNoCase(keyword, "raised") == 0) {
        record->kind = LOGO_RAISED;
    }
}

void LogoParseLine(LogoLine *record, const char *line)
{
    char token[kLogoTokenBuffer];
    size_t position = 0;
    record->text[0] = '\0';
    record->face[0] = '\0';
    record->size = kLogoNoSize;

    if (LogoNextToken(line, token, &position)) {
        TextCopy(record->text, sizeof record->text, line);
        return;
    }
    if (strcmp(token, "#") == 0) {
        LogoParseDirective(record, line);
        return;
    }
    if (token[0] != '<') {
        TextCopy(record->text, sizeof record->text, line);
        return;
    }
    // "<face,size>text": whatever was read before the line breaks off stays.
    int atEnd = LogoNextToken(line, token, &position);
    TextCopy(record->face, sizeof record->face, token);
    if (atEnd)
        return;
    if (LogoNextToken(line, token, &position) || strcmp(token, ",") != 0)
        return;
    atEnd = LogoNextToken(line, token, &position);
    record->size = (int)ParseDecimal(token);
    if (atEnd)
        return;
    if (LogoNextToken(line, token, &position) || strcmp(token, ">") != 0)
        return;
    TextCopy(record->text, sizeof record->text, line + position);
}

void LogoFree(OrderedList *lines)
{
    for (void *record = ListFirst(lines); record; record = ListNext(lines))
        BlockFree(g_splash.linePool, record);
    ListDestroy(lines);
}

OrderedList *LogoParse(OrderedList *rawLines)
{
    if (!rawLines)
        return nullptr;
    g_splash.linePool = PoolCreate(kLinePoolSize, kLinePoolFlags);
    OrderedList *records = ListCreate(kListItemPointer);
    if (!records)
        return nullptr;
    for (const char *line = (const char *)ListFirst(rawLines); line;
         line = (const char *)ListNext(rawLines)) {
        LogoLine *record = (LogoLine *)BlockAlloc(g_splash.linePool, sizeof(LogoLine));
        if (!record)
            goto fail;
        record->kind = LOGO_TEXT;
        LogoParseLine(record, line);
        if (!ListInsertPointer(records, record)) {
            BlockFree(g_splash.linePool, record);
            goto fail;
        }
    }
    ListDestroy(rawLines);
    return records;

fail:
    LogoFree(records);
    return nullptr;
}
