// The text splash end to end under Wine: a type-5 splash copies its logo
// script out of the library into the Windows directory, reads it (or
// "install.lgo" of the source directory when the copy cannot be opened),
// draws it, and removes the copy. The sample library's own script is
// rendered and kept as a picture (artifacts/splash-text.bmp).
//
// This program's own resources stand for the launcher's (dialog 7501); the
// libraries in fixtures\ are the splash tests' (t5: logo script 7800 named
// by a type-5 table; plain: no dialog 7501).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/ids.h"
#include "base/platform.h"
#include "base/text.h"
#include "resmodule/langtable.h"
#include "resmodule/resmodule.h"
#include "splash/logo.h"
#include "splash/orderedlist.h"
#include "splash/splash.h"
#include "splash/splash_state.h"
#include "splash/splashdlg.h"
#include "tests/win/gdi_canvas.h"

namespace {

enum {
    kFixtureLogo = 7800,   // the t5 fixture's script (tests/splash/logo.lgo)
    kSampleLogo = 7520,    // the sample library's script (sample/library/logo.lgo)
    kSentinel = -12345,    // a ResLastError that nothing here should touch
};

// The sample script's colours.
constexpr COLORREF kSampleBack = RGB(32, 72, 128);
constexpr COLORREF kSampleText = RGB(244, 214, 128);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

std::string ExeDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\') + 1);
}

std::string FixturePath(const std::string &name) { return ExeDir() + "fixtures\\" + name + ".dll"; }

// A path of the build tree given at compile time ("/work/..."), as Wine sees it.
std::string BuildPath(const char *unixPath)
{
    std::string s = std::string("Z:") + unixPath;
    for (char &c : s)
        if (c == '/')
            c = '\\';
    return s;
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

bool WriteAll(const std::string &path, const std::string &content)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &put, NULL);
    CloseHandle(file);
    return put == content.size();
}

void Pump()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Rows of the picture that hold the colour, as runs [top, bottom).
std::vector<std::pair<int, int>> RowRuns(const Canvas &c, COLORREF color)
{
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < c.height; ++y) {
        if (!c.RowHas(y, color))
            continue;
        if (!runs.empty() && runs.back().second == y)
            runs.back().second = y + 1;
        else
            runs.push_back({y, y + 1});
    }
    return runs;
}

class LogoSplash : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResModuleClose();
        g_splash.instance = GetModuleHandleA(NULL);
        g_splash.window = NULL;
        // The blocks of the paths, as SplashCreate makes them.
        if (!g_splash.sourceDir)
            g_splash.sourceDir = (char *)BlockAlloc(1, kSplashDirBuffer);
        if (!g_splash.logoPath)
            g_splash.logoPath = (char *)BlockAlloc(1, kPathBuffer);
        ASSERT_NE(nullptr, g_splash.sourceDir);
        ASSERT_NE(nullptr, g_splash.logoPath);
        g_splash.logoPath[0] = '\0';
        // A source directory of our own, with no install.lgo unless a test
        // writes one.
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        dir_ = std::string(temp) + "corvane-logo-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir_.c_str(), NULL);
        TextCopy(g_splash.sourceDir, kSplashDirBuffer, dir_.c_str());
        DeleteFileA(WindowsTempName().c_str());
        ResLastError = kSentinel;
    }
    void TearDown() override
    {
        for (HWND w : windows_)
            if (IsWindow(w))
                DestroyWindow(w);
        ResModuleClose();
        g_splash.instance = GetModuleHandleA(NULL);
        if (data_)
            FreeLibrary(data_);
        DeleteFileA((dir_ + "install.lgo").c_str());
        DeleteFileA((dir_ + "library.dll").c_str());
        DeleteFileA((dir_ + "moved.dll").c_str());
        RemoveDirectoryA(dir_.c_str());
        RemoveDirectoryA(WindowsTempName().c_str());
        DeleteFileA(WindowsTempName().c_str());
        Pump();
    }
    int OpenLibrary(const std::string &path)
    {
        ResModuleClose();
        return ResModuleOpen(GetModuleHandleA(NULL), 1, path.c_str(), "");
    }
    HWND Keep(HWND w)
    {
        if (w)
            windows_.push_back(w);
        return w;
    }
    HWND CreateLogo(int id) { return Keep(SplashCreateTyped(SPLASH_TYPE_LOGO, ResModulePrimary(), id)); }
    std::string FirstText()
    {
        for (void *r = ListFirst(g_splash.lines); r; r = ListNext(g_splash.lines))
            if (((LogoLine *)r)->kind == LOGO_TEXT)
                return ((LogoLine *)r)->text;
        return "<none>";
    }

    std::string dir_;
    std::vector<HWND> windows_;
    HMODULE data_ = NULL;
};

// ---------------------------------------------------------------------------
// The sample medium's script

TEST_F(LogoSplash, SampleScriptIsDrawnCentredInItsColoursFontsAndRaised)
{
    ASSERT_EQ(1, OpenLibrary(BuildPath(CORVANE_SAMPLE_LIBRARY)));
    HWND splash = CreateLogo(kSampleLogo);
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ(SPLASH_MODE_LOGO, g_splash.mode);
    EXPECT_TRUE(IsWindowVisible(splash));
    EXPECT_FALSE(FileThere(WindowsTempName()));
    EXPECT_EQ(kSentinel, ResLastError);

    // The script's directives.
    EXPECT_EQ(kSampleBack, g_splash.backColor);
    EXPECT_EQ(kSampleText, g_splash.textColor);
    EXPECT_EQ(1, g_splash.raised);

    // Centred on the screen, and sized to the text.
    RECT r;
    GetWindowRect(splash, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - w) / 2, r.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - h) / 2, r.top);
    int sum = 0, widest = 0;
    for (void *p = ListFirst(g_splash.lines); p; p = ListNext(g_splash.lines)) {
        const LogoLine *line = (const LogoLine *)p;
        if (line->kind != LOGO_TEXT)
            continue;
        sum += 9 * line->height / 8;
        widest = std::max(widest, 6 * line->width / 5);
    }
    EXPECT_EQ(5 * widest / 4, w);
    EXPECT_EQ(sum + 2 * GetSystemMetrics(SM_CYDLGFRAME), h);
    EXPECT_GT(w, 200);

    // The picture of the whole window, frame included, as it is on the screen.
    InvalidateRect(splash, NULL, TRUE);
    UpdateWindow(splash);
    Canvas shot(w, h);
    HDC window = GetWindowDC(splash);
    BitBlt(shot.dc, 0, 0, w, h, window, 0, 0, SRCCOPY);
    ReleaseDC(splash, window);
    std::string artifacts = BuildPath(CORVANE_ARTIFACT_DIR);
    CreateDirectoryA(artifacts.c_str(), NULL);
    EXPECT_TRUE(shot.Save(artifacts + "\\splash-text.bmp"));

    // Drawn into a picture: the background all round, each line centred.
    RECT client;
    GetClientRect(splash, &client);
    Canvas canvas(client.right, client.bottom);
    SplashPaint(splash, canvas.dc, SPLASH_MODE_LOGO, NULL, g_splash.lines);
    GdiFlush();
    for (int x = 0; x < canvas.width; ++x) {
        EXPECT_EQ(kSampleBack, canvas.At(x, 0)) << x;
        EXPECT_EQ(kSampleBack, canvas.At(x, canvas.height - 1)) << x;
    }
    for (int y = 0; y < canvas.height; ++y) {
        EXPECT_EQ(kSampleBack, canvas.At(0, y)) << y;
        EXPECT_EQ(kSampleBack, canvas.At(canvas.width - 1, y)) << y;
    }
    // Three lines of text: "Corvane Setup" in the big font, "Version 1.0" in
    // the small one, "Preparing the installation..." in the small one too.
    std::vector<std::pair<int, int>> lines = RowRuns(canvas, kSampleText);
    ASSERT_EQ(3u, lines.size());
    const int first = lines[0].second - lines[0].first;
    const int second = lines[1].second - lines[1].first;
    const int third = lines[2].second - lines[2].first;
    EXPECT_GT(first, 2 * second) << "the title's font is the large one";
    EXPECT_LT(3 * third, 2 * first) << "the small font stays in force";
    for (const auto &band : lines) {
        SCOPED_TRACE(band.first);
        int left = canvas.width, right = -1;
        bool light = false, shade = false;
        for (int y = band.first - 1; y <= band.second; ++y)
            for (int x = 0; x < canvas.width; ++x) {
                COLORREF c = canvas.At(x, y);
                if (c == kSampleText) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
                light |= c == kWhite;
                shade |= c == kBlack;
            }
        // Centred: as much room left as right, give or take the glyphs'
        // side bearings.
        EXPECT_NEAR(left, canvas.width - 1 - right, 6);
        // Raised: the light edge above left, the shade below right.
        EXPECT_TRUE(light);
        EXPECT_TRUE(shade);
    }

    // The window shows the same (WM_PAINT reaches the logo painter).
    InvalidateRect(splash, NULL, TRUE);
    UpdateWindow(splash);
    HDC screen = GetDC(splash);
    EXPECT_EQ(kSampleBack, GetPixel(screen, 2, 2));
    EXPECT_EQ(kSampleBack, GetPixel(screen, client.right - 3, client.bottom - 3));
    int textOnScreen = 0;
    for (int x = 0; x < client.right; ++x)
        textOnScreen += GetPixel(screen, x, (lines[0].first + lines[0].second) / 2) == kSampleText;
    EXPECT_GT(textOnScreen, 0);
    ReleaseDC(splash, screen);
}

// ---------------------------------------------------------------------------
// The temporary copy

TEST_F(LogoSplash, CopyIsRemovedWhenTheDialogFails)
{
    // The launcher's module lacks dialog 7501: the copy was made, the dialog
    // is not, and the copy goes all the same.
    ASSERT_EQ(1, OpenLibrary(FixturePath("t5")));
    data_ = LoadLibraryExA(FixturePath("plain").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE((HMODULE)NULL, data_);
    g_splash.instance = data_;
    EXPECT_EQ((HWND)NULL, CreateLogo(kFixtureLogo));
    EXPECT_EQ(0, g_splash.created);
    EXPECT_EQ(WindowsTempName(), std::string(g_splash.logoPath));
    EXPECT_FALSE(FileThere(WindowsTempName()));
    EXPECT_EQ(kSentinel, ResLastError);
}

TEST_F(LogoSplash, InstallLgoIsReadWhenTheCopyCannotBeOpened)
{
    // The dialog of a type-5 splash reads the file that the copy named; when
    // that cannot be opened (here: it is gone), install.lgo of the source
    // directory is drawn instead. (Through SplashCreateTyped the copy cannot
    // be made unreadable: OpenFile creates it asking to read as well, with
    // the same sharing as the reader, so whatever stops the reader stops the
    // copy first.)
    ASSERT_TRUE(WriteAll(dir_ + "install.lgo", "#background=1,2,3\r\n<Tahoma,30>Fallback script\r\n\r\n"));
    TextCopy(g_splash.logoPath, kPathBuffer, WindowsTempName().c_str());
    ASSERT_FALSE(FileThere(WindowsTempName()));
    g_splash.created = 0;
    HWND splash = Keep(CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SPLASH_FRAME), NULL, SplashDlgProc,
                                          SPLASH_MODE_LOGO));
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ(1, g_splash.created);
    EXPECT_TRUE(IsWindowVisible(splash));
    EXPECT_EQ("Fallback script", FirstText());
    EXPECT_EQ(RGB(1, 2, 3), g_splash.backColor);
    RECT r;
    GetWindowRect(splash, &r);
    EXPECT_GT(r.right - r.left, 100) << "sized to the fallback's text";

    // With the copy there, the copy is read and not the fallback.
    DestroyWindow(splash);
    ASSERT_TRUE(WriteAll(WindowsTempName(), "The copy\n"));
    splash = Keep(CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SPLASH_FRAME), NULL, SplashDlgProc,
                                     SPLASH_MODE_LOGO));
    ASSERT_NE((HWND)NULL, splash);
    EXPECT_EQ("The copy", FirstText());
    EXPECT_EQ(RGB(255, 255, 255), g_splash.backColor);
}

TEST_F(LogoSplash, CopyThatCannotBeWrittenSetsItsCodeAndShowsNoSplash)
{
    // A directory stands where the copy would go. install.lgo is there, but
    // a failed copy is no splash: the fallback is for reading only.
    ASSERT_TRUE(WriteAll(dir_ + "install.lgo", "Fallback script\n"));
    ASSERT_TRUE(CreateDirectoryA(WindowsTempName().c_str(), NULL));
    ASSERT_EQ(1, OpenLibrary(FixturePath("t5")));
    EXPECT_EQ((HWND)NULL, CreateLogo(kFixtureLogo));
    EXPECT_EQ(LANG_ERR_WRITE_SPLASH, ResLastError);
    DWORD attributes = GetFileAttributesA(WindowsTempName().c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << "the directory is left alone";
}

TEST_F(LogoSplash, LibraryFileThatDoesNotExistLeavesTheCodeAlone)
{
    // The module was opened from a copy of the library that is gone by the
    // time the splash is made.
    const std::string library = dir_ + "library.dll";
    ASSERT_TRUE(CopyFileA(FixturePath("t5").c_str(), library.c_str(), FALSE));
    ASSERT_EQ(1, OpenLibrary(library));
    ASSERT_NE((HMODULE)NULL, ResModulePrimary());
    // The library is mapped: renaming takes its name away at once, where
    // deleting would wait for the last handle.
    ASSERT_TRUE(MoveFileA(library.c_str(), (dir_ + "moved.dll").c_str())) << GetLastError();
    ASSERT_FALSE(FileThere(library));

    EXPECT_EQ((HWND)NULL, CreateLogo(kFixtureLogo));
    EXPECT_EQ(kSentinel, ResLastError);
    EXPECT_FALSE(FileThere(WindowsTempName()));
    ResModuleClose();
    DeleteFileA((dir_ + "moved.dll").c_str());

    // No library at all: the same.
    ASSERT_EQ(0, OpenLibrary(dir_ + "absent.dll"));
    EXPECT_EQ((HWND)NULL, CreateLogo(kFixtureLogo));
    EXPECT_EQ(kSentinel, ResLastError);
}

}  // namespace
