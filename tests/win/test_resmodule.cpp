// The resource module over real libraries (tests/fixtures/resmodule): library
// records, probing and indexed redirection, the language of the user's
// locale, open and close, and resources loaded from a library that is mapped
// as data, whose code never runs.
//
// The test program stands for the launcher: its own string table is the
// launcher's (resources/strings.rc). The language cases run again under
// other locales (ctest win.resmodule.*), where CORVANE_TEST_EXPECT_LCID says
// which locale id Wine must report.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

#include <string>

#include "launcher/cmdline.h"
#include "launcher/errorbox.h"
#include "base/ids.h"
#include "base/text.h"
#include "resmodule/langtable.h"
#include "resmodule/reslibrary.h"
#include "resmodule/resmodule.h"
#include "resmodule/setupstring.h"
#include "tests/unit/error_boxes.h"
#include "tests/win/launcher_test_support.h"

namespace {

std::string Fixture(const char *name)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return std::string();
    std::string dir(path, n);
    dir.erase(dir.find_last_of("\\/") + 1);
    return dir + "fixtures\\resmodule\\" + name + ".dll";
}

HMODULE Self() { return GetModuleHandleA(nullptr); }

std::string StringOf(HMODULE module, int id)
{
    char text[1024] = "";
    int n = LoadStringA(module, (UINT)id, text, sizeof text);
    return std::string(text, n > 0 ? (size_t)n : 0);
}

// The module is process-wide: every test leaves it closed, whatever fails.
class ResModuleTest : public ::testing::Test {
protected:
    void SetUp() override { ResModuleClose(); }
    void TearDown() override { ResModuleClose(); }
};

enum Source { kLauncher, kPrimary, kSecondary };

const char *SourceName(Source s)
{
    return s == kLauncher ? "launcher" : s == kPrimary ? "primary" : "secondary";
}

HMODULE ModuleOf(Source s, const std::string &primary, const std::string &secondary)
{
    return s == kLauncher ? Self() : LibraryHandle((s == kPrimary ? primary : secondary).c_str());
}

// The language the module must choose for this process's locale in the
// indexed fixture (indexed.txt): Dutch is never eligible, and a locale that
// no eligible language lists gets the default, English, not the first
// language of the table.
struct Language {
    const char *name;
    int base;  // the library's ids of this language: base + launcher id - 7000
    const char *tag;
};

Language ExpectedLanguage()
{
    switch (GetUserDefaultLCID()) {
    case 1031: case 2055: return {"Deutsch", 2000, "de"};
    case 1036: case 2060: return {"Francais", 3000, "fr"};
    default: return {"English", 1000, "en"};
    }
}

// ---------------------------------------------------------------------------
// Library records

TEST_F(ResModuleTest, LibraryRecordsAreFoundByTheirPath)
{
    const std::string path = Fixture("probe_primary");
    EXPECT_EQ(LibraryOpen(nullptr), 0);
    EXPECT_EQ(LibraryOpen(""), 0);
    EXPECT_EQ(LibraryHandle(path.c_str()), nullptr);
    EXPECT_EQ(LibraryClose(path.c_str()), 1) << "closing what is not open still answers 1";

    ASSERT_EQ(LibraryOpen(path.c_str()), 1) << path;
    HMODULE module = LibraryHandle(path.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(StringOf(module, 7061), "primary 7061");
    EXPECT_EQ(LibraryHandle(Fixture("probe_secondary").c_str()), nullptr);
    EXPECT_EQ(LibraryClose(path.c_str()), 1);
    EXPECT_EQ(LibraryHandle(path.c_str()), nullptr);
}

TEST_F(ResModuleTest, LibraryOpenFailsQuietlyAndLeavesTheErrorModeAtZero)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("_SETUP.DLL"), std::string(4096, '\x5A')));
    const std::string cases[] = {dir.file("missing.dll"), dir.file("_SETUP.DLL")};
    for (const std::string &path : cases) {
        SetErrorMode(SEM_NOGPFAULTERRORBOX);
        EXPECT_EQ(LibraryOpen(path.c_str()), 0) << path;
        EXPECT_EQ(LibraryHandle(path.c_str()), nullptr) << path;
        EXPECT_EQ(SetErrorMode(0), 0u) << "error mode after " << path;
    }
    // A path the record could not keep whole is refused.
    EXPECT_EQ(LibraryOpen(("C:\\" + std::string(258, 'a')).c_str()), 0);
    SetErrorMode(SEM_NOGPFAULTERRORBOX);
    ASSERT_EQ(LibraryOpen(Fixture("probe_primary").c_str()), 1);
    EXPECT_EQ(SetErrorMode(0), 0u) << "set to 0, not to the mode before";
    LibraryClose(Fixture("probe_primary").c_str());
}

// ---------------------------------------------------------------------------
// Probing

struct ProbeRow {
    int kind;
    int id;
    Source from;
    const char *text;  // strings: what loads from there (nullptr: the launcher's own)
};

void CheckRows(const ProbeRow *rows, size_t count, const std::string &primary, const std::string &secondary)
{
    for (size_t i = 0; i < count; i++) {
        const ProbeRow &row = rows[i];
        SCOPED_TRACE("kind " + std::to_string(row.kind) + " id " + std::to_string(row.id) + " from " +
                     SourceName(row.from));
        HMODULE module = (HMODULE)1;
        EXPECT_EQ(ResRedirect(Self(), row.kind, row.id, &module), row.id) << "probing never changes the id";
        EXPECT_EQ(module, ModuleOf(row.from, primary, secondary));
        EXPECT_EQ(ResRedirectModule(row.kind, row.id), module) << "the module of the state agrees";
        EXPECT_EQ(ResRedirectId(row.kind, row.id), row.id);
        if (row.kind == RES_KIND_STRING) {
            std::string want = row.text ? row.text : OwnString(row.id);
            EXPECT_EQ(StringOf(module, row.id), want);
            char text[256] = "";
            EXPECT_EQ(LoadSetupString(row.id, text, sizeof text), (int)want.size());
            EXPECT_EQ(std::string(text), want);
        }
    }
}

TEST_F(ResModuleTest, ProbingTakesWhatThePrimaryLibraryHolds)
{
    const std::string primary = Fixture("probe_primary");
    ASSERT_EQ(ResModuleOpen(Self(), 1, primary.c_str(), ""), 1) << primary;
    EXPECT_EQ(ResModuleIsOpen(), 1);
    EXPECT_EQ(ResModuleLanguageTable(), nullptr);
    EXPECT_EQ(ResModulePrimary(), LibraryHandle(primary.c_str()));
    const ProbeRow rows[] = {
        {RES_KIND_STRING, 7061, kPrimary, "primary 7061"},
        {RES_KIND_STRING, 7110, kPrimary, "Primary caption"},
        {RES_KIND_STRING, 7063, kLauncher, nullptr},  // present in the library but empty
        {RES_KIND_STRING, 7065, kLauncher, nullptr},  // not in the library
        {RES_KIND_DIALOG, 7500, kPrimary, nullptr},
        {RES_KIND_DIALOG, 7501, kLauncher, nullptr},
        {RES_KIND_ICON, 7002, kPrimary, nullptr},
        {RES_KIND_ICON, 7510, kLauncher, nullptr},    // a bitmap, not an icon
        {RES_KIND_BITMAP, 7510, kPrimary, nullptr},
        {RES_KIND_BITMAP, 7002, kLauncher, nullptr},  // an icon, not a bitmap
        // Kinds outside 1..4 probe a type that does not exist.
        {0, 7061, kLauncher, nullptr},
        {5, 7061, kLauncher, nullptr},
        {6, 7500, kLauncher, nullptr},
        {-1, 7061, kLauncher, nullptr},
        {1001, 100, kLauncher, nullptr},
    };
    CheckRows(rows, sizeof rows / sizeof rows[0], primary, "");
}

TEST_F(ResModuleTest, ProbingAsksTheSecondaryLibraryFirst)
{
    const std::string primary = Fixture("probe_primary");
    const std::string secondary = Fixture("probe_secondary");
    ASSERT_EQ(ResModuleOpen(Self(), 1, primary.c_str(), secondary.c_str()), 1);
    const ProbeRow rows[] = {
        {RES_KIND_STRING, 7061, kSecondary, "secondary 7061"},  // both hold it
        {RES_KIND_STRING, 7062, kPrimary, "primary 7062"},      // empty in the secondary
        {RES_KIND_STRING, 7065, kSecondary, "secondary 7065"},  // only there
        {RES_KIND_STRING, 7064, kPrimary, "primary 7064"},
        {RES_KIND_STRING, 7063, kLauncher, nullptr},
        {RES_KIND_DIALOG, 7500, kSecondary, nullptr},
        {RES_KIND_ICON, 7002, kPrimary, nullptr},
        {RES_KIND_BITMAP, 7510, kPrimary, nullptr},
        {7, 7061, kLauncher, nullptr},
    };
    CheckRows(rows, sizeof rows / sizeof rows[0], primary, secondary);
}

TEST_F(ResModuleTest, ProbingWithOnlyASecondaryLibrary)
{
    const std::string secondary = Fixture("probe_secondary");
    ScratchDir dir;
    const std::string missing = dir.file("_SETUP.DLL");
    ASSERT_EQ(ResModuleOpen(Self(), 1, missing.c_str(), secondary.c_str()), 1);
    EXPECT_EQ(ResModulePrimary(), nullptr);
    const ProbeRow rows[] = {
        {RES_KIND_STRING, 7061, kSecondary, "secondary 7061"},
        {RES_KIND_STRING, 7062, kLauncher, nullptr},
    };
    CheckRows(rows, sizeof rows / sizeof rows[0], missing, secondary);
}

// ---------------------------------------------------------------------------
// Indexed

TEST_F(ResModuleTest, IndexedRedirectsListedIdsToTheLanguagesIds)
{
    const char *expectLcid = getenv("CORVANE_TEST_EXPECT_LCID");
    if (expectLcid && *expectLcid) {
        ASSERT_EQ(GetUserDefaultLCID(), (LCID)strtoul(expectLcid, nullptr, 10)) << "Wine did not follow LC_ALL";
    }
    const Language lang = ExpectedLanguage();
    const std::string path = Fixture("indexed");
    ASSERT_EQ(ResModuleOpen(Self(), 1, path.c_str(), ""), 1) << path;
    const LangTable *table = ResModuleLanguageTable();
    ASSERT_NE(table, nullptr);
    EXPECT_STREQ(table->languageNames[table->currentLanguage], lang.name)
        << "user locale " << GetUserDefaultLCID();
    HMODULE library = LibraryHandle(path.c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(ResModulePrimary(), library);

    const std::string tag = lang.tag;
    const struct {
        int kind;
        int id;
        Source from;
        int mapped;         // the id to load
        std::string text;   // strings: what loads ("" for the launcher's own)
    } rows[] = {
        {RES_KIND_STRING, 7061, kPrimary, lang.base + 61, tag + " 7061 %s"},
        {RES_KIND_STRING, 7110, kPrimary, lang.base + 110, tag + " caption"},
        {RES_KIND_STRING, 7064, kPrimary, lang.base + 64, tag + " 7064"},  // " 1064x" reads as 1064
        {RES_KIND_STRING, 7062, kPrimary, 0, ""},       // "abc" is not a number: id 0
        {RES_KIND_STRING, 7063, kLauncher, 7063, ""},   // not listed, though the library holds 7063
        {RES_KIND_STRING, 7100, kLauncher, 7100, ""},
        {RES_KIND_DIALOG, 7500, kPrimary, lang.base + 500, ""},
        {RES_KIND_DIALOG, 7061, kLauncher, 7061, ""},   // 7061 is listed as a string, not a dialog
        {RES_KIND_ICON, 7002, kPrimary, lang.base + 2, ""},
        {RES_KIND_BITMAP, 7510, kPrimary, lang.base + 510, ""},
        {9, 7061, kPrimary, lang.base + 961, ""},       // any kind the table lists
        {0, 7061, kLauncher, 7061, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE("kind " + std::to_string(row.kind) + " id " + std::to_string(row.id));
        HMODULE module = nullptr;
        EXPECT_EQ(ResRedirect(Self(), row.kind, row.id, &module), row.mapped);
        EXPECT_EQ(module, row.from == kLauncher ? Self() : library) << SourceName(row.from);
        EXPECT_EQ(ResRedirectModule(row.kind, row.id), module);
        EXPECT_EQ(ResRedirectId(row.kind, row.id), row.mapped);
        if (row.kind == RES_KIND_STRING && row.mapped != 0) {
            const std::string want = row.text.empty() ? OwnString(row.id) : row.text;
            char text[256] = "";
            EXPECT_EQ(LoadSetupString(row.id, text, sizeof text), (int)want.size());
            EXPECT_EQ(std::string(text), want);
        }
    }
}

// The error box through the redirection: caption and text of one language.
TEST_F(ResModuleTest, ErrorBoxShowsTheLanguagesText)
{
    LauncherStateScope state;
    const Language lang = ExpectedLanguage();
    ASSERT_EQ(ResModuleOpen(Self(), 1, Fixture("indexed").c_str(), ""), 1);
    {
        ErrorBoxes boxes;
        // WinMain names the fallback script in the argument itself.
        const char tried[] = "D:\\SETUP.INS/INSTALL.INS";
        ShowLaunchError(IDS_SCRIPT_MISSING, tried, sizeof tried - 1);
        ASSERT_EQ(boxes.Count(), 1) << boxes.Describe();
        EXPECT_EQ(boxes.Text(0), std::string(lang.tag) + " 7061 D:\\SETUP.INS/INSTALL.INS");
    }
    {
        // The parser names a -f script inside the rest of the command line:
        // the box shows the script's bytes alone.
        ErrorBoxes boxes;
        const char rest[] = "D:\\A.INS -s -z";
        ShowLaunchError(IDS_SCRIPT_MISSING, rest, 8);
        ShowLaunchError(IDS_SCRIPT_MISSING, rest, kWholeArgument);
        ASSERT_EQ(boxes.Count(), 2) << boxes.Describe();
        EXPECT_EQ(boxes.Text(0), std::string(lang.tag) + " 7061 D:\\A.INS");
        EXPECT_EQ(boxes.Text(1), std::string(lang.tag) + " 7061 D:\\A.INS -s -z");
    }
    {
        ErrorBoxes boxes;
        ShowLaunchError(IDS_NO_WORK_DIRECTORY, nullptr, 0);  // not listed: the launcher's text
        ASSERT_EQ(boxes.Count(), 1) << boxes.Describe();
        EXPECT_EQ(boxes.Text(0), OwnString(IDS_NO_WORK_DIRECTORY));
    }
}

TEST_F(ResModuleTest, IndexedOpenKeepsNoSecondaryPathAndReleasesBothLibrariesAtClose)
{
    const std::string primary = Fixture("indexed");
    const std::string secondary = Fixture("probe_secondary");
    ASSERT_EQ(ResModuleOpen(Self(), 1, primary.c_str(), secondary.c_str()), 1);
    ASSERT_NE(ResModuleLanguageTable(), nullptr);
    char p[kPathBuffer], s[kPathBuffer];
    EXPECT_EQ(ResModuleGetPaths(p, sizeof p, s, sizeof s), 1);
    EXPECT_EQ(std::string(p), primary);
    EXPECT_EQ(std::string(s), "") << "the indexed mode keeps no secondary path";
    // The secondary library is loaded but never asked in this mode.
    ASSERT_NE(LibraryHandle(secondary.c_str()), nullptr);
    HMODULE module = nullptr;
    ResRedirect(Self(), RES_KIND_STRING, 7065, &module);
    EXPECT_EQ(module, Self());

    EXPECT_EQ(ResModuleClose(), 1);
    EXPECT_EQ(LibraryHandle(primary.c_str()), nullptr);
    EXPECT_EQ(LibraryHandle(secondary.c_str()), nullptr) << "a library kept loaded after close";
    EXPECT_EQ(ResModuleLanguageTable(), nullptr);
}

// ---------------------------------------------------------------------------
// Open and close

TEST_F(ResModuleTest, ClosedModuleAnswersWithTheDefaultModule)
{
    EXPECT_EQ(ResModuleClose(), 0) << "not open";
    EXPECT_EQ(ResModuleIsOpen(), 0);
    char p[kPathBuffer] = "x", s[kPathBuffer] = "y";
    EXPECT_EQ(ResModuleGetPaths(p, sizeof p, s, sizeof s), 0);
    EXPECT_STREQ(p, "");
    EXPECT_STREQ(s, "");
    EXPECT_EQ(ResModuleLanguageTable(), nullptr);
    EXPECT_EQ(ResModulePrimary(), nullptr);

    // After a close the default module of the last open still answers.
    ASSERT_EQ(ResModuleOpen(Self(), 1, Fixture("probe_primary").c_str(), ""), 1);
    EXPECT_EQ(ResModuleClose(), 1);
    EXPECT_EQ(ResModuleClose(), 0);
    for (int kind = 0; kind <= 5; kind++) {
        EXPECT_EQ(ResRedirectModule(kind, 7061), Self()) << kind;
        EXPECT_EQ(ResRedirectId(kind, 7061), 7061) << kind;
    }
    HMODULE other = GetModuleHandleA("kernel32.dll");
    HMODULE module = nullptr;
    EXPECT_EQ(ResRedirect(other, RES_KIND_STRING, 7061, &module), 7061);
    EXPECT_EQ(module, other) << "the module passed in";
}

TEST_F(ResModuleTest, PathsAfterAProbingOpen)
{
    const std::string primary = Fixture("probe_primary");
    const std::string secondary = Fixture("probe_secondary");
    ASSERT_EQ(ResModuleOpen(Self(), 1, primary.c_str(), secondary.c_str()), 1);
    char p[kPathBuffer] = "x", s[kPathBuffer] = "y";
    EXPECT_EQ(ResModuleGetPaths(p, sizeof p, s, sizeof s), 1);
    EXPECT_EQ(std::string(p), primary);
    EXPECT_EQ(std::string(s), secondary);
    EXPECT_EQ(ResModuleClose(), 1);
    EXPECT_EQ(LibraryHandle(primary.c_str()), nullptr);
    EXPECT_EQ(LibraryHandle(secondary.c_str()), nullptr);
    EXPECT_EQ(ResModuleGetPaths(p, sizeof p, s, sizeof s), 0);
    EXPECT_STREQ(p, "");
    EXPECT_STREQ(s, "");
}

TEST_F(ResModuleTest, SecondOpenChangesOnlyTheDefaultModule)
{
    const std::string indexed = Fixture("indexed");
    ASSERT_EQ(ResModuleOpen(Self(), 1, indexed.c_str(), ""), 1);
    LangTable *table = ResModuleLanguageTable();
    HMODULE primary = ResModulePrimary();
    const int language = table->currentLanguage;

    HMODULE other = GetModuleHandleA("kernel32.dll");
    ASSERT_NE(other, nullptr);
    const std::string probing = Fixture("probe_primary");
    EXPECT_EQ(ResModuleOpen(other, 1, probing.c_str(), Fixture("probe_secondary").c_str()), 1);
    EXPECT_EQ(ResModuleLanguageTable(), table);
    EXPECT_EQ(table->currentLanguage, language);
    EXPECT_EQ(ResModulePrimary(), primary);
    EXPECT_EQ(LibraryHandle(probing.c_str()), nullptr) << "nothing more is loaded";
    char p[kPathBuffer], s[kPathBuffer];
    ResModuleGetPaths(p, sizeof p, s, sizeof s);
    EXPECT_EQ(std::string(p), indexed);
    EXPECT_EQ(std::string(s), "");
    // Unlisted ids now answer with the new default module; listed ones still
    // come from the library.
    EXPECT_EQ(ResRedirectModule(RES_KIND_STRING, 7063), other);
    EXPECT_EQ(ResRedirectModule(RES_KIND_STRING, 7061), primary);

    EXPECT_EQ(ResModuleClose(), 1);
    EXPECT_EQ(ResRedirectModule(RES_KIND_STRING, 7061), other) << "the default module stays after close";
    // Back to the test program as the default module.
    ASSERT_EQ(ResModuleOpen(Self(), 1, probing.c_str(), ""), 1);
}

TEST_F(ResModuleTest, OpenWhoseTableFailsToLoadLeavesTheModuleClosed)
{
    const std::string path = Fixture("badtable");
    ResLastError = 0;
    EXPECT_EQ(ResModuleOpen(Self(), 1, path.c_str(), ""), 0);
    EXPECT_EQ(ResLastError, LANG_ERR_BAD_MAGIC);
    EXPECT_EQ(ResModuleIsOpen(), 0);
    EXPECT_EQ(ResModuleLanguageTable(), nullptr);
    EXPECT_EQ(ResModulePrimary(), nullptr);
    // The library holds 7061 and 7110, yet nothing is probed: all from the launcher.
    for (int id : {7061, 7110}) {
        EXPECT_EQ(ResRedirectModule(RES_KIND_STRING, id), Self()) << id;
        EXPECT_EQ(ResRedirectId(RES_KIND_STRING, id), id) << id;
    }
    EXPECT_EQ(ResModuleClose(), 0);
    EXPECT_EQ(LibraryHandle(path.c_str()), nullptr) << "the library is released at once";
    // A later open works.
    EXPECT_EQ(ResModuleOpen(Self(), 1, Fixture("probe_primary").c_str(), ""), 1);
}

TEST_F(ResModuleTest, OpenWithNoLibraryFails)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("garbage.dll"), std::string("MZ") + std::string(2000, '\x01')));
    const std::string cases[] = {dir.file("_SETUP.DLL"), dir.file("garbage.dll"), ""};
    for (const std::string &path : cases) {
        EXPECT_EQ(ResModuleOpen(Self(), 1, path.c_str(), ""), 0) << path;
        EXPECT_EQ(ResModuleIsOpen(), 0) << path;
        EXPECT_EQ(ResRedirectModule(RES_KIND_STRING, 7061), Self()) << path;
    }
    EXPECT_EQ(ResModuleOpen(Self(), 1, nullptr, nullptr), 0);
}

// ---------------------------------------------------------------------------
// Resources from a library mapped as data

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// Loads each kind through the redirection, as the launcher and the splash do.
void ExpectResourcesLoad(const std::string &dialogText)
{
    HMODULE module = ResRedirectModule(RES_KIND_DIALOG, 7500);
    ASSERT_NE(module, Self()) << "the dialog must come from the library";
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(ResRedirectId(RES_KIND_DIALOG, 7500)), nullptr,
                                     QuietDialog, 0);
    ASSERT_NE(dialog, nullptr) << "CreateDialogParamA, error " << GetLastError();
    char text[64] = "";
    GetDlgItemTextA(dialog, 1, text, sizeof text);
    EXPECT_STREQ(text, dialogText.c_str());
    DestroyWindow(dialog);

    module = ResRedirectModule(RES_KIND_ICON, 7002);
    const int icon = ResRedirectId(RES_KIND_ICON, 7002);
    EXPECT_NE(module, Self());
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(icon)), nullptr) << "LoadIconA";
    HANDLE image = LoadImageA(module, MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0);
    EXPECT_NE(image, nullptr) << "LoadImageA icon";
    if (image)
        DestroyIcon((HICON)image);

    module = ResRedirectModule(RES_KIND_BITMAP, 7510);
    EXPECT_NE(module, Self());
    HBITMAP bitmap = LoadBitmapA(module, MAKEINTRESOURCEA(ResRedirectId(RES_KIND_BITMAP, 7510)));
    ASSERT_NE(bitmap, nullptr) << "LoadBitmapA";
    BITMAP info = {};
    ASSERT_NE(GetObjectA(bitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 8);
    EXPECT_EQ(info.bmHeight, 6);
    DeleteObject(bitmap);
}

TEST_F(ResModuleTest, StringsDialogsIconsAndBitmapsLoadFromTheDataMapping)
{
    ASSERT_EQ(ResModuleOpen(Self(), 1, Fixture("probe_primary").c_str(), ""), 1);
    EXPECT_EQ(StringOf(ResRedirectModule(RES_KIND_STRING, 7061), 7061), "primary 7061");
    ExpectResourcesLoad("primary dialog");
    ResModuleClose();

    ASSERT_EQ(ResModuleOpen(Self(), 1, Fixture("indexed").c_str(), ""), 1);
    const Language lang = ExpectedLanguage();
    EXPECT_EQ(StringOf(ResRedirectModule(RES_KIND_STRING, 7110), ResRedirectId(RES_KIND_STRING, 7110)),
              std::string(lang.tag) + " caption");
    ExpectResourcesLoad(std::string(lang.tag) + " dialog");
}

// A _SETUP.DLL with code: its entry point writes a marker file whenever it
// runs. Opening it in every way the launcher does must not run it, and its
// strings must still be used.
TEST_F(ResModuleTest, PlantedEntryPointNeverRuns)
{
    ScratchDir dir;
    const std::string marker = dir.file("marker.txt");
    ASSERT_TRUE(SetEnvironmentVariableA("CORVANE_PLANT_MARKER", marker.c_str()));
    const std::string path = Fixture("planted");

    ASSERT_EQ(LibraryOpen(path.c_str()), 1);
    EXPECT_FALSE(Exists(marker)) << "LibraryOpen ran the entry point";
    LibraryClose(path.c_str());

    LangTable *table = LangTableLoad(path.c_str(), LANG_LOAD_LIBRARY);
    EXPECT_NE(table, nullptr);
    LangTableClose(table);
    EXPECT_FALSE(Exists(marker)) << "LangTableLoad ran the entry point";

    ASSERT_EQ(ResModuleOpen(Self(), 1, path.c_str(), ""), 1);
    EXPECT_FALSE(Exists(marker)) << "ResModuleOpen ran the entry point";
    ASSERT_NE(ResModuleLanguageTable(), nullptr);
    char text[256] = "";
    EXPECT_GT(LoadSetupString(IDS_SCRIPT_MISSING, text, sizeof text), 0);
    EXPECT_STREQ(text, "planted 7061 %s");
    EXPECT_GT(LoadSetupString(IDS_CAPTION_REDIRECTED, text, sizeof text), 0);
    EXPECT_STREQ(text, "planted caption");
    EXPECT_EQ(ResModuleClose(), 1);
    EXPECT_FALSE(Exists(marker));

    // The control: loaded as a program library, a copy of it does leave the
    // marker, so the checks above could have failed.
    const std::string copy = dir.file("planted-copy.dll");
    ASSERT_TRUE(CopyFileA(path.c_str(), copy.c_str(), FALSE));
    HMODULE loaded = LoadLibraryA(copy.c_str());
    ASSERT_NE(loaded, nullptr);
    FreeLibrary(loaded);
    EXPECT_TRUE(Exists(marker)) << "the fixture's entry point did not run when loaded as code";
    DeleteFileA(marker.c_str());
    DeleteFileA(copy.c_str());
    SetEnvironmentVariableA("CORVANE_PLANT_MARKER", nullptr);
}

}  // namespace
