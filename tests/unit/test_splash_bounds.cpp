// What the splash takes from a library before drawing: a bitmap's header
// against its data, and a window that stays on the work area whatever a logo
// script measures.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "splash/bitmapcheck.h"
#include "splash/dialogcheck.h"
#include "splash/placement.h"

namespace {

struct Dib {
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 2;
    uint16_t planes = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    size_t tail = 0;          // bytes after the header; npos: exactly what it needs
    long adjust = 0;          // added to that
};

std::vector<unsigned char> Make(const Dib &d) {
    std::vector<unsigned char> b(d.headerSize == 12 ? 12 : 40, 0);
    auto put32 = [&](size_t at, uint32_t v) { memcpy(&b[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { memcpy(&b[at], &v, 2); };
    put32(0, d.headerSize);
    if (d.headerSize == 12) {
        put16(4, uint16_t(d.width));
        put16(6, uint16_t(d.height));
        put16(8, d.planes);
        put16(10, d.bits);
    } else {
        put32(4, uint32_t(d.width));
        put32(8, uint32_t(d.height));
        put16(12, d.planes);
        put16(14, d.bits);
        put32(16, d.compression);
        put32(20, d.imageSize);
        put32(32, d.colorsUsed);
    }
    b.resize(size_t(long(b.size()) + long(d.tail) + d.adjust), 0x5A);
    return b;
}

// Stride of a row: whole 32-bit words.
size_t Pixels(int32_t w, int32_t h, int bits) {
    return size_t(((w * bits + 31) / 32) * 4) * size_t(h < 0 ? -h : h);
}

TEST(BitmapCheck, HeaderAgainstData) {
    struct Row {
        const char *why;
        Dib dib;
        int expected;
    };
    std::vector<Row> rows;
    auto row = [&](const char *why, Dib d, size_t tail, long adjust, int expected) {
        d.tail = tail;
        d.adjust = adjust;
        rows.push_back({why, d, expected});
    };
    Dib rgb24;
    row("24 bits, exactly its pixels", rgb24, Pixels(4, 2, 24), 0, 1);
    row("24 bits, one byte short", rgb24, Pixels(4, 2, 24), -1, 0);
    row("24 bits, more than needed is fine", rgb24, Pixels(4, 2, 24), 100, 1);
    Dib topDown = rgb24;
    topDown.height = -2;
    row("top-down", topDown, Pixels(4, 2, 24), 0, 1);
    Dib pal8 = rgb24;
    pal8.bits = 8;
    row("8 bits with its 256 colours", pal8, 256 * 4 + Pixels(4, 2, 8), 0, 1);
    row("8 bits without room for the colours", pal8, Pixels(4, 2, 8), 0, 0);
    Dib few = pal8;
    few.colorsUsed = 2;
    row("8 bits, 2 colours used", few, 2 * 4 + Pixels(4, 2, 8), 0, 1);
    Dib tooMany = pal8;
    tooMany.colorsUsed = 257;
    row("more colours than 8 bits allow", tooMany, 257 * 4 + Pixels(4, 2, 8), 0, 0);
    Dib fields = rgb24;
    fields.bits = 32;
    fields.compression = 3;
    row("bit fields: three masks and pixels", fields, 12 + Pixels(4, 2, 32), 0, 1);
    row("bit fields without the masks", fields, Pixels(4, 2, 32), 0, 0);
    Dib huge = rgb24;
    huge.width = 4000;
    huge.height = 4000;
    row("4000 x 4000 promised, 200 bytes present", huge, 200, 0, 0);
    Dib wide = rgb24;
    wide.width = kBitmapMaxSide + 1;
    wide.height = 1;
    row("wider than a splash may be", wide, Pixels(kBitmapMaxSide + 1, 1, 24), 0, 0);
    Dib overflow = rgb24;
    overflow.width = 0x7FFFFFFF;
    overflow.height = 0x7FFFFFFF;
    row("sides whose product overflows", overflow, 64, 0, 0);
    Dib zero = rgb24;
    zero.width = 0;
    row("no width", zero, 64, 0, 0);
    Dib planes = rgb24;
    planes.planes = 2;
    row("two planes", planes, Pixels(4, 2, 24), 0, 0);
    Dib odd = rgb24;
    odd.bits = 7;
    row("7 bits a pixel", odd, 64, 0, 0);
    Dib rle = rgb24;
    rle.bits = 8;
    rle.compression = 1;
    rle.imageSize = 10;
    row("run-length with its image size", rle, 256 * 4 + 10, 0, 1);
    row("run-length image size past the data", rle, 256 * 4 + 9, 0, 0);
    Dib rleTopDown = rle;
    rleTopDown.height = -2;
    row("run-length top-down", rleTopDown, 256 * 4 + 10, 0, 0);
    Dib unknown = rgb24;
    unknown.compression = 9;
    row("unknown compression", unknown, Pixels(4, 2, 24), 0, 0);
    Dib core;
    core.headerSize = 12;
    core.bits = 8;
    row("core header with 256 three-byte colours", core, 256 * 3 + Pixels(4, 2, 8), 0, 1);
    row("core header one byte short", core, 256 * 3 + Pixels(4, 2, 8), -1, 0);
    Dib strange = rgb24;
    strange.headerSize = 30;
    row("a header size no bitmap has", strange, Pixels(4, 2, 24), 0, 0);

    for (const Row &r : rows) {
        const std::vector<unsigned char> bytes = Make(r.dib);
        int32_t w = -1, h = -1;
        EXPECT_EQ(r.expected, BitmapCheck(bytes.data(), uint32_t(bytes.size()), &w, &h)) << r.why;
        if (r.expected) {
            EXPECT_EQ(r.dib.width, w) << r.why;
            EXPECT_EQ(r.dib.height < 0 ? -r.dib.height : r.dib.height, h) << r.why;
        }
    }
}

TEST(BitmapCheck, EveryCutOfAGoodBitmapIsRefused) {
    Dib d;
    d.bits = 8;
    d.tail = 256 * 4 + Pixels(4, 2, 8);
    const std::vector<unsigned char> bytes = Make(d);
    int32_t w, h;
    ASSERT_EQ(1, BitmapCheck(bytes.data(), uint32_t(bytes.size()), &w, &h));
    for (size_t n = 0; n < bytes.size(); n++)
        EXPECT_EQ(0, BitmapCheck(bytes.data(), uint32_t(n), &w, &h)) << n << " bytes";
}

TEST(SplashPlace, StaysOnTheWorkArea) {
    const SplashRect work = {0, 0, 1024, 738};   // a task bar of 30 below
    struct Row {
        const char *why;
        int32_t width, height;
        SplashRect expected;
    } rows[] = {
        {"small: centred on the screen as before", 200, 100, {412, 334, 200, 100}},
        {"taller than the work area: cut to it, top at its top", 300, 5000, {362, 0, 300, 738}},
        {"a logo that measured far beyond the screen, capped", INT32_MAX, INT32_MAX, {0, 0, 1024, 738}},
        {"negative sizes count as nothing", -5, -5, {512, 384, 0, 0}},
        {"just fits: centred on the screen would cross the task bar", 600, 730, {212, 8, 600, 730}},
    };
    for (const Row &r : rows) {
        const SplashRect got = SplashPlace(r.width, r.height, 1024, 768, &work);
        EXPECT_EQ(r.expected.left, got.left) << r.why;
        EXPECT_EQ(r.expected.top, got.top) << r.why;
        EXPECT_EQ(r.expected.width, got.width) << r.why;
        EXPECT_EQ(r.expected.height, got.height) << r.why;
    }
}

TEST(SplashPlace, AWorkAreaOffTheOrigin) {
    // A task bar on the left: the work area starts at x = 100.
    const SplashRect work = {100, 0, 924, 768};
    const SplashRect got = SplashPlace(1000, 200, 1024, 768, &work);
    EXPECT_EQ(100, got.left);
    EXPECT_EQ(924, got.width);
    EXPECT_EQ(284, got.top);
}

// Dialog templates: a small builder for the two layouts.
struct Template {
    std::vector<unsigned char> b;
    void U16(uint32_t v) { b.push_back((unsigned char)v); b.push_back((unsigned char)(v >> 8)); }
    void U32(uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void Text(const char *t) { for (; *t; t++) U16((unsigned char)*t); U16(0); }
    void Align() { while (b.size() % 4) b.push_back(0); }
};

// A DLGTEMPLATE with a font and `items` items (a button, a static with
// creation data), or the DLGTEMPLATEEX form of the same.
Template MakeDialog(bool extended, uint32_t itemsClaimed, uint32_t itemsWritten) {
    Template t;
    const uint32_t style = 0x80C000C0u | 0x40u;   // DS_SETFONT among others
    if (extended) {
        t.U16(1); t.U16(0xFFFF); t.U32(0); t.U32(0); t.U32(style);
    } else {
        t.U32(style); t.U32(0);
    }
    t.U16(itemsClaimed);
    for (int i = 0; i < 4; i++) t.U16(10);
    t.U16(0);              // no menu
    t.U16(0);              // the default class
    t.Text("Splash");
    t.U16(8);              // point size
    if (extended) { t.U16(400); t.b.push_back(0); t.b.push_back(1); }
    t.Text("MS Shell Dlg");
    for (uint32_t i = 0; i < itemsWritten; i++) {
        t.Align();
        if (extended) { t.U32(0); t.U32(0); t.U32(0x50000000u); }
        else { t.U32(0x50000000u); t.U32(0); }
        for (int k = 0; k < 4; k++) t.U16(5);
        if (extended) t.U32(100 + i); else t.U16(100 + i);
        if (i % 2) { t.U16(0xFFFF); t.U16(0x0082); t.U16(0xFFFF); t.U16(7511); t.U16(4); t.U32(0); }
        else { t.Text("Button"); t.Text("OK"); t.U16(0); }
    }
    return t;
}

TEST(DialogTemplateCheck, WalksToTheLastItemWithinTheResource) {
    for (bool extended : {false, true}) {
        const Template good = MakeDialog(extended, 3, 3);
        EXPECT_EQ(1, DialogTemplateCheck(good.b.data(), uint32_t(good.b.size()))) << extended;
        // Every cut of it is refused: the last item ends at the end.
        for (size_t n = 0; n < good.b.size(); n++)
            EXPECT_EQ(0, DialogTemplateCheck(good.b.data(), uint32_t(n))) << extended << " cut at " << n;
        const Template liar = MakeDialog(extended, 65535, 3);
        EXPECT_EQ(0, DialogTemplateCheck(liar.b.data(), uint32_t(liar.b.size()))) << extended << ": 65535 items claimed";
        const Template none = MakeDialog(extended, 0, 0);
        EXPECT_EQ(1, DialogTemplateCheck(none.b.data(), uint32_t(none.b.size()))) << extended << ": no items";
    }
    // A title without its terminator.
    Template open = MakeDialog(false, 0, 0);
    open.b.resize(22);
    for (int i = 0; i < 10; i++) open.U16('x');
    EXPECT_EQ(0, DialogTemplateCheck(open.b.data(), uint32_t(open.b.size())));
    // Creation data longer than what is left.
    Template extra = MakeDialog(false, 1, 1);
    extra.b[extra.b.size() - 2] = 0xFF;
    EXPECT_EQ(0, DialogTemplateCheck(extra.b.data(), uint32_t(extra.b.size())));
}

}  // namespace
