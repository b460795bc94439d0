// Libraries in East Asian languages, made by `medium library`, under the
// locales they serve: the box shows caption and text exactly (compared in
// the user's ANSI code page, converted here by Windows itself from the UTF-8
// the description holds), and the screen shows them as drawn with a font
// that has their characters (not as empty boxes). CORVANE_E2E_CJK names the
// language tag, CORVANE_E2E_CJK_LIBRARY the library.
#include "tests/e2e/e2e_support.h"

#include <string.h>

namespace {

struct Language {
    const char *tag;
    LCID lcid;
    UINT codePage;
    const char *caption;   // UTF-8
    const char *message;   // 7061, UTF-8, before the path goes in
    const char *face;      // the logo script's line, when the library has a text splash
    int height;
    const char *logoLine;  // UTF-8
};

const Language kLanguages[] = {
    {"ja", 1041, 932, "セットアップ表示",
     "インストール スクリプトが見つかりません:\n\n%s\n\n表示できる能力をポートで確認してください。", "MS Gothic", 32,
     "日本語のセットアップ表示"},
    {"zh-hans", 2052, 936, "安装程序",
     "找不到安装脚本:\n\n%s\n\n请确认安装介质的所有文件都在, 然后重新运行安装程序。乗", "SimSun", 32,
     "正在准备安装程序乗"},
    {"zh-hant", 1028, 950, "安裝程式",
     "找不到安裝指令碼:\n\n%s\n\n請確認安裝媒體的所有檔案都在, 許功中, 然後重新執行安裝程式。", nullptr, 0, nullptr},
    {"ko", 1042, 949, "설치 프로그램",
     "설치 스크립트를 찾을 수 없습니다:\n\n%s\n\n설치 미디어의 모든 파일이 있는지 확인한 다음 설치 프로그램을 다시 "
     "실행하십시오.", nullptr, 0, nullptr},
};

const Language *Current() {
    const std::string tag = rig::EnvOr("CORVANE_E2E_CJK", "");
    for (const Language &l : kLanguages) {
        if (tag == l.tag)
            return &l;
    }
    return nullptr;
}

// UTF-8 to the ANSI code page, by Windows' own tables.
std::string Ansi(const char *utf8) {
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    std::wstring w(size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &w[0], wide);
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, nullptr, 0, nullptr, &lossy);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n) - 1);
    return lossy ? std::string() : out;
}

size_t Differing(const rig::Ink &a, const rig::Ink &b) {
    size_t n = 0;
    for (size_t i = 0; i < a.dark.size() && i < b.dark.size(); i++)
        n += a.dark[i] != b.dark[i];
    return n;
}

TEST(CjkLibrary, BoxShowsTheTextsExactlyAndDrawsThem) {
    E2E_REQUIRE_LAUNCHER();
    const Language *lang = Current();
    ASSERT_NE(lang, nullptr) << "CORVANE_E2E_CJK names no language of the table";
    ASSERT_EQ(GetUserDefaultLCID(), lang->lcid) << "LC_ALL not followed";
    ASSERT_EQ(GetACP(), lang->codePage) << "LC_ALL not followed";
    const std::string library = rig::WinPath(rig::EnvOr("CORVANE_E2E_CJK_LIBRARY", ""));
    const std::string caption = Ansi(lang->caption), message = Ansi(lang->message);
    ASSERT_FALSE(caption.empty() || message.empty()) << "the code page cannot hold the expected texts";

    const e2e::Case c = e2e::PrepareCase(e2e::kLauncher);   // no script: box 7061
    ASSERT_TRUE(rig::CopyFileTo(library, c.medium + "_SETUP.DLL")) << library;
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    launch.captureBoxText = true;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    const rig::Box &box = r.run.boxes[0];
    EXPECT_EQ(box.caption, caption);
    const std::string text = e2e::FormatBoxText(message, c.medium + "SETUP.INS/INSTALL.INS");
    EXPECT_EQ(box.text, text);

    // The picture: the launcher's box against a box this program shows with
    // the same texts, drawn by Windows with a font that has the characters.
    ASSERT_GT(box.textInk.width, 0) << "the box's text was not captured";
    rig::Ink want;
    LOGFONTA font = {};
    ASSERT_TRUE(rig::OwnBoxText(caption, text, 10000, &want, &font)) << "no box of our own was drawn";
    std::string why;
    ASSERT_TRUE(rig::FontDrawsEachCharacter(font, message, &why)) << why;
    EXPECT_EQ(box.textInk.width, want.width);
    EXPECT_EQ(box.textInk.height, want.height);
    EXPECT_TRUE(box.textInk.dark == want.dark) << Differing(box.textInk, want)
                                               << " pixels differ from the text drawn by Windows";
}

struct SplashFinder {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK FindSplash(HWND window, LPARAM context) {
    SplashFinder &f = *reinterpret_cast<SplashFinder *>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (pid == f.pid && strcmp(cls, "#32770") == 0 && IsWindowVisible(window) && !GetDlgItem(window, 0xFFFF)) {
        f.window = window;
        return FALSE;
    }
    return TRUE;
}

// The text splash draws the logo script's line in the user's code page: the
// line, drawn here with the same font, stands in the splash's picture.
TEST(CjkLibrary, TextSplashDrawsTheLineInTheUsersCodePage) {
    E2E_REQUIRE_LAUNCHER();
    const Language *lang = Current();
    ASSERT_NE(lang, nullptr) << "CORVANE_E2E_CJK names no language of the table";
    if (lang->logoLine == nullptr)
        GTEST_SKIP() << "this library has no text splash";
    const std::string line = Ansi(lang->logoLine);
    LOGFONTA font = {};
    font.lfHeight = lang->height;
    font.lfWeight = 700;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = 0x20;
    lstrcpynA(font.lfFaceName, lang->face, LF_FACESIZE);
    std::string why;
    ASSERT_TRUE(rig::FontDrawsEachCharacter(font, line, &why)) << why;
    const rig::Ink want = rig::DrawLineInk(font, line);
    ASSERT_GT(want.width, 0);

    const e2e::Case c = e2e::PrepareCase(e2e::kFullMedium);
    ASSERT_TRUE(rig::CopyFileTo(rig::WinPath(rig::EnvOr("CORVANE_E2E_CJK_LIBRARY", "")), c.medium + "_SETUP.DLL"));
    rig::Ink seen;
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    launch.waitForExit = true;
    // Photographed once drawn: two looks that agree and show ink.
    launch.stopWhen = [&](const rig::Run &run) {
        SplashFinder f{run.pid, nullptr};
        EnumWindows(FindSplash, reinterpret_cast<LPARAM>(&f));
        if (f.window != nullptr && !rig::InkContains(seen, want)) {
            const rig::Ink now = rig::CaptureInk(f.window);
            if (!rig::InkContains(seen, want))
                seen = now;
        }
        return false;
    };
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    EXPECT_TRUE(r.run.splashSeen);
    ASSERT_GT(seen.width, 0) << "the splash was not photographed";
    EXPECT_TRUE(rig::InkContains(seen, want)) << "the splash does not show the line as " << lang->face
                                              << " draws it in code page " << lang->codePage;
}

}  // namespace
