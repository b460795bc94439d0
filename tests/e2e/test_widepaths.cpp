// A medium or a TEMP in a folder named in a script that the user's ANSI code
// page lacks: the launcher must still find its library and script, expand
// into TEMP and hand the bootstrap paths that name the real folders (their
// short names), and never make a name with '?' in it. A name the code page
// holds stays long. Where the volume keeps no short names, such a TEMP is
// passed over and such a medium folder is not used at all.
//
// Each row runs under one locale (one ctest entry per locale, with locales
// compiled into LOCPATH so that Wine can give the folders their names). The
// launcher is started by its folder's short name: a process cannot be created
// from a name the code page lacks, as on Windows.
//
// These cases may touch the Windows directory and the drive roots (where the
// launcher goes when TEMP fails): their ctest entries hold the lock on it, and
// each case clears the launcher's files there before and after.
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/library_info.h"

#include <string.h>

namespace {

using e2e::Case;

enum Outcome {
    kInstallsInTemp,        // launched from TEMP
    kInstallsInWindowsDir,  // TEMP passed over: launched from the Windows directory
    kLibraryBox,            // box 7068: the medium's folder cannot be named
};

struct WidePathRow {
    const char *name;        // starts with the locale's tag: En_, Ja_, De_
    unsigned codePage;       // the ANSI code page of that locale
    const wchar_t *medium;   // folder of setup.exe; null: the case's ASCII one
    const wchar_t *temp;     // TEMP; null: the case's ASCII one
    const char *arguments;   // null: "-s"
    bool standardUser;       // Windows directory and drive roots read-only
    bool noShortNames;       // the volume keeps no 8.3 names
    bool staysLong;          // the code page holds every name: passed on as it is
    Outcome expected;
};

void PrintTo(const WidePathRow &row, std::ostream *os) {
    *os << row.name;
}

// Reads the launched command line with the launcher's own quoting: a token
// ends at a blank outside double quotes; the quotes are dropped.
std::vector<std::string> Tokens(const std::string &line) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false, inToken = false;
    for (char ch : line) {
        if (ch == '"') {
            quoted = !quoted;
            inToken = true;
        } else if (ch == ' ' && !quoted) {
            if (inToken)
                tokens.push_back(token);
            token.clear();
            inToken = false;
        } else {
            token += ch;
            inToken = true;
        }
    }
    if (inToken)
        tokens.push_back(token);
    return tokens;
}

// The value of the first (-f) or last (-x) option among the arguments.
std::string OptionValue(const std::vector<std::string> &tokens, const char *option, bool last) {
    std::string value;
    for (size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i].compare(0, 2, option) == 0) {
            value = tokens[i].substr(2);
            if (!last)
                break;
        }
    }
    return value;
}

bool SameWide(const std::wstring &a, const std::wstring &b) {
    return a.size() == b.size() && _wcsicmp(a.c_str(), b.c_str()) == 0;
}

class WidePathFiles : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteLauncherFilesIn(e2e::WindowsDirectory());
        e2e::DeleteLauncherFilesIn("c:\\");
    }
    void TearDown() override {
        e2e::DeleteLauncherFilesIn(e2e::WindowsDirectory());
        e2e::DeleteLauncherFilesIn("c:\\");
    }
};

class WidePathTable : public WidePathFiles, public ::testing::WithParamInterface<WidePathRow> {};

TEST_P(WidePathTable, InstallsFromTheRealFolders) {
    E2E_REQUIRE_LAUNCHER();
    const WidePathRow &row = GetParam();
    ASSERT_EQ(row.codePage, GetACP()) << "run this row under its locale (the e2e.widepaths.* entries)";

    Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::wstring root = e2e::Widen(c.root);
    std::wstring mediumLong = root + L"medium";
    std::wstring tempLong = root + L"temp";
    if (row.medium != nullptr) {
        const std::string folder = e2e::MakeFolderWide(c.root, row.medium);
        ASSERT_FALSE(folder.empty()) << "cannot make the medium folder: is the locale compiled (LOCPATH)?";
        for (const char *name : {"setup.exe", "_SETUP.DLL", "SETUP.INS"})
            ASSERT_TRUE(rig::CopyFileTo(c.medium + name, rig::JoinPath(folder, name))) << name;
        c.medium = rig::WithBackslash(folder);
        mediumLong = root + row.medium;
    }
    e2e::Launch launch;
    launch.arguments = row.arguments != nullptr ? row.arguments : "-s";
    if (row.temp != nullptr) {
        const std::string folder = e2e::MakeFolderWide(c.root, row.temp);
        ASSERT_FALSE(folder.empty()) << "cannot make the TEMP folder: is the locale compiled (LOCPATH)?";
        c.temp = rig::WithBackslash(folder);
        tempLong = root + row.temp;
        launch.envWide["TEMP"] = tempLong;
    }
    const std::string starts = c.root + "starts.txt";
    launch.env["CORVANE_STARTS"] = starts;
    if (row.standardUser || row.noShortNames)
        launch.injectDlls.push_back(e2e::Files().probe);
    if (row.standardUser)
        launch.env["CORVANE_PROBE_READONLY"] = "1";
    if (row.noShortNames)
        launch.env["CORVANE_PROBE_NO_SHORT_NAMES"] = "1";
    if (row.expected == kLibraryBox)
        launch.waitForExit = true;

    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    if (row.standardUser) {
        EXPECT_GT(r.HookCount("CreateFileA"), 0) << "the probe could not make the Windows directory read-only"
                                                 << e2e::Describe(r);
    }
    if (row.noShortNames) {
        EXPECT_GT(r.HookCount("GetShortPathNameW"), 0) << e2e::Describe(r);
    }
    // Nothing was made under a name with '?' in it, nor in the Windows
    // directory or a drive root unless TEMP was passed over.
    for (const std::wstring &name : e2e::NamesWithQuestionMarks(c.root))
        ADD_FAILURE() << "made: " << e2e::Narrow(name);
    if (row.expected != kInstallsInWindowsDir) {
        EXPECT_TRUE(e2e::LauncherFilesIn(e2e::WindowsDirectory()).empty());
    }
    EXPECT_TRUE(e2e::LauncherFilesIn("c:\\").empty());

    if (row.expected == kLibraryBox) {
        // Shown from the launcher's own strings: the library was never opened.
        const libinfo::BoxStrings own = libinfo::ErrorBoxStrings(c.Launcher(), c.root + "none\\_SETUP.DLL", 7068);
        EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
        EXPECT_FALSE(r.launched) << e2e::Describe(r);
        ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
        EXPECT_EQ(r.run.exitCode, 7068u) << e2e::Describe(r);
        EXPECT_EQ(r.run.boxes[0].caption, own.caption);
        EXPECT_EQ(r.run.boxes[0].text, own.text);
        EXPECT_TRUE(e2e::HoldsExactly(c.temp, {}));
        return;
    }
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    std::string startLines;
    EXPECT_TRUE(rig::ReadBytes(starts, startLines));
    EXPECT_EQ(1, std::count(startLines.begin(), startLines.end(), '\n')) << "bootstrap starts: " << startLines;

    // Every path handed over names the real file or folder.
    const std::vector<std::string> tokens = Tokens(r.report.at("cmdline"));
    ASSERT_GE(tokens.size(), 3u) << r.report.at("cmdline");
    const std::string program = tokens[0];
    const std::string script = OptionValue(tokens, "-f", false);
    const std::string work = OptionValue(tokens, "-x", true);
    std::wstring workLong = tempLong;
    if (row.expected == kInstallsInWindowsDir) {
        workLong = e2e::LongPath(e2e::WindowsDirectory());
        EXPECT_TRUE(e2e::HoldsExactly(c.temp, {})) << "TEMP was passed over";
    }
    EXPECT_TRUE(SameWide(e2e::LongPath(program), workLong + L"\\" + e2e::Widen(e2e::kBootstrapFile))) << program;
    EXPECT_TRUE(SameWide(e2e::LongPath(script), mediumLong + L"\\SETUP.INS")) << script;
    EXPECT_TRUE(SameWide(e2e::LongPath(work), workLong)) << work;
    EXPECT_EQ('\\', work.empty() ? '\0' : work.back()) << work;
    for (const std::string &path : {program, script, work})
        EXPECT_EQ(std::string::npos, path.find('?')) << path;
    if (row.staysLong) {
        EXPECT_EQ(e2e::Narrow(mediumLong) + "\\SETUP.INS", script) << "a name the code page holds stays long";
        EXPECT_EQ(e2e::Narrow(tempLong) + "\\", work) << "a name the code page holds stays long";
    }

    // The payloads, byte for byte, where -x says (the Windows directory holds
    // other files too: there only the payloads are compared).
    const e2e::Originals &f = e2e::Files();
    const std::map<std::string, std::string> payloads = {
        {e2e::kBootstrapFile, f.bootstrap}, {e2e::kEngineFile, f.engine}, {e2e::kCompanionFile, f.companion}};
    if (row.expected == kInstallsInTemp) {
        EXPECT_TRUE(e2e::HoldsExactly(work, payloads));
    } else {
        for (const auto &kv : payloads) {
            std::string got, want;
            EXPECT_TRUE(rig::ReadBytes(work + kv.first, got)) << work + kv.first;
            EXPECT_TRUE(rig::ReadBytes(kv.second, want));
            EXPECT_TRUE(got == want) << work + kv.first << " differs from " << kv.second;
        }
    }
}

// "Установка", "Временные"; "Εγκατάσταση", "Προσωρινά" (accented Greek, which
// code page 932 lacks); "セットアップ", "ソフト" (kana: 1252 lacks them; in 932
// the trail byte of ソ is a backslash); "Größe Ordner", "Café Temp".
#define CYRILLIC_MEDIUM L"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430"
#define CYRILLIC_TEMP L"\u0412\u0440\u0435\u043c\u0435\u043d\u043d\u044b\u0435"
#define GREEK_MEDIUM L"\u0395\u03b3\u03ba\u03b1\u03c4\u03ac\u03c3\u03c4\u03b1\u03c3\u03b7"
#define GREEK_TEMP L"\u03a0\u03c1\u03bf\u03c3\u03c9\u03c1\u03b9\u03bd\u03ac"
#define KANA_MEDIUM L"\u30bb\u30c3\u30c8\u30a2\u30c3\u30d7"
#define KANA_TEMP L"\u30bd\u30d5\u30c8"
#define LATIN_MEDIUM L"Gr\u00f6\u00dfe Ordner"
#define LATIN_TEMP L"Caf\u00e9 Temp"

const WidePathRow kWidePathRows[] = {
    // name, code page, medium, TEMP, arguments, standard user, no short names, stays long, outcome
    {"En_CyrillicMedium", 1252, CYRILLIC_MEDIUM, nullptr, nullptr, false, false, false, kInstallsInTemp},
    // A bare script name is completed with the launcher's own folder.
    {"En_CyrillicMediumScriptNamed", 1252, CYRILLIC_MEDIUM, nullptr, "-fSETUP.INS -s", false, false, false,
     kInstallsInTemp},
    {"En_CyrillicTemp", 1252, nullptr, CYRILLIC_TEMP, nullptr, false, false, false, kInstallsInTemp},
    {"En_CyrillicTempStandardUser", 1252, nullptr, CYRILLIC_TEMP, nullptr, true, false, false, kInstallsInTemp},
    {"En_CyrillicMediumAndTemp", 1252, CYRILLIC_MEDIUM, CYRILLIC_TEMP, nullptr, false, false, false,
     kInstallsInTemp},
    {"En_LatinNamesStayLong", 1252, LATIN_MEDIUM, LATIN_TEMP, nullptr, false, false, true, kInstallsInTemp},
    {"En_CyrillicTempWithoutShortNames", 1252, nullptr, CYRILLIC_TEMP, nullptr, false, true, false,
     kInstallsInWindowsDir},
    {"En_CyrillicMediumWithoutShortNames", 1252, CYRILLIC_MEDIUM, nullptr, nullptr, false, true, false, kLibraryBox},
    {"Ja_GreekMedium", 932, GREEK_MEDIUM, nullptr, nullptr, false, false, false, kInstallsInTemp},
    {"Ja_GreekTemp", 932, nullptr, GREEK_TEMP, nullptr, false, false, false, kInstallsInTemp},
    {"Ja_GreekTempStandardUser", 932, nullptr, GREEK_TEMP, nullptr, true, false, false, kInstallsInTemp},
    {"Ja_KanaNamesStayLong", 932, KANA_MEDIUM, KANA_TEMP, nullptr, false, false, true, kInstallsInTemp},
    {"De_KanaMedium", 1252, KANA_MEDIUM, nullptr, nullptr, false, false, false, kInstallsInTemp},
    {"De_KanaTemp", 1252, nullptr, KANA_TEMP, nullptr, false, false, false, kInstallsInTemp},
    {"De_KanaTempStandardUser", 1252, nullptr, KANA_TEMP, nullptr, true, false, false, kInstallsInTemp},
};
INSTANTIATE_TEST_SUITE_P(WidePaths, WidePathTable, ::testing::ValuesIn(kWidePathRows),
                         [](const ::testing::TestParamInfo<WidePathRow> &p) { return std::string(p.param.name); });

}  // namespace
