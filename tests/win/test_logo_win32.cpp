// The text splash's fonts, measuring and drawing, under Wine. The window is a
// dialog made from a template in memory with the style of dialog 7501 (popup,
// dialog frame); drawing goes into 24-bit DIB sections that are read back
// exactly and compared with what the same fonts give when drawn by hand.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "splash/logo.h"
#include "splash/logo_win32.h"
#include "splash/orderedlist.h"
#include "splash/splash_state.h"
#include "tests/unit/test_support.h"
#include "tests/win/gdi_canvas.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

INT_PTR CALLBACK QuietProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A hidden popup dialog with a dialog frame, as template 7501 makes it.
HWND CreateFrame()
{
    struct {
        DLGTEMPLATE head;
        WORD menu, windowClass, title;
    } t = {};
    t.head.style = WS_POPUP | WS_DLGFRAME | DS_CENTER;
    t.head.x = 78;
    t.head.y = 39;
    t.head.cx = 134;
    t.head.cy = 100;
    return CreateDialogIndirectParamA(GetModuleHandleA(NULL), &t.head, NULL, QuietProc, 0);
}

// The font that a logo line asks for, made by hand.
HFONT BoldFont(const char *face, int height)
{
    LOGFONTA f = {};
    f.lfHeight = height;
    f.lfWeight = 700;
    f.lfPitchAndFamily = 0x20;
    lstrcpynA(f.lfFaceName, face, LF_FACESIZE);
    return CreateFontIndirectA(&f);
}

SIZE Extent(HDC dc, const std::string &text)
{
    SIZE s = {0, 0};
    GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &s);
    return s;
}

class LogoWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_splash;
        g_splash.raised = 0;
        g_splash.textColor = RGB(1, 1, 1);
        g_splash.backColor = RGB(2, 2, 2);
        frame_ = CreateFrame();
        ASSERT_NE((HWND)NULL, frame_);
    }
    void TearDown() override
    {
        if (lines_)
            LogoFree(lines_);
        if (frame_)
            DestroyWindow(frame_);
        g_splash = saved_;
    }

    // Parses script lines as LogoRead would and measures them in the frame.
    OrderedList *Measure(const std::vector<std::string> &script)
    {
        if (lines_)
            LogoFree(lines_);
        g_splash.raised = 0;
        OrderedList *raw = ListCreate(kListItemText);
        for (const std::string &line : script)
            ListInsertCopy(raw, line.empty() ? " " : line.c_str());
        lines_ = LogoParse(raw);
        EXPECT_NE(nullptr, lines_);
        LogoMeasure(frame_, lines_);
        return lines_;
    }
    std::vector<LogoLine *> Records()
    {
        std::vector<LogoLine *> out;
        for (void *r = ListFirst(lines_); r; r = ListNext(lines_))
            out.push_back((LogoLine *)r);
        return out;
    }
    RECT WindowRect()
    {
        RECT r;
        GetWindowRect(frame_, &r);
        return r;
    }
    RECT Client()
    {
        RECT r;
        GetClientRect(frame_, &r);
        return r;
    }
    void Paint(Canvas &canvas) { LogoPaint(frame_, canvas.dc, lines_); GdiFlush(); }

    HWND frame_ = NULL;
    OrderedList *lines_ = nullptr;
    SplashState saved_;
};

// ---------------------------------------------------------------------------
// Fonts and extents

TEST_F(LogoWin, CreateFontFillsTheLogfontAndSelectsIt)
{
    const struct {
        const char *face;
        int height;
        const char *stored;
        const char *why;
    } cases[] = {
        {"Arial", 24, "Arial", "cell height"},
        {"Times New Roman", -18, "Times New Roman", "a negative height is kept: character height"},
        {" Arial ", 0, " Arial ", "spaces of the face are kept"},
        {"", 30, "", "an empty face"},
        {"A123456789B123456789C123456789D", 12, "A123456789B123456789C123456789D", "31 characters fit"},
        {"A123456789B123456789C123456789DEFGH", 12, "A123456789B123456789C123456789D",
         "a longer face is cut to 31"},
    };
    Canvas canvas(8, 8, kWhite);
    HGDIOBJ before = GetCurrentObject(canvas.dc, OBJ_FONT);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        HFONT font = LogoCreateFont(canvas.dc, c.face, c.height);
        ASSERT_NE((HFONT)NULL, font);
        EXPECT_EQ((HGDIOBJ)font, GetCurrentObject(canvas.dc, OBJ_FONT));
        LOGFONTA f = {};
        ASSERT_EQ((int)sizeof f, GetObjectA(font, sizeof f, &f));
        EXPECT_EQ(c.height, f.lfHeight);
        EXPECT_EQ(0, f.lfWidth);
        EXPECT_EQ(0, f.lfEscapement);
        EXPECT_EQ(0, f.lfOrientation);
        EXPECT_EQ(700, f.lfWeight);
        EXPECT_EQ(0, f.lfItalic);
        EXPECT_EQ(0, f.lfUnderline);
        EXPECT_EQ(0, f.lfStrikeOut);
        // The system's character set: TextOutA then reads the text in the
        // ANSI code page (with ANSI_CHARSET it would read 1252, and a
        // Japanese or Chinese line would come out as other letters).
        EXPECT_EQ(DEFAULT_CHARSET, f.lfCharSet);
        EXPECT_EQ(0, f.lfOutPrecision);
        EXPECT_EQ(0, f.lfClipPrecision);
        EXPECT_EQ(0, f.lfQuality);
        EXPECT_EQ(0x20, f.lfPitchAndFamily);
        EXPECT_STREQ(c.stored, f.lfFaceName);
        SelectObject(canvas.dc, before);
        DeleteObject(font);
    }
}

TEST_F(LogoWin, CreateFontNeverSplitsACharacterCp932)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    // 30 single bytes and a double-byte character: the character would take
    // the 31st and 32nd bytes, and the 32nd is the terminator's.
    std::string face(30, 'a');
    face += "\x82\xa0";   // HIRAGANA LETTER A
    Canvas canvas(8, 8, kWhite);
    HGDIOBJ before = GetCurrentObject(canvas.dc, OBJ_FONT);
    HFONT font = LogoCreateFont(canvas.dc, face.c_str(), 20);
    ASSERT_NE((HFONT)NULL, font);
    LOGFONTA f = {};
    GetObjectA(font, sizeof f, &f);
    EXPECT_EQ(std::string(30, 'a'), std::string(f.lfFaceName));
    SelectObject(canvas.dc, before);
    DeleteObject(font);

    // 29 single bytes: the character fits whole.
    face = std::string(29, 'a') + "\x82\xa0";
    font = LogoCreateFont(canvas.dc, face.c_str(), 20);
    ASSERT_NE((HFONT)NULL, font);
    GetObjectA(font, sizeof f, &f);
    EXPECT_EQ(face, std::string(f.lfFaceName));
    SelectObject(canvas.dc, before);
    DeleteObject(font);
}

TEST_F(LogoWin, TextExtentKeepsSixteenBitsAndFailsToZero)
{
    Canvas canvas(8, 8, kWhite);
    HGDIOBJ before = GetCurrentObject(canvas.dc, OBJ_FONT);
    HFONT font = LogoCreateFont(canvas.dc, "Tahoma", 25);
    ASSERT_NE((HFONT)NULL, font);
    const std::string text = "Corvane Setup";
    SIZE s = Extent(canvas.dc, text);
    LogoSize got = LogoTextExtent(canvas.dc, text.c_str(), (int)text.size());
    EXPECT_EQ(s.cx, got.width);
    EXPECT_EQ(s.cy, got.height);
    EXPECT_GT(got.width, 0);

    // Only `length` bytes count.
    got = LogoTextExtent(canvas.dc, text.c_str(), 7);
    EXPECT_EQ(Extent(canvas.dc, "Corvane").cx, got.width);

    // A huge font: the width passes 65535 and keeps its low 16 bits.
    HFONT huge = LogoCreateFont(canvas.dc, "Tahoma", 4000);
    ASSERT_NE((HFONT)NULL, huge);
    const std::string wide(99, 'W');
    s = Extent(canvas.dc, wide);
    got = LogoTextExtent(canvas.dc, wide.c_str(), (int)wide.size());
    if (s.cx <= 0xFFFF)
        ADD_FAILURE() << "font too small to pass 16 bits: " << s.cx;
    EXPECT_EQ(s.cx & 0xFFFF, got.width);
    EXPECT_EQ(s.cy & 0xFFFF, got.height);
    EXPECT_GE(got.width, 0);
    SelectObject(canvas.dc, before);
    DeleteObject(huge);
    DeleteObject(font);

    // No DC to measure in: both 0.
    got = LogoTextExtent(NULL, text.c_str(), (int)text.size());
    EXPECT_EQ(0, got.width);
    EXPECT_EQ(0, got.height);
}

// ---------------------------------------------------------------------------
// Measuring

// Builds a text of a face and cell height whose extent is exactly `want`
// wide, from characters whose widths add up (checked by measuring the whole).
std::string TextOfWidth(HDC dc, int want)
{
    std::vector<std::pair<char, int>> widths;
    for (char c = 'a'; c <= 'z'; ++c)
        widths.push_back({c, (int)Extent(dc, std::string(1, c)).cx});
    for (char c = 'A'; c <= 'Z'; ++c)
        widths.push_back({c, (int)Extent(dc, std::string(1, c)).cx});
    // Fewest characters for each total width.
    std::vector<std::string> best(want + 1);
    std::vector<bool> reached(want + 1, false);
    reached[0] = true;
    for (int total = 1; total <= want; ++total)
        for (const auto &w : widths)
            if (w.second > 0 && w.second <= total && reached[total - w.second] &&
                (!reached[total] || best[total - w.second].size() + 1 < best[total].size())) {
                reached[total] = true;
                best[total] = best[total - w.second] + w.first;
            }
    return reached[want] ? best[want] : std::string();
}

TEST_F(LogoWin, GeometryOfOneLine200By20)
{
    // A line measured 200 x 20: 200 * 6 / 5 = 240, * 5 / 4 gives a window 300
    // wide; 20 * 9 / 8 = 22 and the dialog frame above and below; the line is
    // drawn at y 20 / 2 and centred in the client area.
    HDC dc = GetDC(frame_);
    HFONT font = BoldFont("Tahoma", 20);
    HGDIOBJ old = SelectObject(dc, font);
    std::string text = TextOfWidth(dc, 200);
    SIZE s = Extent(dc, text);
    SelectObject(dc, old);
    ReleaseDC(frame_, dc);
    ASSERT_FALSE(text.empty());
    ASSERT_EQ(200, s.cx) << text;
    ASSERT_EQ(20, s.cy) << "a cell height of 20 should measure 20";

    Measure({"<Tahoma,20>" + text});
    std::vector<LogoLine *> records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(200, records[0]->width);
    EXPECT_EQ(20, records[0]->height);

    const int frameY = GetSystemMetrics(SM_CYDLGFRAME);
    RECT r = WindowRect();
    EXPECT_EQ(300, r.right - r.left);
    EXPECT_EQ(22 + 2 * frameY, r.bottom - r.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - 300) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - (22 + 2 * frameY)) / 2, r.top);

    // Drawn: black on white (no directives), at x (client width - 200) / 2,
    // y 10, exactly as the same font draws it there.
    RECT client = Client();
    EXPECT_EQ(22, client.bottom);
    EXPECT_EQ(kBlack, g_splash.textColor);
    EXPECT_EQ(kWhite, g_splash.backColor);
    Canvas drawn(client.right, client.bottom + 20, RGB(9, 9, 9));
    Paint(drawn);
    Canvas expected(client.right, client.bottom + 20, RGB(9, 9, 9));
    RECT fill = client;
    FillRect(expected.dc, &fill, (HBRUSH)GetStockObject(WHITE_BRUSH));
    font = BoldFont("Tahoma", 20);
    old = SelectObject(expected.dc, font);
    SetBkMode(expected.dc, TRANSPARENT);
    TextOutA(expected.dc, (client.right - 200) / 2, 10, text.c_str(), (int)text.size());
    SelectObject(expected.dc, old);
    DeleteObject(font);
    EXPECT_EQ("", drawn.Diff(expected));
    // The ink stays inside the line's box, and the client area is all there
    // is of the background.
    RECT ink = drawn.Ink(kWhite, client.bottom);
    EXPECT_GE(ink.left, (client.right - 200) / 2);
    EXPECT_LE(ink.right, (client.right - 200) / 2 + 200);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.bottom, 30);
    EXPECT_EQ(RGB(9, 9, 9), drawn.At(0, client.bottom));
}

TEST_F(LogoWin, NoTextLinesGiveAnEmptyWindowAndNoPainting)
{
    Measure({"#background=10,20,30", "#text=1,2,3", "#raised", "#comment"});
    RECT r = WindowRect();
    EXPECT_EQ(0, r.right - r.left);
    EXPECT_EQ(2 * GetSystemMetrics(SM_CYDLGFRAME), r.bottom - r.top);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN) / 2, r.left);
    // The colours are taken all the same.
    EXPECT_EQ(RGB(10, 20, 30), g_splash.backColor);
    EXPECT_EQ(RGB(1, 2, 3), g_splash.textColor);

    Canvas canvas(40, 40, RGB(9, 9, 9));
    HGDIOBJ font = GetCurrentObject(canvas.dc, OBJ_FONT);
    Paint(canvas);
    EXPECT_EQ(40 * 40, canvas.Count(RGB(9, 9, 9)));
    EXPECT_EQ(font, GetCurrentObject(canvas.dc, OBJ_FONT));

    // An empty list, and none at all, the same.
    Measure({});
    EXPECT_EQ(0, WindowRect().right - WindowRect().left);
    LogoMeasure(frame_, nullptr);
    EXPECT_EQ(2 * GetSystemMetrics(SM_CYDLGFRAME), WindowRect().bottom - WindowRect().top);
    LogoPaint(frame_, canvas.dc, nullptr);
    EXPECT_EQ(40 * 40, canvas.Count(RGB(9, 9, 9)));
}

TEST_F(LogoWin, SizedLinesSetTheFontForTheLinesAfterThem)
{
    Canvas probe(8, 8, kWhite);
    auto measure = [&](const char *face, int height, const char *text) {
        HFONT f = BoldFont(face, height);
        HGDIOBJ o = SelectObject(probe.dc, f);
        SIZE s = Extent(probe.dc, text);
        SelectObject(probe.dc, o);
        DeleteObject(f);
        return s;
    };
    Measure({"Start", "<Tahoma,40>Big", "still big", "<Tahoma>not sized", "<DejaVu Serif,-12>small",
             "#comment", "small too"});
    std::vector<LogoLine *> r = Records();
    ASSERT_EQ(7u, r.size());
    const struct {
        int index;
        const char *face;
        int height;
        const char *text;
    } expect[] = {
        {0, "Helv", 30, "Start"},          {1, "Tahoma", 40, "Big"},
        {2, "Tahoma", 40, "still big"},    {3, "Tahoma", 40, ""},
        {4, "DejaVu Serif", -12, "small"}, {6, "DejaVu Serif", -12, "small too"},
    };
    int sum = 0, widest = 0;
    for (const auto &e : expect) {
        SCOPED_TRACE(e.text);
        SIZE s = measure(e.face, e.height, e.text);
        EXPECT_EQ(s.cx, r[e.index]->width);
        EXPECT_EQ(s.cy, r[e.index]->height);
        sum += 9 * s.cy / 8;
        widest = std::max(widest, (int)(6 * s.cx / 5));
    }
    EXPECT_EQ(0, r[5]->height);   // a directive is not measured
    EXPECT_GT(r[1]->height, r[0]->height);
    EXPECT_LT(r[4]->height, r[0]->height);
    RECT w = WindowRect();
    EXPECT_EQ(5 * widest / 4, w.right - w.left);
    EXPECT_EQ(sum + 2 * GetSystemMetrics(SM_CYDLGFRAME), w.bottom - w.top);
}

// ---------------------------------------------------------------------------
// Drawing

// What LogoPaint should draw, drawn by hand: the lines of (face, height,
// text) from y = first height / 2, each centred, raised or not.
struct Line {
    const char *face;
    int height;
    std::string text;
};
void DrawByHand(Canvas &canvas, const RECT &client, const std::vector<Line> &lines, COLORREF back,
                COLORREF text, bool raised)
{
    HBRUSH brush = CreateSolidBrush(back);
    FillRect(canvas.dc, &client, brush);
    DeleteObject(brush);
    SetBkMode(canvas.dc, TRANSPARENT);
    int y = -1;
    for (const Line &l : lines) {
        HFONT font = BoldFont(l.face, l.height);
        HGDIOBJ old = SelectObject(canvas.dc, font);
        SIZE s = Extent(canvas.dc, l.text);
        if (y < 0)
            y = s.cy / 2;
        int x = (client.right - s.cx) / 2;
        if (raised) {
            SetTextColor(canvas.dc, kBlack);
            TextOutA(canvas.dc, x + 1, y + 1, l.text.c_str(), (int)l.text.size());
            SetTextColor(canvas.dc, kWhite);
            TextOutA(canvas.dc, x - 1, y - 1, l.text.c_str(), (int)l.text.size());
        }
        SetTextColor(canvas.dc, text);
        TextOutA(canvas.dc, x, y, l.text.c_str(), (int)l.text.size());
        y += s.cy + s.cy / 8;
        SelectObject(canvas.dc, old);
        DeleteObject(font);
    }
    GdiFlush();
}

struct PaintCase {
    std::vector<std::string> script;
    std::vector<Line> lines;
    COLORREF back, text;
    bool raised;
    const char *why;
};

TEST_F(LogoWin, PaintDrawsEachLineCentredInItsColours)
{
    const COLORREF navy = RGB(0, 0, 128), gold = RGB(250, 200, 40);
    const PaintCase cases[] = {
        {{"Plain text"}, {{"Helv", 30, "Plain text"}}, kWhite, kBlack, false,
         "no directives: black on white in the starting font"},
        {{"#text=200,0,0", "<Tahoma,40>First", "#background=0,0,128", "Second line", "#text=250,200,40", " "},
         {{"Tahoma", 40, "First"}, {"Tahoma", 40, "Second line"}, {"Tahoma", 40, " "}},
         navy, gold, false, "the later text directive colours every line, also those above it"},
        {{"#raised", "#background=0,0,128", "#text=250,200,40", "<Tahoma,36>Raised", "<DejaVu Sans,18>below",
          "<Tahoma,30> "},
         {{"Tahoma", 36, "Raised"}, {"DejaVu Sans", 18, "below"}, {"Tahoma", 30, " "}},
         navy, gold, true, "raised: black below right, white above left"},
        {{"#background=200,0,0", "#background=0,0,128", "A", "", "B"},
         {{"Helv", 30, "A"}, {"Helv", 30, " "}, {"Helv", 30, "B"}},
         navy, kBlack, false, "the last background wins; an empty line is a line of one space"},
    };
    for (const PaintCase &c : cases) {
        SCOPED_TRACE(c.why);
        Measure(c.script);
        EXPECT_EQ(c.back, g_splash.backColor);
        EXPECT_EQ(c.text, g_splash.textColor);
        EXPECT_EQ(c.raised ? 1 : 0, g_splash.raised);
        RECT client = Client();
        ASSERT_GT(client.right, 0);
        Canvas drawn(client.right, client.bottom, RGB(9, 9, 9));
        HGDIOBJ font = GetCurrentObject(drawn.dc, OBJ_FONT);
        SetTextColor(drawn.dc, RGB(7, 7, 7));
        Paint(drawn);
        Canvas expected(client.right, client.bottom, RGB(9, 9, 9));
        DrawByHand(expected, client, c.lines, c.back, c.text, c.raised);
        EXPECT_EQ("", drawn.Diff(expected));

        // The background fills the client area; the text is there in its colour.
        EXPECT_EQ(c.back, drawn.At(0, 0));
        EXPECT_EQ(c.back, drawn.At(client.right - 1, client.bottom - 1));
        EXPECT_GT(drawn.Count(c.text), 0);
        if (c.back != kWhite && c.text != kWhite) {
            EXPECT_EQ(c.raised, drawn.Count(kWhite) > 0);
        }
        // The DC is given back as it came.
        EXPECT_EQ(font, GetCurrentObject(drawn.dc, OBJ_FONT));
        EXPECT_EQ(RGB(7, 7, 7), GetTextColor(drawn.dc));
        EXPECT_EQ(OPAQUE, GetBkMode(drawn.dc));
    }
}

TEST_F(LogoWin, RaisedTextHasItsShadeAndLightOnTheRightSides)
{
    // Full-height characters: white shows above the ink (drawn at y - 1),
    // black below it (y + 1), and the text colour in neither row. The blank
    // line after it makes room below the first line, which is drawn from half
    // its height down.
    Measure({"#raised", "#background=0,0,128", "#text=250,200,40", "<Tahoma,40>IIII", "<Tahoma,40> "});
    RECT client = Client();
    Canvas drawn(client.right, client.bottom, RGB(9, 9, 9));
    Paint(drawn);
    const COLORREF gold = RGB(250, 200, 40);
    RECT ink = drawn.Ink(RGB(0, 0, 128));
    ASSERT_GE(ink.top, 0);
    ASSERT_LT(ink.bottom, client.bottom) << "the line is cut off at the bottom";
    int whiteTop = 0, blackBottom = 0, goldEdge = 0;
    for (int x = ink.left; x < ink.right; ++x) {
        whiteTop += drawn.At(x, ink.top) == kWhite;
        blackBottom += drawn.At(x, ink.bottom - 1) == kBlack;
        goldEdge += drawn.At(x, ink.top) == gold || drawn.At(x, ink.bottom - 1) == gold;
    }
    EXPECT_GT(whiteTop, 0);
    EXPECT_GT(blackBottom, 0);
    EXPECT_EQ(0, goldEdge);
    EXPECT_GT(drawn.Count(gold), 0);
}

TEST_F(LogoWin, ManyLinesAddUpToTheWindowHeightWithinTheWorkArea)
{
    // A script of many lines: the window is as tall as their sum, but never
    // taller than the work area nor off it; drawing into a smaller area
    // leaves the DC as it was.
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    const int frame = 2 * GetSystemMetrics(SM_CYDLGFRAME);
    for (int lines : {10, 200}) {
        std::vector<std::string> script = {"#text=0,128,0"};
        for (int i = 0; i < lines; ++i)
            script.push_back("<Tahoma,20>line " + std::to_string(i));
        Measure(script);
        const RECT r = WindowRect();
        const int wanted = lines * (9 * 20 / 8) + frame;
        EXPECT_EQ(std::min<int>(wanted, work.bottom - work.top), r.bottom - r.top) << lines;
        EXPECT_GE(r.top, work.top) << lines;
        EXPECT_LE(r.bottom, work.bottom) << lines;
    }
    Canvas drawn(Client().right, 60, RGB(9, 9, 9));
    HGDIOBJ font = GetCurrentObject(drawn.dc, OBJ_FONT);
    Paint(drawn);
    EXPECT_GT(drawn.Count(RGB(0, 128, 0)), 0);
    EXPECT_EQ(font, GetCurrentObject(drawn.dc, OBJ_FONT));
}

}  // namespace
