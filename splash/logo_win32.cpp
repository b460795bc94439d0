// Measuring and drawing the text splash of a logo script.
#include "splash/logo_win32.h"

#include <stdint.h>

#include "base/text.h"
#include "splash/logo.h"
#include "splash/placement.h"
#include "splash/orderedlist.h"
#include "splash/splash_state.h"

static const char kStartFace[] = "Helv";

// Sums of heights and the y of the lines can grow with the length of the
// script; they stop here instead of overflowing. Far beyond any screen.
static const int64_t kCoordinateCap = 0x3FFFFFFF;

HFONT LogoCreateFont(HDC dc, const char *face, int height)
{
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = kLogoFontWeight;
    // The system's character set, not ANSI_CHARSET: TextOutA converts the
    // line through the font's character set, and ANSI_CHARSET means code
    // page 1252 whatever the user's, which turns a Japanese or Chinese line
    // into other letters.
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = kLogoPitchAndFamily;
    // A face longer than lfFaceName is cut at a whole character; the font
    // mapper then picks what comes closest.
    TextCopy(font.lfFaceName, sizeof font.lfFaceName, face ? face : "");
    HFONT created = CreateFontIndirectA(&font);
    if (!created)
        return NULL;
    SelectObject(dc, created);
    return created;
}

LogoSize LogoTextExtent(HDC dc, const char *text, int length)
{
    LogoSize size = {0, 0};
    SIZE measured;
    if (!text || length < 0 || !GetTextExtentPoint32A(dc, text, length, &measured))
        return size;
    size.width = (int)(uint16_t)measured.cx;
    size.height = (int)(uint16_t)measured.cy;
    return size;
}

static int64_t Capped(int64_t value)
{
    return value > kCoordinateCap ? kCoordinateCap : value;
}

// Switches to the font of a sized line. The new font is selected before the
// old one is deleted; when it cannot be made, the old one stays in force.
static void SwitchFont(HDC dc, const LogoLine *line, HFONT *current)
{
    if (line->size == kLogoNoSize)
        return;
    HFONT next = LogoCreateFont(dc, line->face, line->size);
    if (!next)
        return;
    if (*current)
        DeleteObject(*current);
    *current = next;
}

void LogoMeasure(HWND dialog, OrderedList *lines)
{
    // The script's directives, as the parser left them in the records.
    g_splash.textColor = kLogoBlack;
    g_splash.backColor = kLogoWhite;
    g_splash.raised = 0;

    int64_t maxWidth = 0;
    int64_t sumHeight = 0;
    HDC dc = GetDC(dialog);
    if (dc) {
        HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
        HFONT current = LogoCreateFont(dc, kStartFace, kLogoStartHeight);
        for (LogoLine *line = (LogoLine *)ListFirst(lines); line; line = (LogoLine *)ListNext(lines)) {
            switch (line->kind) {
            case LOGO_TEXT: {
                SwitchFont(dc, line, &current);
                LogoSize size = LogoTextExtent(dc, line->text, (int)TextLength(line->text));
                line->width = size.width;
                line->height = size.height;
                sumHeight = Capped(sumHeight + (9 * (int64_t)size.height) / 8);
                // 6/5 of the width as the width and its fifth: no 64-bit division.
                int64_t width = (int64_t)size.width + size.width / 5;
                if (width > maxWidth)
                    maxWidth = width;
                break;
            }
            case LOGO_BACKGROUND:
                g_splash.backColor = line->backColor;
                break;
            case LOGO_TEXTCOLOR:
                g_splash.textColor = line->textColor;
                break;
            case LOGO_RAISED:
                g_splash.raised = 1;
                break;
            default:
                break;
            }
        }
        // The DC goes back with the font it came with.
        if (original)
            SelectObject(dc, original);
        ReleaseDC(dialog, dc);
        if (current)
            DeleteObject(current);
    }

    SplashRect place = SplashPlaceOnScreen((int32_t)Capped((5 * maxWidth) / 4),
                                           (int32_t)Capped(sumHeight + 2 * GetSystemMetrics(SM_CYDLGFRAME)));
    MoveWindow(dialog, place.left, place.top, place.width, place.height, TRUE);
}

// The first text line from the start of the list, or null.
static LogoLine *FirstTextLine(OrderedList *lines)
{
    for (LogoLine *line = (LogoLine *)ListFirst(lines); line; line = (LogoLine *)ListNext(lines)) {
        if (line->kind == LOGO_TEXT)
            return line;
    }
    return NULL;
}

void LogoPaint(HWND dialog, HDC dc, OrderedList *lines)
{
    HGDIOBJ original = GetCurrentObject(dc, OBJ_FONT);
    int saved = SaveDC(dc);
    HFONT current = LogoCreateFont(dc, kStartFace, kLogoStartHeight);
    LogoLine *line = FirstTextLine(lines);
    if (!line)
        goto done;
    {
        int64_t y = line->height / 2;
        RECT client;
        GetClientRect(dialog, &client);
        HBRUSH back = CreateSolidBrush(g_splash.backColor);
        if (back) {
            FillRect(dc, &client, back);
            DeleteObject(back);
        }
        SetBkColor(dc, g_splash.backColor);
        SetTextColor(dc, g_splash.textColor);
        SetBkMode(dc, TRANSPARENT);

        // The cursor stands on the first text line.
        for (; line; line = (LogoLine *)ListNext(lines)) {
            if (line->kind != LOGO_TEXT)
                continue;
            // y only grows: every later line would be below the window.
            if (y > client.bottom)
                break;
            SwitchFont(dc, line, &current);
            int x = (client.right - line->width) / 2;
            int top = (int)y;
            int length = (int)TextLength(line->text);
            if (g_splash.raised) {
                // Shade below right, light above left, then the text on top.
                SetTextColor(dc, kLogoBlack);
                TextOutA(dc, x + 1, top + 1, line->text, length);
                SetTextColor(dc, kLogoWhite);
                TextOutA(dc, x - 1, top - 1, line->text, length);
                SetTextColor(dc, g_splash.textColor);
            }
            TextOutA(dc, x, top, line->text, length);
            y = Capped(y + line->height + line->height / 8);
        }
    }

done:
    // Restoring the DC deselects the current font before it is deleted.
    if (saved)
        RestoreDC(dc, saved);
    else if (original)
        SelectObject(dc, original);
    if (current)
        DeleteObject(current);
}
