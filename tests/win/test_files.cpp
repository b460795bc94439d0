// Windows-only helpers: FileExists against a real directory, the ANSI names
// of paths the system gives in UTF-16, and the error box watcher that the
// shared tests rely on.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/files.h"
#include "base/text.h"
#include "tests/unit/error_boxes.h"

namespace {

// A fresh directory under TEMP holding SETUP.INS and a SUB directory.
class FileExistsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        DWORD n = GetTempPathA(sizeof temp, temp);
        ASSERT_TRUE(n > 0 && n < sizeof temp);
        dir_ = std::string(temp) + "cvfiles" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((dir_ + "\\SUB").c_str(), nullptr));
        HANDLE f = CreateFileA((dir_ + "\\SETUP.INS").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        CloseHandle(f);
    }

    void TearDown() override
    {
        DeleteFileA((dir_ + "\\SETUP.INS").c_str());
        RemoveDirectoryA((dir_ + "\\SUB").c_str());
        RemoveDirectoryA(dir_.c_str());
    }

    std::string dir_;
};

TEST_F(FileExistsTest, NamesWildcardsAndDirectories)
{
    struct Case {
        std::string name;
        int exists;
    };
    const Case cases[] = {
        {"\\SETUP.INS", 1},
        {"\\setup.ins", 1},
        {"\\INSTALL.INS", 0},
        {"\\*.INS", 1},           // any match counts
        {"\\SETUP.IN?", 1},
        {"\\*.XYZ", 0},
        {"\\SUB", 1},             // a directory counts as existing
        {"", 1},                  // the directory itself
        {"\\SUB\\NOTHING", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.exists, FileExists((dir_ + c.name).c_str())) << c.name;
    EXPECT_EQ(0, FileExists((dir_ + "-missing").c_str()));
}

// The shared tests count boxes through the watcher; make sure it sees a box,
// reads its text and closes it, once per box.
TEST(ErrorBoxWatcher, ReadsAndClosesEachBox)
{
    ErrorBoxes boxes;
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "first box", "test", MB_OK | MB_ICONERROR));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "second box", "test", MB_OK | MB_ICONERROR));
    ASSERT_EQ(2, boxes.Count());
    EXPECT_EQ("first box", boxes.Text(0));
    EXPECT_EQ("second box", boxes.Text(1));
}

// A name is kept only when every character survives the trip to the code
// page and back: a letter the code page lacks, or one it would only replace
// by a look-alike, makes the name unusable as it is. The code pages are named
// here, so the cases do not depend on the locale the tests run in.
TEST(WidePathDecision, KeepsANameOnlyWhenItRoundTrips)
{
    struct Case {
        unsigned codePage;
        const wchar_t *name;
        const char *ansi;  // the bytes expected when kept; null: not kept
        const char *why;
    };
    const Case cases[] = {
        {1252, L"C:\\Setup\\Disk1", "C:\\Setup\\Disk1", "ASCII"},
        {1252, L"C:\\Gr\u00f6\u00dfe Ordner", "C:\\Gr\xf6\xdf" "e Ordner", "German letters are in 1252"},
        {1252, L"C:\\\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430", nullptr, "Cyrillic is not"},
        {1252, L"C:\\\u30bb\u30c3\u30c8\u30a2\u30c3\u30d7", nullptr, "nor kana"},
        {1252, L"C:\\\u0100rvalstis", nullptr, "best fit would turn A-macron into A: another folder"},
        {1252, L"C:\\x\u2033y", nullptr, "nor the double prime (best fit: a quote)"},
        {1252, L"C:\\\xd800x", nullptr, "a lone surrogate"},
        {932, L"C:\\\u30bd\u30d5\u30c8", "C:\\\x83\x5c\x83\x74\x83\x67", "kana are in 932; the first trail byte is a backslash"},
        {932, L"C:\\\u0391\u0392\u0393", "C:\\\x83\x9f\x83\xa0\x83\xa1", "Greek capitals are in 932"},
        {932, L"C:\\\u0395\u03b3\u03ba\u03b1\u03c4\u03ac\u03c3\u03c4\u03b1\u03c3\u03b7", nullptr,
         "accented Greek is not"},
        {932, L"C:\\\u00a5", nullptr, "best fit would turn the yen sign into a backslash"},
        {932, L"C:\\\u00e9t\u00e9", nullptr, "nor Western accents"},
        {65001, L"C:\\\u0423\u30bd", "C:\\\xd0\xa3\xe3\x82\xbd", "UTF-8 holds every character"},
        {65001, L"C:\\\xd800x", nullptr, "but not a lone surrogate"},
    };
    for (const Case &c : cases) {
        char out[64];
        memset(out, 'x', sizeof out);
        const int kept = WideNameToCodePage(c.codePage, c.name, out, sizeof out);
        EXPECT_EQ(c.ansi != nullptr, kept != 0) << c.codePage << ": " << c.why;
        if (c.ansi && kept) {
            EXPECT_EQ(std::string(c.ansi), std::string(out)) << c.codePage << ": " << c.why;
        }
    }
}

TEST(WidePathDecision, ANameThatDoesNotFitIsNotKept)
{
    const struct {
        unsigned codePage;
        const wchar_t *name;
        size_t cap;
        int kept;
    } cases[] = {
        {1252, L"C:\\ab", 6, 1},
        {1252, L"C:\\ab", 5, 0},  // no room for the terminator
        {932, L"C:\\\u30bd", 6, 1},
        {932, L"C:\\\u30bd", 5, 0},  // half a character would be written
        {65001, L"C:\\\u30bd", 7, 1},
        {65001, L"C:\\\u30bd", 6, 0},
    };
    for (const auto &c : cases) {
        char out[16];
        EXPECT_EQ(c.kept, WideNameToCodePage(c.codePage, c.name, out, c.cap) != 0) << c.codePage << " " << c.cap;
    }
}

// AnsiPathFromWide on real folders, in the code page of the locale the test
// runs in: a folder name that the code page holds stays long; one it lacks
// becomes the short name, which must name the same folder and hold no '?'.
// Runs under the locales of the win.unit.widepaths entries.
class WidePathFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        DWORD n = GetTempPathW(MAX_PATH, temp);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        root_ = std::wstring(temp) + L"cvwide" + std::to_wstring(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override
    {
        for (const std::wstring &dir : made_)
            RemoveDirectoryW(dir.c_str());
        RemoveDirectoryW(root_.c_str());
    }
    // Makes root\name; false when the file system cannot hold the name (a
    // Unix locale without the characters).
    bool Make(const std::wstring &name, std::wstring &path)
    {
        path = root_ + L"\\" + name;
        if (!CreateDirectoryW(path.c_str(), nullptr))
            return false;
        made_.push_back(path);
        WIN32_FIND_DATAW found;
        HANDLE h = FindFirstFileW(path.c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        FindClose(h);
        return name == found.cFileName;
    }
    static std::string Ansi(const std::wstring &wide)
    {
        char out[MAX_PATH * 2];
        int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, out, sizeof out, nullptr, nullptr);
        return n > 0 ? std::string(out) : std::string();
    }
    static std::wstring Long(const std::string &ansi)
    {
        wchar_t wide[MAX_PATH];
        wchar_t longPath[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide, MAX_PATH) == 0)
            return L"";
        DWORD n = GetLongPathNameW(wide, longPath, MAX_PATH);
        return n > 0 && n < MAX_PATH ? std::wstring(longPath) : std::wstring();
    }
    // Through a buffer of the size the launcher's own callers hand over.
    static int Convert(const std::wstring &path, char *out, size_t cap)
    {
        std::wstring buffer = path;
        buffer.resize(kPathBuffer);
        return AnsiPathFromWide(buffer.c_str(), (unsigned long)path.size(), out, cap);
    }

    std::wstring root_;
    std::vector<std::wstring> made_;
};

TEST_F(WidePathFolders, LongWhenTheCodePageHoldsTheNameShortOtherwise)
{
    struct Names {
        unsigned codePage;
        const wchar_t *held;
        const char *heldAnsi;
        const wchar_t *lacking;
    };
    const Names table[] = {
        {1252, L"Gr\u00f6\u00dfe Ordner", "Gr\xf6\xdf" "e Ordner",
         L"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430"},
        {932, L"\u30bd\u30d5\u30c8", "\x83\x5c\x83\x74\x83\x67",
         L"\u0395\u03b3\u03ba\u03b1\u03c4\u03ac\u03c3\u03c4\u03b1\u03c3\u03b7"},
    };
    const Names *names = nullptr;
    for (const Names &n : table)
        if (n.codePage == GetACP())
            names = &n;
    if (!names)
        GTEST_SKIP() << "no names for code page " << GetACP();
    std::wstring held, lacking;
    if (!Make(names->held, held) || !Make(names->lacking, lacking))
        GTEST_SKIP() << "the file system cannot hold the names: run under a generated UTF-8 locale (LOCPATH)";

    char out[kPathBuffer];
    ASSERT_TRUE(Convert(held, out, sizeof out));
    EXPECT_EQ(Ansi(root_) + "\\" + names->heldAnsi, out) << "a name the code page holds stays long";

    ASSERT_TRUE(Convert(lacking, out, sizeof out));
    EXPECT_EQ(std::string::npos, std::string(out).find('?')) << out;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(out)) << out;
    EXPECT_TRUE(Long(out) == lacking) << out << " names another folder";

    // A file below it: the short form of the whole path.
    const std::wstring file = lacking + L"\\SETUP.INS";
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    CloseHandle(h);
    ASSERT_TRUE(Convert(file, out, sizeof out));
    EXPECT_TRUE(Long(out) == file) << out;
    EXPECT_EQ(1, FileExists(out)) << out;
    DeleteFileW(file.c_str());

    // Without the file there is no short name to be had: no name at all,
    // rather than one with '?' in it.
    EXPECT_EQ(0, Convert(lacking + L"\\missing", out, sizeof out));
    // A short form that does not fit the caller's buffer is refused too.
    EXPECT_EQ(0, Convert(lacking, out, 8));
}

TEST(WidePathDecision, ALengthTheSystemReportsAsTooLongIsRefused)
{
    wchar_t path[kPathBuffer] = L"C:\\windows";
    char out[kPathBuffer];
    EXPECT_EQ(1, AnsiPathFromWide(path, 10, out, sizeof out));
    EXPECT_EQ(0, AnsiPathFromWide(path, 0, out, sizeof out)) << "0: the system gave nothing";
    EXPECT_EQ(0, AnsiPathFromWide(path, kPathBuffer, out, sizeof out)) << "the size it needs: cut short";
}

}  // namespace
