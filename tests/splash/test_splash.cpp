// The splash under Wine: which splash a resource library selects, the dialog
// in its display modes, the close message with its minimum display time, the
// release of the dialog's objects, and the launcher's timer rule around it.
//
// The program's own resources stand for the launcher's (dialog 7501, string
// 7111 = 1500); the libraries in fixtures\ next to it carry the splash
// resources and the language tables (tests/splash/tables).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/ids.h"
#include "base/platform.h"
#include "launcher/mainwnd.h"
#include "launcher/state.h"
#include "base/ticks.h"
#include "resmodule/langtable.h"
#include "resmodule/resmodule.h"
#include "splash/orderedlist.h"
#include "splash/splash.h"
#include "splash/splash_state.h"
#include "splash/splashdlg.h"

namespace {

// Resource ids of the fixture libraries (fixture_common.rc).
enum {
    kTypedDialog = 7600,
    kBareDialog = 7601,
    kPatternBitmap = 7700,
    kLogoScript = 7800,
    kNameStatic = 200,
    kSampleBitmap = 7510,   // the sample library's bitmap and logo script
    kSampleLogo = 7520,
    kPatternWidth = 122,
    kPatternHeight = 78,
};

std::string ExeDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\') + 1);
}

std::string FixturePath(const std::string &name) { return ExeDir() + "fixtures\\" + name + ".dll"; }

HMODULE Own() { return GetModuleHandleA(NULL); }

std::string ItemText(HWND dialog, int id)
{
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool FileThere(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string WindowsTempName()
{
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, MAX_PATH);
    std::string s(dir);
    if (s.empty() || s.back() != '\\')
        s += '\\';
    return s + "_ins1163.tmp";
}

// A test clock: TickNow reads it, and the splash's sleeps advance it.
uint32_t g_now;
int g_tickReads;
std::vector<uint32_t> g_sleeps;
uint32_t FakeTicks()
{
    ++g_tickReads;
    return g_now;
}
void FakeSleep(uint32_t ms)
{
    g_sleeps.push_back(ms);
    g_now += ms;
}
void UseFakeClock(uint32_t now)
{
    g_now = now;
    g_tickReads = 0;
    g_sleeps.clear();
    TickSetSource(FakeTicks);
    SplashSetSleeper(FakeSleep);
}

// A 24-bit top-down DIB section to draw into and read back exactly.
struct Canvas {
    HDC dc = NULL;
    HBITMAP bitmap = NULL;
    HGDIOBJ old = NULL;
    int width = 0;
    int height = 0;
    Canvas(int w, int h, COLORREF fill) : width(w), height(h)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void *bits = NULL;
        dc = CreateCompatibleDC(NULL);
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        old = SelectObject(dc, bitmap);
        RECT all = {0, 0, w, h};
        HBRUSH brush = CreateSolidBrush(fill);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
};

// The pattern bitmap of the fixtures (made at build time): quadrants of red,
// green, blue and yellow split at x 61 and y 39, with two marked corners.
struct PatternPoint {
    int x, y;
    COLORREF color;
};
const PatternPoint kPattern[] = {
    {0, 0, RGB(10, 20, 30)},       {1, 0, RGB(255, 0, 0)},    {60, 38, RGB(255, 0, 0)},
    {61, 38, RGB(0, 255, 0)},      {121, 0, RGB(0, 255, 0)},  {60, 39, RGB(0, 0, 255)},
    {0, 77, RGB(0, 0, 255)},       {61, 39, RGB(255, 255, 0)}, {120, 77, RGB(255, 255, 0)},
    {121, 77, RGB(200, 100, 50)},
};

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResModuleClose();
        // Not open: every lookup answers with this program's own resources.
        ResModuleOpen(Own(), 1, "", "");
        g_splash.instance = Own();
        g_splash.window = NULL;
        g_splash.closed = 1;
        g_splash.timeBase = 0;
        TickSetSource(NULL);
        SplashSetSleeper(NULL);
        ResLastError = 0;
    }
    void TearDown() override
    {
        for (HWND w : windows_)
            if (IsWindow(w))
                DestroyWindow(w);
        if (data_)
            FreeLibrary(data_);
        ResModuleClose();
        TickSetSource(NULL);
        SplashSetSleeper(NULL);
        g_splash.window = NULL;
        Pump();
    }
    // Opens a fixture library as the resource module; 0 when it is missing.
    int OpenLibrary(const std::string &name)
    {
        ResModuleClose();
        return ResModuleOpen(Own(), 1, FixturePath(name).c_str(), "");
    }
    // The fixture loaded as data, for SplashCreateTyped.
    HMODULE Data(const std::string &name)
    {
        if (data_)
            FreeLibrary(data_);
        data_ = LoadLibraryExA(FixturePath(name).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        return data_;
    }
    HWND Keep(HWND w)
    {
        if (w)
            windows_.push_back(w);
        return w;
    }
    HWND Create() { return Keep(SplashCreate(NULL, ExeDir().c_str())); }

    std::vector<HWND> windows_;
    HMODULE data_ = NULL;
};

// ---------------------------------------------------------------------------
// Selection

enum Expect { kNone, kDefault, kTyped, kBitmap, kLogo };

struct SelectionCase {
    const char *fixture;
    Expect expect;
    const char *why;
};

const SelectionCase kSelection[] = {
    {"t2", kTyped, "type 2 with SPLASH:6 and its named entry: that dialog"},
    {"t2_nosplash", kDefault, "type 2 without SPLASH:6"},
    {"t2_noname", kDefault, "type 2 whose name has no entry of kind 2"},
    {"t4", kBitmap, "type 4 with its entries: the bitmap"},
    {"t4_nosplash", kDefault, "type 4 without SPLASH:6"},
    {"t4_missing", kNone, "type 4 whose bitmap is missing: no splash, not the default"},
    {"t5", kLogo, "type 5 with its entries: the logo script"},
    {"t5_nosplash", kDefault, "type 5 without SPLASH:6"},
    {"t5_missing", kNone, "type 5 whose logo resource is missing"},
    {"t8", kDefault, "type 8 with entries for the name and type 8: still the default"},
    {"t8_nodefault", kNone, "type 8 in a table that lists no 7500: the launcher has none"},
    {"t9", kNone, "type 9 with every entry present"},
    {"t3", kNone, "an unlisted type whose two entries exist"},
    {"t3_noentries", kDefault, "an unlisted type without its entries"},
    {"t255", kNone, "type 255, not a splash type, with both entries"},
    {"t65535", kDefault, "type 65535: no entry has that kind, so the named entry is missing"},
    {"plain", kDefault, "no language table: dialog 7500 of the library"},
    {"bare", kNone, "no language table and no dialog 7500"},
    {"missing", kNone, "no library: the launcher's own resources, no dialog 7500"},
    {"id_letters", kTyped, "value 7600abc: id 7600"},
    {"id_nodigits", kNone, "value without digits: id 0 names no dialog"},
    {"id_large", kNone, "id 73136 is not an integer resource name (7600 + 65536)"},
    {"name_59", kTyped, "a splash name of 59 characters fits"},
    {"name_60", kDefault, "a splash name of 60 characters is refused"},
    {"id_19", kTyped, "an id text of 19 characters fits"},
    {"id_20", kDefault, "an id text of 20 characters is refused"},
};

TEST_F(SplashTest, SelectionTable)
{
    for (const SelectionCase &c : kSelection) {
        SCOPED_TRACE(std::string(c.fixture) + ": " + c.why);
        int open = OpenLibrary(c.fixture);
        EXPECT_EQ(std::string(c.fixture) != "missing", open == 1);
        HWND splash = Create();
        switch (c.expect) {
        case kNone:
            EXPECT_EQ(NULL, splash);
            EXPECT_EQ(0, g_splash.created);
            break;
        case kDefault:
        case kTyped:
            ASSERT_NE((HWND)NULL, splash);
            EXPECT_EQ(SPLASH_MODE_DIALOG, g_splash.mode);
            EXPECT_EQ(c.expect == kDefault ? "DEFAULT" : "TYPED", ItemText(splash, kNameStatic));
            break;
        case kBitmap:
            ASSERT_NE((HWND)NULL, splash);
            EXPECT_EQ(SPLASH_MODE_BITMAP, g_splash.mode);
            break;
        case kLogo:
            ASSERT_NE((HWND)NULL, splash);
            EXPECT_EQ(SPLASH_MODE_LOGO, g_splash.mode);
            EXPECT_NE(nullptr, g_splash.lines);
            break;
        }
        if (splash) {
            EXPECT_TRUE(IsWindowVisible(splash));
            EXPECT_EQ(1, g_splash.created);
            DestroyWindow(splash);
        }
        // Whatever happened, no temporary logo file stays behind.
        EXPECT_FALSE(FileThere(WindowsTempName()));
    }
}

TEST_F(SplashTest, ChooseReadsTheTable)
{
    int type = -2;
    HMODULE module = NULL;
    int id = -2;

    // Not open: no choice.
    EXPECT_EQ(0, SplashChoose(&type, &module, &id));

    ASSERT_EQ(1, OpenLibrary("id_letters"));
    EXPECT_EQ(1, SplashChoose(&type, &module, &id));
    EXPECT_EQ(2, type);
    EXPECT_EQ(7600, id);
    EXPECT_EQ(ResModulePrimary(), module);
    EXPECT_NE((HMODULE)NULL, module);

    ASSERT_EQ(1, OpenLibrary("id_nodigits"));
    EXPECT_EQ(1, SplashChoose(&type, &module, &id));
    EXPECT_EQ(0, id);

    // Type 9 answers without looking anything up: module and id untouched.
    ASSERT_EQ(1, OpenLibrary("t9"));
    module = NULL;
    id = -2;
    EXPECT_EQ(1, SplashChoose(&type, &module, &id));
    EXPECT_EQ(9, type);
    EXPECT_EQ((HMODULE)NULL, module);
    EXPECT_EQ(-2, id);

    // A library without a table: open, splash type -1, no SPLASH entry.
    ASSERT_EQ(1, OpenLibrary("plain"));
    EXPECT_EQ(0, SplashChoose(&type, &module, &id));
    EXPECT_EQ(-1, type);
}

TEST_F(SplashTest, LogoFileIsWrittenThenRemoved)
{
    ASSERT_EQ(1, OpenLibrary("t5"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ(WindowsTempName(), std::string(g_splash.logoPath));
    EXPECT_FALSE(FileThere(g_splash.logoPath));
    // The script was read whole: its first text line is there.
    ASSERT_NE(nullptr, g_splash.lines);
    EXPECT_GT(g_splash.lines->count, 0);
}

TEST_F(SplashTest, ResourceToFile)
{
    std::string library = FixturePath("plain");
    char path[MAX_PATH] = "";

    // A library that does not exist: nothing written, no code.
    EXPECT_EQ(0, ResourceToFile((ExeDir() + "fixtures\\absent.dll").c_str(), 1, RT_LANG_TABLE, kLogoScript, path, sizeof path));
    EXPECT_EQ(0, ResLastError);
    // A resource the library lacks: the same.
    EXPECT_EQ(0, ResourceToFile(library.c_str(), 1, RT_LANG_TABLE, 7999, path, sizeof path));
    EXPECT_EQ(0, ResLastError);
    EXPECT_FALSE(FileThere(WindowsTempName()));

    // A file that cannot be created: -307.
    strcpy(path, "Z:\\no\\such\\directory\\logo.tmp");
    EXPECT_EQ(0, ResourceToFile(library.c_str(), 0, RT_LANG_TABLE, kLogoScript, path, sizeof path));
    EXPECT_EQ(LANG_ERR_WRITE_SPLASH, ResLastError);

    // Success: the Windows directory, one backslash, the name; the bytes of
    // the resource exactly.
    ResLastError = 0;
    char temp[MAX_PATH] = "";
    ASSERT_EQ(1, ResourceToFile(library.c_str(), 1, RT_LANG_TABLE, kLogoScript, temp, sizeof temp));
    EXPECT_EQ(WindowsTempName(), std::string(temp));
    EXPECT_EQ(0, ResLastError);
    HMODULE data = Data("plain");
    HRSRC found = FindResourceA(data, MAKEINTRESOURCEA(kLogoScript), MAKEINTRESOURCEA(RT_LANG_TABLE));
    ASSERT_NE((HRSRC)NULL, found);
    std::string expected((const char *)LockResource(LoadResource(data, found)), SizeofResource(data, found));
    HANDLE file = CreateFileA(temp, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    std::string written(expected.size() + 16, '\0');
    DWORD got = 0;
    ReadFile(file, &written[0], (DWORD)written.size(), &got, NULL);
    CloseHandle(file);
    written.resize(got);
    EXPECT_EQ(expected, written);
    DeleteFileA(temp);
}

// ---------------------------------------------------------------------------
// The window in its modes

TEST_F(SplashTest, DialogModeCentredWithFocusAndFrame)
{
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    Pump();

    RECT r;
    GetWindowRect(splash, &r);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - width) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - height) / 2, r.top);
    EXPECT_EQ(GetDlgItem(splash, kSplashFocusControl), GetFocus());

    HWND marker = GetDlgItem(splash, kSplashFrameMarker);
    ASSERT_NE((HWND)NULL, marker);
    EXPECT_FALSE(IsWindowVisible(marker));

    // The etched frame: a shadow line with a white line one pixel inside
    // and below it, inset by the marker's offset in the client area.
    RECT m;
    GetWindowRect(marker, &m);
    POINT inset = {m.left, m.top};
    ScreenToClient(splash, &inset);
    RECT client;
    GetClientRect(splash, &client);
    const int dx = inset.x, dy = inset.y, w = client.right, h = client.bottom;
    ASSERT_GT(dx, 2);
    ASSERT_GT(dy, 2);
    const COLORREF back = RGB(1, 2, 3);
    const COLORREF white = RGB(255, 255, 255);
    Canvas canvas(w, h, back);
    COLORREF shadow = GetNearestColor(canvas.dc, GetSysColor(COLOR_BTNSHADOW));
    ASSERT_EQ(1, SplashDrawEtchedFrame(splash, canvas.dc));
    for (int x = dx; x <= w - dx - 2; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(shadow, canvas.At(x, dy + 1));        // top shadow line
        EXPECT_EQ(shadow, canvas.At(x, h - dy - 3));    // bottom shadow line
        EXPECT_EQ(back, canvas.At(x, dy));              // nothing above the frame
    }
    for (int x = dx + 1; x <= w - dx - 3; ++x)
        EXPECT_EQ(white, canvas.At(x, dy + 2)) << x;    // top light line
    for (int x = dx; x <= w - dx - 1; ++x)
        EXPECT_EQ(white, canvas.At(x, h - dy - 2)) << x;  // bottom light line
    for (int y = dy + 1; y <= h - dy - 3; ++y) {
        SCOPED_TRACE(y);
        EXPECT_EQ(shadow, canvas.At(dx, y));            // left shadow line
        EXPECT_EQ(shadow, canvas.At(w - dx - 2, y));    // right shadow line
        EXPECT_EQ(back, canvas.At(dx - 1, y));          // nothing left of it
    }
    for (int y = dy + 2; y <= h - dy - 4; ++y)
        EXPECT_EQ(white, canvas.At(dx + 1, y)) << y;    // left light line
    for (int y = dy + 1; y <= h - dy - 2; ++y)
        EXPECT_EQ(white, canvas.At(w - dx - 1, y)) << y;  // right light line
    EXPECT_EQ(back, canvas.At(dx + 2, dy + 3));         // the inside stays
    EXPECT_EQ(back, canvas.At(w - dx, h - dy - 1));     // and the outside

    // WM_PAINT draws the same frame on the screen.
    InvalidateRect(splash, NULL, TRUE);
    UpdateWindow(splash);
    HDC screen = GetDC(splash);
    EXPECT_EQ(shadow, GetPixel(screen, dx, dy + 1));
    EXPECT_EQ(white, GetPixel(screen, dx + 1, dy + 2));
    EXPECT_EQ(white, GetPixel(screen, w - dx - 1, h - dy - 2));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(screen, dx + 3, dy + 4));
    ReleaseDC(splash, screen);
}

TEST_F(SplashTest, DialogModeAnswersWithTheButtonFaceBrush)
{
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    HBRUSH brush = (HBRUSH)g_splash.backBrush;
    ASSERT_NE((HBRUSH)NULL, brush);
    LOGBRUSH info = {};
    GetObjectA(brush, sizeof info, &info);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), info.lbColor);

    RECT client;
    GetClientRect(splash, &client);
    Canvas canvas(client.right, client.bottom, RGB(1, 2, 3));
    EXPECT_EQ((INT_PTR)brush, SplashDlgProc(splash, WM_ERASEBKGND, (WPARAM)canvas.dc, 0));
    COLORREF face = GetNearestColor(canvas.dc, GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(face, canvas.At(0, 0));
    EXPECT_EQ(face, canvas.At(client.right - 1, client.bottom - 1));

    SetTextColor(canvas.dc, RGB(9, 9, 9));
    EXPECT_EQ((INT_PTR)brush,
              SplashDlgProc(splash, WM_CTLCOLORSTATIC, (WPARAM)canvas.dc, (LPARAM)GetDlgItem(splash, 1)));
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(canvas.dc));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetBkColor(canvas.dc));

    EXPECT_EQ((HBRUSH)NULL, SplashCtlColor(SPLASH_MODE_DIALOG, NULL, canvas.dc));
    EXPECT_EQ((HBRUSH)NULL, SplashCtlColor(SPLASH_MODE_BITMAP, brush, canvas.dc));
    EXPECT_EQ((HBRUSH)NULL, SplashCtlColor(SPLASH_MODE_LOGO, brush, canvas.dc));
}

TEST_F(SplashTest, DialogWithoutMarkerOrFocusControl)
{
    HWND splash = Keep(SplashCreateTyped(SPLASH_TYPE_DIALOG, Data("plain"), kBareDialog));
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ("BARE", ItemText(splash, kNameStatic));
    HDC dc = GetDC(splash);
    EXPECT_EQ(0, SplashDrawEtchedFrame(splash, dc));
    ReleaseDC(splash, dc);
    // Without control 1, centring moves no focus.
    SetFocus(NULL);
    EXPECT_EQ(1, SplashCenter(splash));
    EXPECT_EQ((HWND)NULL, GetFocus());
}

TEST_F(SplashTest, BitmapModeFramelessExactSizeCentred)
{
    HWND splash = Keep(SplashCreateTyped(SPLASH_TYPE_BITMAP, Data("plain"), kPatternBitmap));
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ(SPLASH_MODE_BITMAP, g_splash.mode);
    EXPECT_EQ(g_splash.resourceBitmap, g_splash.bitmap);
    Pump();

    LONG style = GetWindowLongA(splash, GWL_STYLE);
    EXPECT_EQ(0, style & WS_DLGFRAME);
    EXPECT_EQ(0, style & WS_BORDER);
    RECT r;
    GetWindowRect(splash, &r);
    EXPECT_EQ(kPatternWidth, r.right - r.left);
    EXPECT_EQ(kPatternHeight, r.bottom - r.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - kPatternWidth) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - kPatternHeight) / 2, r.top);
    RECT client;
    GetClientRect(splash, &client);
    EXPECT_EQ(kPatternWidth, client.right);
    EXPECT_EQ(kPatternHeight, client.bottom);

    // 1:1 at the top left, into a DC of our own and on the screen.
    Canvas canvas(kPatternWidth + 4, kPatternHeight + 4, RGB(1, 2, 3));
    SplashPaint(splash, canvas.dc, SPLASH_MODE_BITMAP, (HBITMAP)g_splash.bitmap, NULL);
    for (const PatternPoint &p : kPattern)
        EXPECT_EQ(p.color, canvas.At(p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(RGB(1, 2, 3), canvas.At(kPatternWidth, kPatternHeight));

    InvalidateRect(splash, NULL, TRUE);
    UpdateWindow(splash);
    HDC screen = GetDC(splash);
    for (const PatternPoint &p : kPattern)
        EXPECT_EQ(p.color, GetPixel(screen, p.x, p.y)) << "screen " << p.x << "," << p.y;
    ReleaseDC(splash, screen);

    // Background and static colours are left to the defaults.
    EXPECT_EQ(FALSE, SplashDlgProc(splash, WM_ERASEBKGND, (WPARAM)canvas.dc, 0));
    EXPECT_EQ(0, SplashDlgProc(splash, WM_CTLCOLORSTATIC, (WPARAM)canvas.dc, 0));
}

TEST_F(SplashTest, LogoModeFailsWithoutAScript)
{
    // No library and a source directory without install.lgo: no splash, and
    // the blocks for the paths exist from here on.
    EXPECT_EQ((HWND)NULL, Create());
    ASSERT_NE(nullptr, g_splash.logoPath);
    lstrcpynA(g_splash.sourceDir, "Z:\\no\\such\\directory\\", kSplashDirBuffer);
    g_splash.logoPath[0] = '\0';
    g_splash.created = 1;
    HWND dialog = Keep(CreateDialogParamA(Own(), MAKEINTRESOURCEA(IDD_SPLASH_FRAME), NULL, SplashDlgProc,
                                          SPLASH_MODE_LOGO));
    EXPECT_EQ(0, g_splash.created);
    if (dialog) {
        EXPECT_FALSE(IsWindowVisible(dialog));
    }
    EXPECT_EQ(nullptr, g_splash.lines);
}

struct UserMessage {
    UINT message;
    WPARAM wParam;
    const char *what;
};
const UserMessage kUserMessages[] = {
    {WM_COMMAND, IDOK, "Enter (IDOK)"},
    {WM_COMMAND, IDCANCEL, "Escape (IDCANCEL)"},
    {WM_CLOSE, 0, "WM_CLOSE"},
    {WM_SYSCOMMAND, SC_CLOSE, "SC_CLOSE"},
};

TEST_F(SplashTest, UserCannotEndTheSplash)
{
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND dialogSplash = Create();
    HWND bitmapSplash = Keep(SplashCreateTyped(SPLASH_TYPE_BITMAP, Data("plain"), kPatternBitmap));
    for (HWND splash : {dialogSplash, bitmapSplash}) {
        ASSERT_NE((HWND)NULL, splash);
        for (const UserMessage &m : kUserMessages) {
            SCOPED_TRACE(m.what);
            SendMessageA(splash, m.message, m.wParam, 0);
            Pump();
            EXPECT_TRUE(IsWindow(splash));
            EXPECT_TRUE(IsWindowVisible(splash));
        }
        // The keys themselves, through the dialog manager.
        for (WPARAM key : {(WPARAM)VK_RETURN, (WPARAM)VK_ESCAPE}) {
            MSG msg = {};
            msg.hwnd = GetDlgItem(splash, 1) ? GetDlgItem(splash, 1) : splash;
            msg.message = WM_KEYDOWN;
            msg.wParam = key;
            IsDialogMessageA(splash, &msg);
            Pump();
            EXPECT_TRUE(IsWindowVisible(splash)) << "key " << key;
        }
    }
}

// ---------------------------------------------------------------------------
// The close message and the minimum display time

struct CloseCase {
    uint32_t base;
    uint32_t arrival;   // tick count when the message comes
    uint32_t end;       // tick count when the wait is over
    const char *why;
};

const CloseCase kCloseCases[] = {
    {100000, 100200, 101500, "200 ms after the time base: waits until base + 1500"},
    {100000, 102000, 102000, "after the minimum: at once"},
    {100000, 101500, 101500, "exactly at the minimum: at once"},
    {0xFFFFFC00u, 0xFFFFFCC8u, 0x000001DCu, "base + 1500 wraps: no early end"},
    {0xFFFFFF00u, 0x00000100u, 0x000004DCu, "the count wrapped since the base: no stretch"},
    {0xFFFFFA24u, 0x00000000u, 0x00000000u, "wrapped, exactly at the minimum"},
};

TEST_F(SplashTest, CloseMessageWaitsForTheMinimum)
{
    ASSERT_EQ(1, OpenLibrary("plain"));   // string 7111 comes from this program: 1500
    EXPECT_EQ(1500u, SplashMinimumTime());
    for (const CloseCase &c : kCloseCases) {
        SCOPED_TRACE(c.why);
        HWND splash = Create();
        ASSERT_NE((HWND)NULL, splash);
        g_splash.window = splash;
        g_splash.closed = 0;
        g_splash.timeBase = c.base;
        UseFakeClock(c.arrival);
        SendMessageA(splash, g_splash.closeMessage, 0x1234, 0x5678);
        EXPECT_EQ(c.end, g_now);
        for (uint32_t step : g_sleeps)
            EXPECT_LE(step, 10u);
        // One look at the clock per sleep, and one more: no spinning.
        EXPECT_EQ((int)g_sleeps.size() + 1, g_tickReads);
        EXPECT_EQ(1, g_splash.closed);
        EXPECT_TRUE(IsWindow(splash));
        EXPECT_FALSE(IsWindowVisible(splash));
        TickSetSource(NULL);
        SplashSetSleeper(NULL);
        DestroyWindow(splash);
    }
}

TEST_F(SplashTest, CloseMessageOnTheRealClockSleeps)
{
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    g_splash.window = splash;
    g_splash.closed = 0;
    g_splash.timeBase = GetTickCount() - 200;

    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    SendMessageA(splash, g_splash.closeMessage, 0, 0);
    uint32_t elapsed = GetTickCount() - g_splash.timeBase;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);

    // Order, not milliseconds: the close waited for the minimum. How much
    // later it returned depends on how busy the machine is.
    EXPECT_GE(elapsed, 1500u);
    auto ms = [](const FILETIME &a, const FILETIME &b) {
        ULARGE_INTEGER x, y;
        x.LowPart = a.dwLowDateTime, x.HighPart = a.dwHighDateTime;
        y.LowPart = b.dwLowDateTime, y.HighPart = b.dwHighDateTime;
        return (double)(y.QuadPart - x.QuadPart) / 10000.0;
    };
    // 1300 ms of waiting cost little processor time: it slept. (A spinning
    // wait costs several hundred ms even on a busy machine.)
    double busy = ms(user0, user1) + ms(kernel0, kernel1);
    EXPECT_LT(busy, 100.0) << "processor time of the wait, ms";
    EXPECT_EQ(1, g_splash.closed);
}

TEST_F(SplashTest, CloseMessageWithoutSplashWindow)
{
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    g_splash.window = NULL;
    g_splash.closed = 0;
    g_splash.timeBase = 100000;
    UseFakeClock(100200);
    SendMessageA(splash, g_splash.closeMessage, 0, 0);
    EXPECT_EQ(100200u, g_now);
    EXPECT_EQ(0, g_tickReads);
    EXPECT_EQ(0, g_splash.closed);
    EXPECT_FALSE(IsWindowVisible(splash));
}

TEST_F(SplashTest, MinimumFromText)
{
    const struct {
        const char *text;
        uint32_t minimum;
    } cases[] = {
        {"1500", 1500},  {"0", 0},          {"30000", 30000},      {"30001", 30000},
        {"-1", 30000},   {"-30000", 30000}, {"4294967295", 30000}, {"", 0},
        {"soon", 0},     {"  250 ms", 250}, {"+700", 700},         {"12abc", 12},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.minimum, SplashMinimumFromText(c.text)) << '"' << c.text << '"';
}

TEST_F(SplashTest, MinimumFromTheLibraryString)
{
    // Probing libraries that carry string 7111: the wait runs to the minimum
    // they give (on the test clock; nobody waits 30 s).
    const struct {
        const char *fixture;
        uint32_t minimum;
    } cases[] = {
        {"min_big", 30000},
        {"min_negative", 30000},
        {"min_nodigits", 0},
        {"min_spaces", 800},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fixture);
        ASSERT_EQ(1, OpenLibrary(c.fixture));
        EXPECT_EQ(c.minimum, SplashMinimumTime());
        HWND splash = Keep(SplashCreateTyped(SPLASH_TYPE_BITMAP, Data("plain"), kPatternBitmap));
        ASSERT_NE((HWND)NULL, splash);
        g_splash.window = splash;
        g_splash.closed = 0;
        g_splash.timeBase = 500;
        UseFakeClock(500);
        SendMessageA(splash, g_splash.closeMessage, 0, 0);
        EXPECT_EQ(500 + c.minimum, g_now);
        EXPECT_EQ(1, g_splash.closed);
        TickSetSource(NULL);
        SplashSetSleeper(NULL);
    }
}

// ---------------------------------------------------------------------------
// WM_DESTROY

TEST_F(SplashTest, DestroyFreesWhatTheDialogHolds)
{
    // Mode 1: only the brush.
    ASSERT_EQ(1, OpenLibrary("plain"));
    HWND splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    HGDIOBJ brush = g_splash.backBrush;
    EXPECT_EQ(OBJ_BRUSH, GetObjectType(brush));
    EXPECT_EQ(nullptr, g_splash.bitmap);
    DestroyWindow(splash);
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_EQ(nullptr, g_splash.backBrush);

    // Mode 3: the brush and the bitmap.
    splash = Keep(SplashCreateTyped(SPLASH_TYPE_BITMAP, Data("plain"), kPatternBitmap));
    ASSERT_NE((HWND)NULL, splash);
    brush = g_splash.backBrush;
    HGDIOBJ bitmap = g_splash.bitmap;
    EXPECT_EQ(OBJ_BITMAP, GetObjectType(bitmap));
    DestroyWindow(splash);
    EXPECT_EQ(0u, GetObjectType(brush));
    EXPECT_EQ(0u, GetObjectType(bitmap));
    EXPECT_EQ(nullptr, g_splash.bitmap);

    // Mode 2: the brush, the lines and their pool.
    ASSERT_EQ(1, OpenLibrary("t5"));
    splash = Create();
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_NE(nullptr, g_splash.lines);
    EXPECT_NE(0, g_splash.linePool);
    // The list header is a memory block: its global handle sits in front.
    HGLOBAL header = *(HGLOBAL *)((char *)g_splash.lines - kBlockHeaderSize);
    EXPECT_NE(GMEM_INVALID_HANDLE, GlobalFlags(header));
    DestroyWindow(splash);
    EXPECT_EQ(nullptr, g_splash.lines);
    EXPECT_EQ(0, g_splash.linePool);
    EXPECT_EQ(nullptr, g_splash.backBrush);
    EXPECT_EQ((UINT)GMEM_INVALID_HANDLE, GlobalFlags(header));
}

// ---------------------------------------------------------------------------
// The launcher's timer rule with a splash

struct TimerCase {
    bool splash;
    bool closedAt;      // splash closed before the first tick
    int quitTick;       // the tick that posts the quit message
    const char *why;
};

bool QuitPosted()
{
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE))
        quit = true;
    return quit;
}

TEST_F(SplashTest, TimerEndsTheLauncher)
{
    const TimerCase cases[] = {
        {false, false, 1, "no splash: the first tick"},
        {true, true, 1, "splash closed: the next tick"},
        {true, false, 9, "never told to close: the ninth tick"},
    };
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = Own();
    wc.lpszClassName = "SplashTestCapture";
    RegisterClassA(&wc);
    for (const TimerCase &c : cases) {
        SCOPED_TRACE(c.why);
        HWND holder = CreateWindowExA(0, "SplashTestCapture", "", WS_POPUP, 0, 0, 0, 0, NULL, NULL, Own(), NULL);
        ASSERT_NE((HWND)NULL, holder);
        SetCapture(holder);
        g_splash.window = c.splash ? holder : NULL;
        g_splash.closed = c.closedAt ? 1 : 0;
        g_launcher.timerTicks = 0;
        g_launcher.launchTime = 0x7FFFF000u;
        UseFakeClock(g_launcher.launchTime);
        int quitAt = 0;
        for (int tick = 1; tick <= 9 && !quitAt; ++tick) {
            g_now = g_launcher.launchTime + 15000u * (uint32_t)tick;
            LauncherWndProc(holder, WM_TIMER, kLaunchTimerId, 0);
            // The capture is kept through the first tick and released at the second.
            if (tick == 1) {
                EXPECT_EQ(holder, GetCapture());
            }
            if (tick == 2) {
                EXPECT_EQ((HWND)NULL, GetCapture());
            }
            if (QuitPosted())
                quitAt = tick;
        }
        EXPECT_EQ(c.quitTick, quitAt);
        ReleaseCapture();
        DestroyWindow(holder);
        TickSetSource(NULL);
        SplashSetSleeper(NULL);
    }
    g_splash.window = NULL;
}

}  // namespace

// ---------------------------------------------------------------------------
// Screenshots of each kind of splash (tests/splash/shots.sh drives this: it
// photographs the screen whenever a splash is up). Skipped unless
// CORVANE_SHOT_DIR names the folder for the handshake files.
namespace {

std::string EnvText(const char *name)
{
    char value[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? value : "";
}

std::string WindowsForm(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path;
}

// Shows the splash until the photographer has taken it.
void Photograph(const std::string &dir, const char *kind, HWND splash)
{
    ASSERT_NE((HWND)NULL, splash) << kind;
    SetWindowPos(splash, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    InvalidateRect(splash, NULL, TRUE);
    UpdateWindow(splash);
    Pump();
    Sleep(300);
    Pump();
    HANDLE ready = CreateFileA((dir + "ready-" + kind).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(ready);
    std::string done = dir + "done-" + kind;
    for (int i = 0; i < 600 && !FileThere(done); ++i) {
        Pump();
        Sleep(50);
    }
    EXPECT_TRUE(FileThere(done)) << "no photograph of " << kind;
    DestroyWindow(splash);
    Pump();
}

}  // namespace

TEST_F(SplashTest, Screenshots)
{
    std::string dir = EnvText("CORVANE_SHOT_DIR");
    if (dir.empty())
        GTEST_SKIP() << "CORVANE_SHOT_DIR not set";
    dir = WindowsForm(dir);
    // The sample library's splashes when it is given, else the fixtures'.
    std::string sample = EnvText("CORVANE_SHOT_LIBRARY");
    if (!sample.empty()) {
        std::string path = WindowsForm(sample);
        path.pop_back();
        ResModuleClose();
        ASSERT_EQ(1, ResModuleOpen(Own(), 1, path.c_str(), "")) << path;
        HMODULE library = ResModulePrimary();
        Photograph(dir, "dialog", SplashCreateTyped(SPLASH_TYPE_DIALOG, library, IDD_SPLASH_DEFAULT));
        Photograph(dir, "bitmap", SplashCreateTyped(SPLASH_TYPE_BITMAP, library, kSampleBitmap));
        Photograph(dir, "logo", SplashCreateTyped(SPLASH_TYPE_LOGO, library, kSampleLogo));
        return;
    }
    HMODULE library = Data("plain");
    Photograph(dir, "dialog", SplashCreateTyped(SPLASH_TYPE_DIALOG, library, IDD_SPLASH_DEFAULT));
    Photograph(dir, "bitmap", SplashCreateTyped(SPLASH_TYPE_BITMAP, library, kPatternBitmap));
    ASSERT_EQ(1, OpenLibrary("t5"));
    Photograph(dir, "logo", Create());
}
