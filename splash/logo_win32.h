// The Windows side of the text splash: fonts, measuring the logo lines,
// placing the window, and drawing them. The lines come from LogoRead
// (splash/logo.h). Every GDI object is created and deleted inside the call
// that uses it.
#pragma once

#include <windows.h>

struct OrderedList;

enum {
    kLogoStartHeight = 30,      // height of the font in force before any sized line
    kLogoFontWeight = 700,      // every logo font is bold
    kLogoPitchAndFamily = 0x20, // FF_SWISS with DEFAULT_PITCH
};

// Creates a bold font of `face` and `height` (LOGFONT lfHeight, unchanged:
// positive is the cell height, negative the character height) and selects it
// into `dc`. A face longer than the 31 characters of lfFaceName is cut at the
// last whole character that fits. Returns the font, which the caller deletes
// once it is no longer selected, or null (nothing selected then).
HFONT LogoCreateFont(HDC dc, const char *face, int height);

// Width and height of the first `length` bytes of `text` in the font of `dc`,
// each kept to 16 bits (0 to 65535); both 0 when measuring fails.
struct LogoSize {
    int width;
    int height;
};
LogoSize LogoTextExtent(HDC dc, const char *text, int length);

// Measures every text line (storing its width and height in the record),
// takes the colours of the directives into g_splash (the last of each kind
// wins), and sizes and centres the dialog to the text, repainting it.
void LogoMeasure(HWND dialog, OrderedList *lines);

// Draws the text lines, each centred, on the background colour, in the text
// colour, raised when g_splash.raised is set. Needs LogoMeasure first.
// Draws nothing when there is no text line.
void LogoPaint(HWND dialog, HDC dc, OrderedList *lines);
