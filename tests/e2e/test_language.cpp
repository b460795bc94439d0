// The launcher speaks the user's language from its resource library: the
// error boxes' caption and text per locale, and the launcher's own strings
// whenever the library cannot supply them.
//
// Wine takes the locale of a process from LC_ALL when it starts, so these
// cases run once per locale (ctest e2e.language.*: English, German, French,
// and Spanish, which no library lists); CORVANE_E2E_EXPECT_LCID names the
// locale id the entry must see. The libraries come from tests/fixtures
// (CORVANE_E2E_FIXTURES), the sample medium (the indexed sample library) and
// sample/library-probing (CORVANE_E2E_PROBING_LIBRARY).
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/library_info.h"

#include <stdlib.h>

#include <algorithm>

namespace {

using e2e::Case;

// The language the libraries choose for this run's locale: each lists
// English (the default, though not always the first language), German and
// French.
enum Lang { kEnglish, kGerman, kFrench };

Lang RunLanguage() {
    switch (GetUserDefaultLCID()) {
    case 1031: return kGerman;
    case 1036: return kFrench;
    default: return kEnglish;
    }
}

const char *const kLanguageNames[] = {"English", "Deutsch", "Francais"};

std::string FixtureDir() {
    return rig::WithBackslash(rig::WinPath(rig::EnvOr("CORVANE_E2E_FIXTURES", "")));
}

std::string ProbingLibrary() {
    return rig::WinPath(rig::EnvOr("CORVANE_E2E_PROBING_LIBRARY", ""));
}

// Every case first makes sure that this run has the locale its entry asked
// for; without that, one language would be tested under every name.
::testing::AssertionResult RunsInTheExpectedLocale() {
    const std::string expected = rig::EnvOr("CORVANE_E2E_EXPECT_LCID", "");
    if (expected.empty())
        return ::testing::AssertionFailure() << "CORVANE_E2E_EXPECT_LCID is not set";
    if (GetUserDefaultLCID() != LCID(strtoul(expected.c_str(), nullptr, 10)))
        return ::testing::AssertionFailure()
               << "user locale " << GetUserDefaultLCID() << ", expected " << expected << " (LC_ALL not followed)";
    if (FixtureDir().size() < 2 || ProbingLibrary().empty())
        return ::testing::AssertionFailure() << "CORVANE_E2E_FIXTURES or CORVANE_E2E_PROBING_LIBRARY is not set";
    return ::testing::AssertionSuccess();
}

enum Library { kLangFull, kLangNoCaption, kLangLargest, kProbing, kGarbage, kBadTable, kPlanted };

std::string LibraryFile(Library library) {
    switch (library) {
    case kLangFull: return FixtureDir() + "lang_full.dll";
    case kLangNoCaption: return FixtureDir() + "lang_nocaption.dll";
    case kLangLargest: return FixtureDir() + "lang_largest.dll";
    case kProbing: return ProbingLibrary();
    case kBadTable: return FixtureDir() + "badtable.dll";
    case kPlanted: return FixtureDir() + "planted.dll";
    case kGarbage: break;
    }
    return "";
}

// A text of the expected box: per language, or (nullptr) the launcher's own
// string of the box's id (caption: 7110 of the launcher).
struct PerLanguage {
    const char *text[3];
};
const PerLanguage kOwn = {{nullptr, nullptr, nullptr}};

struct LanguageRow {
    const char *name;
    Library library;
    bool script;            // SETUP.INS on the medium
    const char *arguments;
    unsigned id;            // the one box shown
    const char *argument;   // its argument ("{M}" the medium folder), or nullptr
    PerLanguage caption;
    PerLanguage text;       // format text, before the argument goes in
    std::map<UINT, std::string> patch;  // launcher strings replaced in the case's copy
};

const PerLanguage kFullCaption = {{"EN caption", "DE Titel", "FR titre"}};

const LanguageRow kRows[] = {
    // The caption and message in the user's language; the default language
    // (English, not the first of the table) when no language lists the locale.
    {"ListedMessage", kLangFull, false, "", 7061, "{M}SETUP.INS/INSTALL.INS", kFullCaption,
     {{"EN script missing: %s", "DE Skript fehlt: %s", "FR script introuvable : %s"}}, {}},
    // A piece count of 2 from the library: the launcher carries one piece.
    {"PieceCountFromTheLibrary", kLangFull, true, "-s", 7064, nullptr, kFullCaption,
     {{"EN payload 7100 failed", "DE Nutzlast 7100 misslungen", "FR charge 7100 en echec"}}, {}},
    // A message the table does not list comes from the launcher, under the
    // library's caption.
    {"UnlistedMessage", kLangFull, true, "-s -e\"x y", 7067, "\"x y", kFullCaption, kOwn, {}},
    // An empty caption 7110: caption (7112) and text both from the
    // launcher's own table, though 7061 is listed.
    {"EmptyCaption", kLangNoCaption, false, "", 7061, "{M}SETUP.INS/INSTALL.INS",
     {{"Own caption 7112", "Own caption 7112", "Own caption 7112"}}, kOwn, {{7112, "Own caption 7112"}}},
    // Probing: a string present in the library but empty counts as absent.
    {"EmptyStringInAProbingLibrary", kProbing, false, "", 7061, "{M}SETUP.INS/INSTALL.INS",
     {{"Corvane Sample Setup", "Corvane Sample Setup", "Corvane Sample Setup"}}, kOwn, {}},
    // The largest table the format allows (30 languages x 65535 entries,
    // generated at build time): its caption and message, its last two
    // entries, in the user's language, not the launcher's own.
    {"LargestTable", kLangLargest, false, "", 7061, "{M}SETUP.INS/INSTALL.INS",
     {{"EN largest caption", "DE groesste Tabelle", "FR plus grande table"}},
     {{"EN largest: script missing: %s", "DE groesste: Skript fehlt: %s", "FR plus grande : script introuvable : %s"}},
     {}},
    // A library that cannot be loaded, and one whose table does not load
    // (although it holds 7061 and 7110 under the launcher's ids).
    {"LibraryCannotBeLoaded", kGarbage, false, "", 7061, "{M}SETUP.INS/INSTALL.INS", kOwn, kOwn, {}},
    {"MalformedTable", kBadTable, false, "", 7061, "{M}SETUP.INS/INSTALL.INS", kOwn, kOwn, {}},
};

std::string Expand(const std::string &text, const Case &c) {
    std::string out = text;
    for (size_t at; (at = out.find("{M}")) != std::string::npos;)
        out.replace(at, 3, c.medium);
    return out;
}

// Puts the library in place as the medium's _SETUP.DLL.
::testing::AssertionResult PlaceLibrary(const Case &c, Library library) {
    const std::string target = c.medium + "_SETUP.DLL";
    if (library == kGarbage) {
        std::string bytes = "MZ";
        for (int i = 0; i < 4000; ++i)
            bytes += char('A' + i % 23);
        return rig::WriteBytes(target, bytes) ? ::testing::AssertionSuccess()
                                              : ::testing::AssertionFailure() << "cannot write " << target;
    }
    const std::string from = LibraryFile(library);
    if (!rig::CopyFileTo(from, target))
        return ::testing::AssertionFailure() << "cannot copy " << from;
    return ::testing::AssertionSuccess();
}

// The user locale id and ANSI code page that the launcher's own process
// reported through the injected probe ("lcid 1031 acp 1252").
std::string LauncherLocale(const Case &c) {
    std::string text;
    if (!rig::ReadBytes(c.root + "lcid.txt", text))
        return "(no report)";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string ExpectedLocale() {
    return "lcid " + std::to_string(GetUserDefaultLCID()) + " acp " + std::to_string(GetACP());
}

e2e::Launch LaunchWithLocaleProbe(const Case &c, const std::string &arguments) {
    e2e::Launch launch;
    launch.arguments = arguments;
    launch.timeoutMs = 30000;
    launch.injectDlls.push_back(FixtureDir() + "lcid_probe.dll");
    launch.env["CORVANE_LCID_PROBE"] = c.root + "lcid.txt";
    return launch;
}

class Boxes : public ::testing::TestWithParam<LanguageRow> {};

TEST_P(Boxes, ShowTheTextsOfTheUsersLanguage) {
    E2E_REQUIRE_LAUNCHER();
    ASSERT_TRUE(RunsInTheExpectedLocale());
    const LanguageRow &row = GetParam();
    const Lang lang = RunLanguage();
    const Case c = e2e::PrepareCase(e2e::kLauncher | (row.script ? e2e::kSetupIns : 0));
    ASSERT_TRUE(PlaceLibrary(c, row.library));
    if (!row.patch.empty()) {
        ASSERT_TRUE(rig::PatchStrings(c.Launcher(), row.patch));
    }

    const e2e::Result r = e2e::RunLauncher(c, LaunchWithLocaleProbe(c, row.arguments));
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_EQ(LauncherLocale(c), ExpectedLocale()) << "the launcher runs in another locale";
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_FALSE(r.launched) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, DWORD(row.id)) << e2e::Describe(r);

    const char *caption = row.caption.text[lang];
    const char *format = row.text.text[lang];
    const std::string wantCaption = caption ? caption : rig::LoadModuleString(c.Launcher(), 7110);
    std::string wantText = format ? format : rig::LoadModuleString(c.Launcher(), row.id);
    ASSERT_FALSE(wantCaption.empty());
    ASSERT_FALSE(wantText.empty());
    if (row.argument != nullptr)
        wantText = e2e::FormatBoxText(wantText, Expand(row.argument, c));
    EXPECT_EQ(r.run.boxes[0].caption, wantCaption);
    EXPECT_EQ(r.run.boxes[0].text, wantText);
}

std::string RowName(const ::testing::TestParamInfo<LanguageRow> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Language, Boxes, ::testing::ValuesIn(kRows), RowName);

// The sample medium's library: its own texts in the user's language.
TEST(LanguageSample, BoxesOfTheSampleMediumAreInTheUsersLanguage) {
    E2E_REQUIRE_LAUNCHER();
    ASSERT_TRUE(RunsInTheExpectedLocale());
    const Lang lang = RunLanguage();
    const Case c = e2e::PrepareCase(e2e::kLauncher | e2e::kLibrary);
    const std::string library = c.medium + "_SETUP.DLL";

    const libinfo::LibraryInfo info = libinfo::Inspect(library);
    EXPECT_TRUE(info.indexed) << libinfo::Describe(info);
    EXPECT_EQ(info.language, kLanguageNames[lang]) << libinfo::Describe(info);

    const e2e::Result r = e2e::RunLauncher(c, LaunchWithLocaleProbe(c, ""));
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_EQ(LauncherLocale(c), ExpectedLocale());
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    // The sample's ids: 1xxx English, 2xxx German, 3xxx French.
    const UINT base = 1000u * UINT(lang + 1);
    const std::string caption = rig::LoadModuleString(library, base + 110);
    const std::string format = rig::LoadModuleString(library, base + 61);
    ASSERT_FALSE(caption.empty());
    ASSERT_FALSE(format.empty());
    const std::string argument = c.medium + "SETUP.INS/INSTALL.INS";
    EXPECT_EQ(r.run.boxes[0].caption, caption);
    EXPECT_EQ(r.run.boxes[0].text, e2e::FormatBoxText(format, argument));
    if (lang != kEnglish) {
        EXPECT_NE(r.run.boxes[0].text, e2e::FormatBoxText(rig::LoadModuleString(library, 1061), argument));
        EXPECT_NE(r.run.boxes[0].caption, rig::LoadModuleString(library, 1110));
    }
    // What the medium runner reports agrees with the box.
    const libinfo::BoxStrings strings = libinfo::ErrorBoxStrings(c.Launcher(), library, 7061);
    ASSERT_TRUE(strings.ok);
    EXPECT_EQ(strings.caption, caption);
    EXPECT_EQ(strings.text, format);
}

// A _SETUP.DLL with code whose entry point leaves a marker file: after a run
// there is no marker, and the library's strings were used.
TEST(LanguagePlanted, TheLibrarysEntryPointNeverRuns) {
    E2E_REQUIRE_LAUNCHER();
    ASSERT_TRUE(RunsInTheExpectedLocale());
    const Case c = e2e::PrepareCase(e2e::kLauncher);
    ASSERT_TRUE(PlaceLibrary(c, kPlanted));
    const std::string marker = c.root + "marker.txt";
    e2e::Launch launch = LaunchWithLocaleProbe(c, "");
    launch.env["CORVANE_PLANT_MARKER"] = marker;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].caption, "planted caption");
    EXPECT_EQ(r.run.boxes[0].text, "planted 7061 " + c.medium + "SETUP.INS/INSTALL.INS");
    EXPECT_FALSE(rig::Exists(marker)) << "the library's entry point ran in the launcher";
}

// The sample library's texts fit the launcher's buffers (caption 80, message
// 244 with the terminator) and carry the placeholders the launcher fills.
TEST(LanguageSample, TextsFitTheLaunchersBuffers) {
    E2E_REQUIRE_LAUNCHER();
    const std::string library = e2e::Files().library;
    for (UINT base = 1000; base <= 3000; base += 1000) {
        const std::string caption = rig::LoadModuleString(library, base + 110);
        EXPECT_FALSE(caption.empty()) << base + 110;
        EXPECT_LE(caption.size(), 79u) << base + 110;
        for (UINT id = 61; id <= 68; ++id) {
            const std::string text = rig::LoadModuleString(library, base + id);
            const size_t placeholders = (id == 61 || id == 67) ? 1 : 0;
            EXPECT_FALSE(text.empty()) << base + id;
            EXPECT_LE(text.size(), 243u) << base + id << ": " << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '%'), long(placeholders)) << base + id << ": " << text;
            EXPECT_EQ(text.find("%s") != std::string::npos, placeholders == 1) << base + id;
        }
    }
}

}  // namespace
