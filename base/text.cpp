// Text and path helpers. Portable: the only platform calls are NextChar and
// PrevChar, so the same code runs natively under the sanitizers.
#include "base/text.h"

#include <stdint.h>
#include <string.h>

#include "base/platform.h"

int IsDoubleByteChar(const char *p)
{
    return NextChar(p) == p + 2;
}

int CopyChar(char *dst, const char *src)
{
    dst[0] = src[0];
    if (IsDoubleByteChar(src))
        dst[1] = src[1];
    return 1;
}

size_t TextLength(const char *text)
{
    return strlen(text);
}

// Copies whole characters of src to dst while they fit in `room` bytes
// (terminator not counted) and terminates. 1 when all of src was copied.
static int CopyWhole(char *dst, size_t room, const char *src)
{
    size_t used = 0;
    while (*src != '\0') {
        const char *next = NextChar(src);
        size_t n = (size_t)(next - src);
        if (n > room - used) {
            dst[used] = '\0';
            return 0;
        }
        memcpy(dst + used, src, n);
        used += n;
        src = next;
    }
    dst[used] = '\0';
    return 1;
}

int TextCopy(char *dst, size_t cap, const char *src)
{
    if (cap == 0)
        return 0;
    return CopyWhole(dst, cap - 1, src);
}

int TextAppend(char *dst, size_t cap, const char *src)
{
    if (cap == 0)
        return 0;
    const char *end = (const char *)memchr(dst, '\0', cap);
    if (!end) {
        // Not a text within its own buffer: make it one rather than write on.
        dst[cap - 1] = '\0';
        return 0;
    }
    size_t len = (size_t)(end - dst);
    return CopyWhole(dst + len, cap - 1 - len, src);
}

namespace {

// A bounded sink for FormatOneArgument: once a character does not fit,
// nothing more is written, so the output is always a prefix of the full text.
struct Sink {
    char *dst;
    size_t room;   // bytes available before the terminator
    size_t used;
    int full;
};

void SinkPut(Sink *s, const char *bytes, size_t n)
{
    if (s->full)
        return;
    if (n > s->room - s->used) {
        s->full = 1;
        return;
    }
    memcpy(s->dst + s->used, bytes, n);
    s->used += n;
}

void SinkText(Sink *s, const char *text)
{
    while (*text != '\0' && !s->full) {
        const char *next = NextChar(text);
        SinkPut(s, text, (size_t)(next - text));
        text = next;
    }
}

}  // namespace

int FormatOneArgument(char *dst, size_t cap, const char *format, const char *argument)
{
    if (cap == 0)
        return 0;
    Sink s = {dst, cap - 1, 0, 0};
    int argumentUsed = 0;
    const char *p = format;
    while (*p != '\0' && !s.full) {
        if (p[0] == '%' && p[1] == 's' && !argumentUsed) {
            SinkText(&s, argument ? argument : "");
            argumentUsed = 1;
            p += 2;
        } else if (p[0] == '%' && p[1] == '%') {
            SinkPut(&s, "%", 1);
            p += 2;
        } else {
            const char *next = NextChar(p);
            SinkPut(&s, p, (size_t)(next - p));
            p = next;
        }
    }
    dst[s.used] = '\0';
    return !s.full;
}

long ParseDecimal(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == '\v' || *p == '\f')
        p++;
    int negative = 0;
    if (*p == '-' || *p == '+') {
        negative = (*p == '-');
        p++;
    }
    // Unsigned arithmetic wraps without undefined behaviour.
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10u + (uint32_t)(*p - '0');
        p++;
    }
    if (negative)
        value = 0u - value;
    return (long)(int32_t)value;
}

// Position of the last character of a text, or null for the empty text.
static char *LastChar(char *text)
{
    char *last = nullptr;
    for (char *p = text; *p != '\0'; p = (char *)NextChar(p))
        last = p;
    return last;
}

int AddTrailingBackslash(char *path, size_t cap)
{
    char *last = LastChar(path);
    if (!last)
        return 1;
    // A backslash that is the second byte of a double-byte character does
    // not end the path.
    if (*last == '\\' && !IsDoubleByteChar(last))
        return 1;
    size_t len = (size_t)(NextChar(last) - path);
    if (len + 2 > cap)
        return 0;
    path[len] = '\\';
    path[len + 1] = '\0';
    return 1;
}

int PathJoin(char *out, size_t cap, const char *directory, const char *name)
{
    if (cap == 0)
        return 0;
    if (TextCopy(out, cap, directory) && AddTrailingBackslash(out, cap) && TextAppend(out, cap, name))
        return 1;
    out[0] = '\0';
    return 0;
}

int DirectoryPart(const char *path, char *out, size_t cap)
{
    const char *lastSeparator = nullptr;
    int count = 0;
    int colonSeen = 0;
    int backslashSeen = 0;
    for (const char *p = path; *p != '\0'; p = NextChar(p)) {
        if (IsDoubleByteChar(p))
            continue;
        if (*p == ':') {
            count++;
            lastSeparator = p;
            colonSeen = 1;
        } else if (*p == '\\') {
            // The backslash of a drive root ("C:\") is not a level of its own.
            if (!(colonSeen && !backslashSeen))
                count++;
            lastSeparator = p;
            backslashSeen = 1;
        }
    }
    size_t len = 0;
    if (count == 1)
        len = (size_t)(lastSeparator - path) + 1;
    else if (count > 1)
        len = (size_t)(lastSeparator - path);
    if (cap == 0)
        return 0;
    if (len + 1 > cap) {
        out[0] = '\0';
        return 0;
    }
    memmove(out, path, len);   // out may be path itself
    out[len] = '\0';
    return 1;
}

int QuoteIfSpaces(char *text, size_t cap)
{
    if (text[0] == '"')
        return 1;
    int blank = 0;
    const char *p = text;
    for (; *p != '\0'; p = NextChar(p)) {
        if (*p == ' ')
            blank = 1;
    }
    if (!blank)
        return 0;
    size_t len = (size_t)(p - text);
    if (len + 3 > cap)
        return -1;
    memmove(text + 1, text, len);
    text[0] = '"';
    text[len + 1] = '"';
    text[len + 2] = '\0';
    return 1;
}

const char *CopyToken(const char *source, char *dst, size_t cap, const char *delimiter)
{
    if (cap == 0)
        return nullptr;
    char delim = delimiter ? delimiter[0] : '\0';
    size_t count = 0;
    const char *p = source;
    for (;;) {
        if (*p == '\0') {
            dst[count] = '\0';
            return p;
        }
        const char *next = NextChar(p);
        size_t n = (size_t)(next - p);
        // A double-byte character is never compared with the delimiter.
        if (n == 1 && delim != '\0' && *p == delim) {
            dst[count] = '\0';
            return next;
        }
        if (n > cap - 1 - count) {
            dst[0] = '\0';
            return nullptr;
        }
        memcpy(dst + count, p, n);
        count += n;
        p = next;
    }
}

static int IsBlankOrTab(const char *p)
{
    return (*p == ' ' || *p == '\t') && !IsDoubleByteChar(p);
}

int TrimBlanks(char *text)
{
    if (!text)
        return 0;
    const char *start = text;
    while (*start != '\0' && IsBlankOrTab(start))
        start = NextChar(start);
    size_t len = strlen(start);
    memmove(text, start, len + 1);
    if (len == 0)
        return 1;
    char *end = text + len;
    while (end > text) {
        char *prev = (char *)PrevChar(text, end);
        if (!IsBlankOrTab(prev))
            break;
        end = prev;
    }
    *end = '\0';
    return 1;
}
