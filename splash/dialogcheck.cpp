// Dialog template check.
#include "splash/dialogcheck.h"

#include "base/bytes.h"

enum {
    kSetFont = 0x40,          // DS_SETFONT: a font follows the title
    kExSignature = 0xFFFF,    // DLGTEMPLATEEX's second word
    kOrdinal = 0xFFFF,        // a number follows instead of a text
};

// A name or number (sz_Or_Ord): empty, 0xFFFF and a number, or a
// zero-terminated UTF-16 text. The reader's error says whether it fitted.
static void SkipTextOrNumber(ByteReader *r)
{
    uint32_t first = ReaderU16(r);
    if (first == kOrdinal) {
        ReaderU16(r);
        return;
    }
    while (first != 0 && !r->err)
        first = ReaderU16(r);
}

static void AlignTo4(ByteReader *r)
{
    ReaderSeek(r, (r->pos + 3u) & ~3u);
}

int DialogTemplateCheck(const unsigned char *dialog, uint32_t size)
{
    ByteReader r;
    ReaderInit(&r, dialog, size);
    // DLGTEMPLATEEX begins with version 1 and the signature; DLGTEMPLATE
    // with the style.
    uint32_t style = ReaderU32(&r);
    int extended = style == (kExSignature << 16 | 1u);
    ReaderU32(&r);   // help id, or the extended style
    if (extended) {
        ReaderU32(&r);   // extended style
        style = ReaderU32(&r);
    }
    uint32_t items = ReaderU16(&r);
    ReaderTake(&r, 8);   // x, y, cx, cy
    SkipTextOrNumber(&r);   // menu
    SkipTextOrNumber(&r);   // class
    SkipTextOrNumber(&r);   // title
    if (style & kSetFont) {
        ReaderTake(&r, extended ? 6u : 2u);   // size; weight, italic, character set
        SkipTextOrNumber(&r);                 // face
    }
    for (uint32_t i = 0; i < items && !r.err; i++) {
        AlignTo4(&r);
        // Help id, extended style, style, x, y, cx, cy, a 32-bit id; or
        // style, extended style, x, y, cx, cy, a 16-bit id.
        ReaderTake(&r, extended ? 24u : 18u);
        SkipTextOrNumber(&r);   // class
        SkipTextOrNumber(&r);   // title
        uint32_t extra = ReaderU16(&r);
        ReaderTake(&r, extra);
    }
    return !r.err;
}
