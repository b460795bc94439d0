// `medium library`: descriptions into the resources of _SETUP.DLL. Wrong
// descriptions are refused with the line and what to do; the documented
// example gives exactly the resources the launcher needs, read back with the
// launcher's own table parser; bitmaps and logo scripts are checked.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resmodule/langtable.h"
#include "tests/host/host_files.h"
#include "tools/lib/ltdesc.h"
#include "tools/medium/library.h"
#include "tools/medium/library_cli.h"
#include "tools/lib/library_encode.h"
#include "tools/lib/stringtable.h"
#include "tools/lib/textcodec.h"
#include "tools/lib/pe_image.h"

namespace {

using medium::ResEntry;
using medium::ResList;

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string ExampleDir() { return std::string(CORVANE_SOURCE_DIR) + "/docs/examples/library/"; }

struct Outcome {
    int code = -1;
    std::string messages;   // one per line
    ResList res;
};

// Parses and builds `text` as "lib.txt", its files taken from `files`.
Outcome Build(const std::string &text, const std::map<std::string, std::string> &files = {})
{
    Outcome o;
    std::vector<std::string> errors;
    medium::LibDescription desc;
    auto read = [&](const std::string &path, std::vector<uint8_t> *data, std::string *why) {
        auto it = files.find(path);
        if (it == files.end()) {
            *why = "No such file or directory";
            return false;
        }
        data->assign(it->second.begin(), it->second.end());
        return true;
    };
    if (!medium::ParseLibraryDescription("lib.txt", text, &desc, &errors))
        o.code = medium::kLibInvalid;
    else
        o.code = medium::BuildLibraryResources("lib.txt", "", desc, read, &o.res, &errors);
    for (const std::string &e : errors)
        o.messages += e + "\n";
    return o;
}

// One language with every text the launcher takes from a library.
std::string Language(const std::string &name, const std::string &lcids, const std::string &more = "")
{
    return "language " + name + "\n  lcid " + lcids + "\n" + more +
           "  7061 \"Script missing: %s\"\n  7062 \"Start failed\"\n  7110 \"Setup\"\n";
}

// --- descriptions that are refused ------------------------------------------

struct Refused {
    const char *name;
    std::string text;
    int code;
    const char *message;   // expected in the messages, with its "lib.txt:LINE: "
};

const std::string kOk = Language("English", "1033");

TEST(MediumLibrary, RefusesWrongDescriptionsNamingTheLine)
{
    const Refused cases[] = {
        {"NotInCodePage", "language Magyar\n  lcid 1038\n  7110 \"Telepítés\"\n  7062 \"Hibás ő\"\n",
         1, "lib.txt:4: language \"Magyar\", text 7062: code page 1252 cannot hold U+0151 'ő'"},
        {"TwoFormats", "language English\n  7061 \"Missing: %s or %s\"\n", 1,
         "lib.txt:2: language \"English\", text 7061: needs exactly one %s"},
        {"FormatNotS", "language English\n  7067 \"Bad quote: %d\"\n", 1,
         "lib.txt:2: language \"English\", text 7067: needs exactly one %s"},
        {"NoFormat", "language English\n  7061 \"Missing.\"\n", 1, "lib.txt:2: language \"English\", text 7061: needs"},
        {"PercentInAMessage", "language English\n  7062 \"100% failed\"\n", 1,
         "lib.txt:2: language \"English\", text 7062: a '%' would be read as a format"},
        {"MessageTooLong", "language English\n  7062 \"" + std::string(244, 'x') + "\"\n", 1,
         "lib.txt:2: language \"English\", text 7062: 244 characters in code page 1252"},
        {"CaptionTooLong", "language English\n  7110 \"" + std::string(80, 'x') + "\"\n", 1,
         "text 7110: 80 characters in code page 1252 (a \\n counts one); the launcher keeps 79"},
        {"TooLongAcrossContinuationLines",
         "language English\n  7062 \"" + std::string(200, 'x') + "\"\n\n  # more\n     \"" + std::string(44, 'y') + "\"\n",
         1, "lib.txt:2: language \"English\", text 7062: 244 characters"},
        {"DoubleByteCountsTwo",
         "language Japanese\n  codepage 932\n  7110 \"" + [] {
             std::string s;
             for (int i = 0; i < 40; i++)
                 s += "\xE6\x97\xA5";   // 日, two bytes in code page 932
             return s;
         }() + "\"\n",
         1, "lib.txt:3: language \"Japanese\", text 7110: 80 characters in code page 932"},
        {"UnknownDefault", "default Deutsch\n" + kOk, 1,
         "lib.txt:1: the default language \"Deutsch\" is not a language of this file"},
        {"PieceCountIsNotAText", "language English\n  7100 \"2\"\n", 1,
         "lib.txt:2: the payload piece counts belong to the launcher"},
        {"UnknownId", "language English\n  7000 \"x\"\n", 1, "lib.txt:2: 7000 is not a text of the library"},
        {"TextBeforeLanguage", "7110 \"Setup\"\n" + kOk, 1, "lib.txt:1: \"7110\" belongs to a language"},
        {"UnknownStatement", kOk + "  title \"x\"\n", 1, "lib.txt:6: unknown statement \"title\""},
        {"UnclosedQuote", "language English\n  7110 \"Setup\n", 1, "lib.txt:2: the quoted text has no closing \""},
        {"UnknownEscape", "language English\n  7110 \"C:\\Setup\"\n", 1, "lib.txt:2: unknown escape \\S"},
        {"ContinuationWithoutText", "language English\n  lcid 1033\n  \"stray\"\n", 1,
         "lib.txt:3: a quoted text with no id before it"},
        {"UnquotedText", "language English\n  7110 Setup\n", 1, "lib.txt:2: \"Setup\" is not in quotes"},
        {"TwiceInOneLanguage", kOk + "  7110 \"Again\"\n", 1,
         "lib.txt:6: language \"English\" gives 7110 twice (first on line 5)"},
        {"MissingInOneLanguage", kOk + "language Deutsch\n  lcid 1031\n  7061 \"Fehlt: %s\"\n  7110 \"Setup\"\n", 1,
         "lib.txt:6: language \"Deutsch\" has no text 7062 (\"English\" gives it on line 4)"},
        {"LcidTwice", kOk + Language("British", "2057, 1033"), 1,
         "lib.txt:7: language \"British\": locale id 1033 is listed already by \"English\""},
        {"BadLcid", "language English\n  lcid 1033, 20x57\n", 1, "lib.txt:2: \"20x57\" is not a locale id"},
        {"SameNameOtherCase", kOk + Language("ENGLISH", "2057"), 1,
         "lib.txt:6: language \"ENGLISH\" has the name of the language on line 1"},
        {"SameNameAccentedCapital", Language("Español", "3082") + Language("ESPAÑOL", "2058"), 1,
         "lib.txt:6: language \"ESPAÑOL\" has the name of the language on line 1"},
        {"NameWithSemicolon", Language("\"Eng;lish\"", "1033"), 1, "lib.txt:1: language \"Eng;lish\": the name may not"},
        {"NameTooLong", Language(std::string(52, 'N'), "1033"), 1, "the name has 52 characters; the launcher keeps 51"},
        {"NameNotInCodePage", Language("Ελληνικά", "1032"), 1, "lib.txt:1: language \"Ελληνικά\": code page 1252 cannot hold U+0395"},
        {"UnsupportedCodePage", Language("Chinese", "2052", "  codepage 437\n"), 1,
         "lib.txt:3: language \"Chinese\": code page 437 is not a Windows ANSI code page; give 874, 932, 936, 949, "
         "950 or 1250-1258"},
        // Each double-byte code page holds its own script only.
        {"HangulNotIn936", "language Chinese\n  codepage 936\n  7110 \"安装 한\"\n", 1,
         "lib.txt:3: language \"Chinese\", text 7110: code page 936 cannot hold U+D55C '한'"},
        {"SimplifiedNotIn950", "language Chinese\n  codepage 950\n  7110 \"安装\"\n", 1,
         "lib.txt:3: language \"Chinese\", text 7110: code page 950 cannot hold U+88C5 '装'"},
        {"ThaiNotIn949", "language Korean\n  codepage 949\n  7110 \"설치 ฿\"\n", 1,
         "lib.txt:3: language \"Korean\", text 7110: code page 949 cannot hold U+0E3F '฿'"},
        {"DoubleByteCountsTwoIn949",
         "language Korean\n  codepage 949\n  7110 \"" + [] {
             std::string s;
             for (int i = 0; i < 40; i++)
                 s += "\xED\x95\x9C";   // 한, two bytes in code page 949
             return s;
         }() + "\"\n",
         1, "lib.txt:3: language \"Korean\", text 7110: 80 characters in code page 949 (a \\n counts one, a "
            "double-byte character two)"},
        {"SplashTimeNotANumber", kOk + "  7111 \"two seconds\"\n", 1,
         "lib.txt:6: language \"English\", text 7111: the splash's minimum time is a number"},
        {"SplashTimeTooLong", kOk + "  7111 30001\n", 1, "text 7111: the splash's minimum time"},
        {"EmptyText", "language English\n  7062 \"\"\n", 1, "lib.txt:2: language \"English\", text 7062: empty"},
        {"MixedSplashKinds",
         Language("English", "1033", "  splash bitmap a.bmp\n") + Language("Deutsch", "1031", "  splash logo b.lgo\n"),
         1, "lib.txt:9: language \"Deutsch\" shows a logo script splash, line 3 a bitmap"},
        {"SplashWithoutFile", Language("English", "1033", "  splash bitmap\n"), 1,
         "lib.txt:3: write splash bitmap FILE.bmp"},
        {"SplashFileMissing", Language("English", "1033", "  splash logo nowhere.lgo\n"), medium::kLibUnreadable,
         "lib.txt:3: cannot read nowhere.lgo: No such file or directory"},
        {"NotUtf8", "language English\n  7110 \"Caf\xE9\"\n", 1, "lib.txt:2:12: byte 0xE9 is not UTF-8"},
        {"NoLanguage", "# nothing\ndefault English\n", 1, "no language"},
    };
    for (const Refused &c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = Build(c.text);
        EXPECT_EQ(o.code, c.code) << o.messages;
        EXPECT_NE(o.messages.find(c.message), std::string::npos) << o.messages;
        EXPECT_TRUE(o.res.empty());
    }
}

// One root cause, one error: a file saved in another encoding, a misspelled
// statement (a misspelled `language` would otherwise make each line of its
// block an error of its own).
TEST(MediumLibrary, OneRootCauseGivesOneError)
{
    const std::string english = "language English\n  lcid 1033\n  7061 \"Missing: %s\"\n  7110 \"Setup\"\n";
    const std::string japaneseBlock =
        "  lcid 1041\n  codepage 932\n  7061 \"\xE3\x82\xB9\xE3\x82\xAF: %s\"\n  7110 \"\xE3\x82\xBB\"\n"
        "         \"more\"\n";
    struct Case {
        const char *name;
        std::string text;
        const char *error;
    } cases[] = {
        // Shift-JIS: every Japanese line would have its own bad byte.
        {"ShiftJisFile", "language Japanese\n  codepage 932\n  7061 \"\x83\x58\x83\x4E: %s\"\n  7110 \"\x83\x5A\"\n",
         "lib.txt:3:9: byte 0x83 is not UTF-8 (the first such byte); the file is in another encoding: save it as UTF-8"},
        {"FirstLanguageMisspelled", "lanugage Japanese\n" + japaneseBlock + english,
         "lib.txt:1: unknown statement \"lanugage\", did you mean 'language'? (its lines up to the next language are "
         "not read)"},
        {"LaterLanguageMisspelled", english + "langauge Japanese\n" + japaneseBlock,
         "lib.txt:5: unknown statement \"langauge\", did you mean 'language'?"},
        {"MisspelledInALanguage", "language English\n  spalsh none\n  7110 \"Setup\"\n",
         "lib.txt:2: unknown statement \"spalsh\", did you mean 'splash'?; the statements are"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        medium::LibDescription desc;
        std::vector<std::string> errors;
        EXPECT_FALSE(medium::ParseLibraryDescription("lib.txt", c.text, &desc, &errors));
        ASSERT_EQ(errors.size(), 1u) << errors[0] << (errors.size() > 1 ? "\n" + errors[1] : "");
        EXPECT_EQ(errors[0].rfind(c.error, 0), 0u) << errors[0];
    }
}

TEST(MediumLibrary, AcceptsTheLimitsExactly)
{
    struct Case {
        const char *name;
        std::string text;
    };
    std::string jp;
    for (int i = 0; i < 39; i++)
        jp += "\xE6\x97\xA5";
    const Case cases[] = {
        {"Message243", "language English\n  7062 \"" + std::string(243, 'x') + "\"\n"},
        {"Caption79WithNewline", "language English\n  7110 \"" + std::string(77, 'x') + "\\nx\"\n"},
        {"DoubleByte78", "language Japanese\n  codepage 932\n  7110 \"" + jp + "\"\n"},
        {"CentralEuropeanInItsCodePage", "language Magyar\n  codepage 1250\n  7062 \"Hibás ő\"\n"},
        {"SimplifiedChinese", "language 简体中文\n  lcid 2052\n  codepage 936\n  7110 \"安装程序\"\n"},
        {"TraditionalChinese", "language 繁體中文\n  lcid 1028\n  codepage 950\n  7110 \"安裝程式\"\n"},
        {"Korean", "language 한국어\n  lcid 1042\n  codepage 949\n  7110 \"설치 프로그램\"\n"},
        {"SplashTime30000", "language English\n  7111 \"30000\"\n"},
        {"HexLcidAndNoLcid", "language English\n  lcid 0x409\nlanguage Other\n"},
        {"Name51", Language(std::string(51, 'N'), "1033")},
        {"BomAndCrLf", "\xEF\xBB\xBFlanguage English\r\n  7110 \"Setup\" # caption\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = Build(c.text);
        EXPECT_EQ(o.code, 0) << o.messages;
    }
}

// --- the documented example --------------------------------------------------

std::map<std::string, std::string> ExampleFiles()
{
    return {{ExampleDir() + "english.lgo", ReadAll(ExampleDir() + "english.lgo")},
            {ExampleDir() + "spanish.lgo", ReadAll(ExampleDir() + "spanish.lgo")}};
}

Outcome BuildExample()
{
    Outcome o;
    std::vector<std::string> errors;
    medium::LibDescription desc;
    auto files = ExampleFiles();
    auto read = [&](const std::string &path, std::vector<uint8_t> *data, std::string *why) {
        auto it = files.find(path);
        if (it == files.end()) {
            *why = "missing";
            return false;
        }
        data->assign(it->second.begin(), it->second.end());
        return true;
    };
    if (!medium::ParseLibraryDescription("library.txt", ReadAll(ExampleDir() + "library.txt"), &desc, &errors))
        o.code = 1;
    else
        o.code = medium::BuildLibraryResources("library.txt", ExampleDir(), desc, read, &o.res, &errors);
    for (const std::string &e : errors)
        o.messages += e + "\n";
    return o;
}

const ResEntry *Find(const ResList &res, uint16_t type, uint16_t name)
{
    for (const ResEntry &e : res)
        if (!e.type.named && !e.name.named && e.type.id == type && e.name.id == name)
            return &e;
    return nullptr;
}

// The text of string `id` from its block, as LoadString finds it.
std::u16string StringOf(const ResList &res, uint16_t id)
{
    const ResEntry *block = Find(res, medium::kRtString, (uint16_t)(id / 16 + 1));
    if (!block)
        return u"(no block)";
    size_t at = 0;
    const std::vector<uint8_t> &d = block->data;
    for (unsigned i = 0; i < 16; i++) {
        if (d.size() - at < 2)
            return u"(cut)";
        size_t n = d[at] | (d[at + 1] << 8);
        at += 2;
        if ((d.size() - at) / 2 < n)
            return u"(cut)";
        std::u16string s;
        for (size_t k = 0; k < n; k++)
            s.push_back((char16_t)(d[at + 2 * k] | (d[at + 2 * k + 1] << 8)));
        at += 2 * n;
        if (i == id % 16)
            return s;
    }
    return u"";
}

TEST(MediumLibrary, TheDocumentedExampleGivesExactlyItsResources)
{
    Outcome o = BuildExample();
    ASSERT_EQ(o.code, 0) << o.messages;

    struct Want {
        uint16_t type, name, lang;
    };
    // English 1061-1068 (block 67), 1110-1111 (70); Spanish 2061-2063 (129),
    // 2064-2068 (130), 2110-2111 (132); the two logo scripts; the table.
    const Want want[] = {{6, 67, 0x0409},  {6, 70, 0x0409},  {6, 129, 0x0C0A}, {6, 130, 0x0C0A},
                         {6, 132, 0x0C0A}, {1001, 100, 0}, {1001, 1520, 0},  {1001, 2520, 0}};
    ASSERT_EQ(o.res.size(), sizeof want / sizeof want[0]);
    for (size_t i = 0; i < o.res.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(o.res[i].type.id, want[i].type);
        EXPECT_EQ(o.res[i].name.id, want[i].name);
        EXPECT_EQ(o.res[i].lang, want[i].lang);
        EXPECT_FALSE(o.res[i].type.named || o.res[i].name.named);
    }

    EXPECT_EQ(StringOf(o.res, 1110), u"Example Setup");
    EXPECT_EQ(StringOf(o.res, 2110), u"Instalación de Example");
    EXPECT_EQ(StringOf(o.res, 2111), u"2000");
    EXPECT_EQ(StringOf(o.res, 1067), u"A quoted argument on the command line has no closing quote:\n\n%s");
    EXPECT_EQ(StringOf(o.res, 1060), u"");   // the block's other places stay empty
    const std::u16string joined = StringOf(o.res, 1061);
    EXPECT_NE(joined.find(u"%s\n\nMake sure"), std::u16string::npos);

    // The logo scripts in code page 1252 ("ó" is one byte, F3).
    const ResEntry *spanishLogo = Find(o.res, 1001, 2520);
    ASSERT_NE(spanishLogo, nullptr);
    const std::string logo(spanishLogo->data.begin(), spanishLogo->data.end());
    EXPECT_NE(logo.find("<Arial,40>Instalaci\xF3n de Example\n"), std::string::npos);

    // The table, read with the launcher's own parser.
    const ResEntry *tableRes = Find(o.res, 1001, 100);
    ASSERT_NE(tableRes, nullptr);
    LangTable *table = LangTableCreate("x", 8);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(LangTableParse(table, tableRes->data.data(), (uint32_t)tableRes->data.size()), 1);
    EXPECT_EQ(LangTableSplashType(table), 5);
    char name[256] = "";
    ASSERT_EQ(LangTableDefaultName(table, name, sizeof name), 1);
    EXPECT_STREQ(name, "English");
    struct Pick {
        const char *lcid;
        const char *language;   // "" when none lists it
    };
    const Pick picks[] = {{"1033", "English"}, {"2057", "English"}, {"3082", "Espa\xF1ol"},
                          {"11274", "Espa\xF1ol"}, {"1031", ""}};
    for (const Pick &p : picks) {
        SCOPED_TRACE(p.lcid);
        LangTableMatchLcid(table, p.lcid, name, sizeof name);
        EXPECT_STREQ(name, p.language);
    }
    ASSERT_EQ(LangTableSelect(table, "Espa\xF1ol"), 1);
    const struct {
        const char *name;
        int kind;
        const char *value;
    } lookups[] = {{"7061", 1, "2061"}, {"7068", 1, "2068"}, {"7110", 1, "2110"}, {"7111", 1, "2111"},
                   {"SPLASH", 6, "LOGO"}, {"LOGO", 5, "2520"}};
    for (const auto &l : lookups) {
        SCOPED_TRACE(l.name);
        char value[256] = "";
        ASSERT_EQ(LangTableLookup(table, l.name, l.kind, value, sizeof value), 1);
        EXPECT_STREQ(value, l.value);
    }
    char value[256] = "";
    EXPECT_EQ(LangTableLookup(table, "7100", 1, value, sizeof value), 0);   // the piece count stays the launcher's
    EXPECT_EQ(LangTableLookup(table, "7500", 2, value, sizeof value), 0);
    LangTableClose(table);

    // The same inputs, the same resources.
    Outcome again = BuildExample();
    ASSERT_EQ(again.code, 0);
    ASSERT_EQ(again.res.size(), o.res.size());
    for (size_t i = 0; i < o.res.size(); i++)
        EXPECT_EQ(again.res[i].data, o.res[i].data) << i;
}

// The reference page shows the example files as they are.
TEST(MediumLibrary, TheReferencePageShowsTheExampleFiles)
{
    const std::string page = ReadAll(std::string(CORVANE_SOURCE_DIR) + "/docs/medium-library.md");
    ASSERT_FALSE(page.empty());
    for (const char *file : {"library.txt", "english.lgo", "spanish.lgo"}) {
        SCOPED_TRACE(file);
        const std::string marker = std::string("<!-- example: ") + file + " -->\n```\n";
        size_t at = page.find(marker);
        ASSERT_NE(at, std::string::npos);
        at += marker.size();
        size_t end = page.find("```\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(page.substr(at, end - at), ReadAll(ExampleDir() + file));
    }
}

// A language without a splash, beside one with a bitmap: its SPLASH value
// names no entry, so the launcher shows nothing for it; two languages with
// the same picture share one resource.
TEST(MediumLibrary, SplashPerLanguage)
{
    // A 2 x 1 picture, 24 bits per pixel.
    std::string bmp = std::string("BM") + std::string("\x3E\0\0\0\0\0\0\0\x36\0\0\0", 12) +
                      std::string("\x28\0\0\0\x02\0\0\0\x01\0\0\0\x01\0\x18\0", 16) + std::string(24, '\0') +
                      std::string("\x01\x02\x03\x04\x05\x06\0\0", 8);
    const std::string text = Language("English", "1033", "  splash bitmap pic.bmp\n") +
                             Language("British", "2057", "  splash bitmap pic.bmp\n") +
                             Language("Deutsch", "1031", "  splash none\n");
    Outcome o = Build(text, {{"pic.bmp", bmp}});
    ASSERT_EQ(o.code, 0) << o.messages;
    const ResEntry *pic = Find(o.res, medium::kRtBitmap, 1510);
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->data, std::vector<uint8_t>(bmp.begin() + 14, bmp.end()));
    EXPECT_EQ(Find(o.res, medium::kRtBitmap, 2510), nullptr);

    const ResEntry *t = Find(o.res, 1001, 100);
    ASSERT_NE(t, nullptr);
    // The same bytes as the langtable compiler gives for this description.
    lt::Table want;
    std::vector<std::string> errors, warnings;
    ASSERT_TRUE(lt::ParseDescription("splash 4\n"
                                     "language English lcid \"1033\"\n"
                                     "language British lcid \"2057\"\n"
                                     "language Deutsch lcid \"1031\"\n"
                                     "entry 7061 string 1061 2061 3061\n"
                                     "entry 7062 string 1062 2062 3062\n"
                                     "entry 7110 string 1110 2110 3110\n"
                                     "entry SPLASH 6 \"LOGO\" \"LOGO\" \"NONE\"\n"
                                     "entry LOGO bitmap 1510 1510 0\n",
                                     &want, &errors, &warnings));
    EXPECT_EQ(t->data, lt::Encode(want));
}

// --- pieces ------------------------------------------------------------------

TEST(MediumLibrary, StringBlockHoldsSixteenCountedTexts)
{
    std::u16string texts[16];
    texts[1] = u"Hi";
    texts[15] = u"é";
    const std::vector<uint8_t> want = {0, 0, 2, 0, 'H', 0, 'i', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                       0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0xE9, 0};
    EXPECT_EQ(tk::EncodeStringBlock(texts), want);

    ResList res;
    tk::AddStringTables({{31, u"a"}, {16, u"b"}, {1, u"c"}}, 0x409, &res);
    ASSERT_EQ(res.size(), 2u);
    EXPECT_EQ(res[0].name.id, 1);   // ids 0-15
    EXPECT_EQ(res[1].name.id, 2);   // ids 16-31
    EXPECT_EQ(res[1].data.size(), 2u * 16 + 4);
}

// A BMP file, field by field.
struct Bmp {
    int32_t width = 3, height = 2;
    uint16_t bits = 24;
    uint32_t headerSize = 40, compression = 0, used = 0, imageSize = 0;
    uint32_t palette = 0;      // colour table entries written
    uint32_t gap = 0;          // bytes between colour table and pixels
    int32_t sizeDelta = 0;     // added to the size field
    int32_t pixelsDelta = 0;   // added to the pixel bytes written
    std::string Bytes() const
    {
        std::string h;
        auto u16 = [&](uint32_t v) { h += (char)(v & 0xFF); h += (char)(v >> 8 & 0xFF); };
        auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
        const uint32_t stride = ((uint32_t)width * bits + 31) / 32 * 4;
        const uint32_t pixels = (uint32_t)((int64_t)stride * (height < 0 ? -height : height) + pixelsDelta);
        const uint32_t off = 14 + headerSize + palette * 4 + gap;
        u16(0x4D42);
        u32(off + pixels + (uint32_t)sizeDelta);
        u32(0);
        u32(off);
        u32(headerSize);
        u32((uint32_t)width);
        u32((uint32_t)height);
        u16(1);
        u16(bits);
        u32(compression);
        u32(imageSize);
        u32(2835);
        u32(2835);
        u32(used);
        u32(0);
        h += std::string(headerSize - 40, '\0');
        for (uint32_t i = 0; i < palette; i++)
            u32(0x00112233 + i);
        h += std::string(gap, '\x7F');
        for (uint32_t i = 0; i < pixels; i++)
            h += (char)(i * 7);
        return h;
    }
};

TEST(MediumLibrary, BitmapsThatLieAreRefused)
{
    struct Case {
        const char *name;
        Bmp bmp;
        const char *why;   // "" when accepted
    };
    auto with = [](auto change) {
        Bmp b;
        change(b);
        return b;
    };
    const Case cases[] = {
        {"Plain24", Bmp(), ""},
        {"TopDown", with([](Bmp &b) { b.height = -2; }), ""},
        {"Palette8", with([](Bmp &b) { b.bits = 8, b.palette = 256; }), ""},
        {"ShortPalette", with([](Bmp &b) { b.bits = 8, b.palette = 2, b.used = 2; }), ""},
        {"V5Header", with([](Bmp &b) { b.headerSize = 124; }), ""},
        {"SizeFieldTooLarge", with([](Bmp &b) { b.sizeDelta = 10; }), "the header says the file holds"},
        {"PixelsCut", with([](Bmp &b) { b.pixelsDelta = -4, b.sizeDelta = 0; }), "the pixels need 24 bytes"},
        {"NoWidth", with([](Bmp &b) { b.width = 0; }), "0 x 2 pixels"},
        {"Huge", with([](Bmp &b) { b.width = 5000, b.height = 1; }), "5000 x 1 pixels"},
        {"OddDepth", with([](Bmp &b) { b.bits = 7; }), "7 bits per pixel"},
        {"Jpeg", with([](Bmp &b) { b.compression = 4; }), "compression 4"},
        {"PaletteTooLarge", with([](Bmp &b) { b.bits = 4, b.used = 17, b.palette = 16; }), "17 palette colours"},
        {"PaletteMissing", with([](Bmp &b) { b.bits = 8, b.palette = 0; }), "the pixel data is said to start"},
        {"UnknownHeader", with([](Bmp &b) { b.headerSize = 64; }), "unknown bitmap header of 64 bytes"},
        {"RleWithoutSize", with([](Bmp &b) { b.bits = 8, b.palette = 256, b.compression = 1; }), "no image size"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = c.bmp.Bytes();
        std::vector<uint8_t> dib;
        std::string why;
        bool ok = medium::BmpToResource(std::vector<uint8_t>(bytes.begin(), bytes.end()), &dib, &why);
        if (c.why[0] == '\0') {
            EXPECT_TRUE(ok) << why;
            EXPECT_EQ(dib, std::vector<uint8_t>(bytes.begin() + 14, bytes.end()));
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(why.find(c.why), std::string::npos) << why;
        }
    }
    // Not a BMP at all, and a file that ends in its header.
    std::vector<uint8_t> dib;
    std::string why;
    EXPECT_FALSE(medium::BmpToResource({'P', 'N', 'G', 0}, &dib, &why));
    EXPECT_NE(why.find("not a BMP file"), std::string::npos);
    const std::string cut = Bmp().Bytes().substr(0, 30);
    EXPECT_FALSE(medium::BmpToResource(std::vector<uint8_t>(cut.begin(), cut.end()), &dib, &why));
}

// The loader expects the pixels right behind the colour table: a gap in the
// file is left out of the resource.
TEST(MediumLibrary, BitmapPixelsMoveBehindTheColourTable)
{
    Bmp b;
    b.bits = 8;
    b.palette = 256;
    b.gap = 6;
    const std::string bytes = b.Bytes();
    std::vector<uint8_t> dib;
    std::string why;
    ASSERT_TRUE(medium::BmpToResource(std::vector<uint8_t>(bytes.begin(), bytes.end()), &dib, &why)) << why;
    std::string want = bytes.substr(14, 40 + 1024) + bytes.substr(14 + 40 + 1024 + 6);
    EXPECT_EQ(std::string(dib.begin(), dib.end()), want);
}

TEST(MediumLibrary, LogoScriptsAreCheckedAsTheLauncherReadsThem)
{
    struct Case {
        const char *name;
        std::string script;
        uint32_t codePage;
        const char *problem;   // "" for none; else "LINE: text"
    };
    std::string jp50;
    for (int i = 0; i < 50; i++)
        jp50 += "\x93\xFA";   // 日 in code page 932
    const Case cases[] = {
        {"Sound", "#background=1,2,3\n#text=4<5>6\n#raised\n# a comment\n<Arial,-18>Hi\n\nplain\n", 1252, ""},
        {"LineTooLong", "ok\n" + std::string(261, 'x') + "\n", 1252, "2: the line is 261 bytes long"},
        {"TextTooLong", "<Arial,20>" + std::string(100, 'x') + "\n", 1252, "1: the text is 100 characters long"},
        {"Text99", "<Arial,20>" + std::string(99, 'x') + "\n", 1252, ""},
        {"DoubleByteText", "<MS Gothic,20>" + jp50 + "\n", 932, "1: the text is 100 characters long"},
        {"FaceTooLong", "<" + std::string(32, 'F') + ",20>x\n", 1252, "1: the font face"},
        {"NoComma", "x\n<Arial 20>x\n", 1252, "2: a line starting with '<' sets a font"},
        {"NoClose", "<Arial,20\n", 1252, "1: a line starting with '<' sets a font"},
        {"SizeNotANumber", "<Arial,big>x\n", 1252, "1: the font size is not a number"},
        {"ColourCut", "#background=1,2\nx\n", 1252, "1: a colour needs three numbers"},
        {"ColourTooLarge", "#text=300,0,0\nx\n", 1252, "1: a colour needs three numbers"},
        {"BlankAfterKeyword", "#background =1,2,3\nx\n", 1252, "1: the blank after #background makes the line a comment"},
        {"NoText", "#raised\n# only directives\n", 1252, "0: the script has no line of text"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto found = medium::CheckLogoScript(c.script, c.codePage);
        if (c.problem[0] == '\0') {
            EXPECT_TRUE(found.empty()) << found[0].second;
            continue;
        }
        ASSERT_FALSE(found.empty());
        const std::string got = std::to_string(found[0].first) + ": " + found[0].second;
        EXPECT_EQ(got.compare(0, strlen(c.problem), c.problem), 0) << got;
    }
}

}  // namespace

TEST(MediumLibrary, Utf8IsDecodedStrictly)
{
    struct Case {
        const char *name;
        std::string text;
        bool ok;
        size_t badOffset;
    };
    const Case cases[] = {
        {"Mixed", "a\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80", true, 0},
        {"Overlong", "ab\xC0\xAF", false, 2},
        {"Surrogate", "\xED\xA0\x80", false, 0},
        {"PastTheLast", "x\xF4\x90\x80\x80", false, 1},
        {"Cut", "xy\xE2\x82", false, 2},
        {"LoneContinuation", "\x80", false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> points;
        size_t bad = 99;
        EXPECT_EQ(tk::Utf8Decode(c.text, &points, &bad), c.ok);
        if (!c.ok)
            EXPECT_EQ(bad, c.badOffset);
    }
    // Beyond the first plane: a surrogate pair in the string table, and no
    // ANSI code page holds it.
    EXPECT_EQ(tk::Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
    std::string out;
    uint32_t bad = 0;
    EXPECT_FALSE(tk::ToCodePage("ok \xF0\x9F\x98\x80", 1252, &out, &bad));
    EXPECT_EQ(bad, 0x1F600u);
    EXPECT_TRUE(tk::ToCodePage("\xE2\x82\xAC \xC3\xB1", 1252, &out, &bad));
    EXPECT_EQ(out, "\x80 \xF1");
    EXPECT_TRUE(tk::ToCodePage("\xE6\x97\xA5\xEF\xBD\xB1", 932, &out, &bad));   // 日, half-width ｱ
    EXPECT_EQ(out, "\x93\xFA\xB1");
}

// --- the command -------------------------------------------------------------

namespace {

struct Ran {
    int code;
    std::string out, err;
};

Ran RunCommand(const std::vector<std::string> &args)
{
    FILE *out = tmpfile();
    FILE *err = tmpfile();
    Ran r;
    r.code = medium::RunLibraryCommand(args, out, err);
    r.out = ReadBackAndClose(out);
    r.err = ReadBackAndClose(err);
    return r;
}

std::vector<std::string> Names(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Put(const std::string &path, const std::string &data)
{
    std::ofstream f(path, std::ios::binary);
    f << data;
}

}  // namespace

// Exit codes are the medium tool's: 1 for any input (unreadable ones too), 3
// only for the output. A failed run leaves the old output as
// it was and no temporary file beside it.
TEST(MediumLibraryCommand, ExitCodesAndNothingHalfWritten)
{
    char tmpl[] = "/tmp/medlib-cli-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = std::string(tmpl) + "/";
    const std::string out = dir + "_SETUP.DLL";
    Put(out, "old");
    Put(dir + "bad.txt", "language English\n  7062 \"50% done\"\n");
    Put(dir + "nofile.txt", "language English\n  splash bitmap missing.bmp\n");
    Put(dir + "good.txt", "language English\n  lcid 1033\n  splash logo logo.lgo\n  7110 \"Setup\"\n");
    Put(dir + "logo.lgo", "<Arial,30>Setup\n");

    struct Case {
        const char *name;
        std::vector<std::string> args;
        int code;
        const char *err;
    };
    const Case cases[] = {
        {"NoOutput", {dir + "good.txt"}, 64, "no output given"},
        {"NoInput", {"-o", out}, 64, "no description given"},
        {"UnknownOption", {dir + "good.txt", "-o", out, "--fast"}, 64, "unknown option --fast"},
        {"TwoInputs", {dir + "good.txt", dir + "bad.txt", "-o", out}, 64, "one description only"},
        {"BadText", {dir + "bad.txt", "-o", out}, 1, "bad.txt:2: language \"English\", text 7062: a '%'"},
        {"MissingPicture", {dir + "nofile.txt", "-o", out}, 1, "nofile.txt:2: cannot read "},
        {"MissingDescription", {dir + "none.txt", "-o", out}, 1, "none.txt: cannot read the description"},
        {"OutputFolderIsAFile", {dir + "good.txt", "-o", dir + "good.txt/sub/_SETUP.DLL"}, 3,
         "cannot create its folder (exists and is not a folder)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Ran r = RunCommand(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_EQ(ReadAll(out), "old");
        EXPECT_EQ(Names(dir), (std::vector<std::string>{"_SETUP.DLL", "bad.txt", "good.txt", "logo.lgo", "nofile.txt"}));
    }

    // A missing output folder is made, as `medium build` makes its --out.
    Ran made = RunCommand({dir + "good.txt", "-o", dir + "new/deeper/_SETUP.DLL"});
    EXPECT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(ReadAll(dir + "new/deeper/_SETUP.DLL").compare(0, 2, "MZ"), 0);
    EXPECT_EQ(system(("rm -rf '" + dir + "new'").c_str()), 0);

    Ran r = RunCommand({dir + "good.txt", "-o", out});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.compare(0, out.size() + 2, out + ": "), 0) << r.out;
    const std::string first = ReadAll(out);
    EXPECT_EQ(first.compare(0, 2, "MZ"), 0);

    // The library holds the resources, read back from the image.
    medium::ResList res;
    std::string error;
    ASSERT_TRUE(medium::ReadResources((const uint8_t *)first.data(), first.size(), &res, &error)) << error;
    EXPECT_NE(Find(res, 1001, 100), nullptr);
    EXPECT_NE(Find(res, 1001, 1520), nullptr);
    EXPECT_EQ(StringOf(res, 1110), u"Setup");

    // Byte for byte the same on a second run.
    ASSERT_EQ(RunCommand({dir + "good.txt", "-o", out}).code, 0);
    EXPECT_EQ(ReadAll(out), first);
    for (const std::string &n : Names(dir))
        unlink((dir + n).c_str());
    rmdir(tmpl);
}

// --define NAME=VALUE: ${NAME} in the description (never in its comments);
// $${ is the characters ${. Without --define the text is read as written.
TEST(MediumLibraryCommand, DefinesFillTheDescription)
{
    char tmpl[] = "/tmp/medlib-define-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = std::string(tmpl) + "/";
    const std::string out = dir + "_SETUP.DLL";
    Put(dir + "lib.txt", "# ${undefined} in a comment\nlanguage English\n"
                         "  7110 \"${product} $${x} Setup # ${v}\"   # ${undefined}\n");
    struct Case {
        const char *name;
        std::vector<std::string> defines;
        int code;
        const char16_t *caption;   // when written
        const char *err;           // a part of stderr when refused
    };
    const Case cases[] = {
        {"Defined", {"--define", "product=Example", "--define=v=3.1 beta"}, 0, u"Example ${x} Setup # 3.1 beta", ""},
        {"LaterWins", {"--define", "product=A", "--define", "v=1", "--define", "product=B"}, 0, u"B ${x} Setup # 1",
         ""},
        {"EmptyValue", {"--define", "product=", "--define", "v="}, 0, u" ${x} Setup # ", ""},
        {"QuoteAndBackslashStayText", {"--define", "product=Say \"hi\" \\n", "--define", "v=#"}, 0,
         u"Say \"hi\" \\n ${x} Setup # #", ""},
        {"Unknown", {"--define", "prodcut=Example", "--define", "v=1"}, 1, nullptr,
         "lib.txt:3:9: ${product} is not defined, did you mean 'prodcut'?; give it with --define NAME=VALUE, or "
         "write $${ for the characters ${"},
        {"BadName", {"--define", "1x=y"}, 64, nullptr, "--define '1x=y' is not NAME=VALUE"},
        {"NoEquals", {"--define", "product"}, 64, nullptr, "--define 'product' is not NAME=VALUE"},
        {"NoValue", {"--define"}, 64, nullptr, "--define takes NAME=VALUE"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unlink(out.c_str());
        std::vector<std::string> args = {dir + "lib.txt", "-o", out};
        args.insert(args.end(), c.defines.begin(), c.defines.end());
        Ran r = RunCommand(args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        if (!c.caption) {
            EXPECT_EQ(Names(dir), (std::vector<std::string>{"lib.txt"})) << "nothing written";
            continue;
        }
        const std::string image = ReadAll(out);
        medium::ResList res;
        std::string error;
        ASSERT_TRUE(medium::ReadResources((const uint8_t *)image.data(), image.size(), &res, &error)) << error;
        EXPECT_EQ(StringOf(res, 1110), c.caption);
    }
    Ran plain = RunCommand({dir + "lib.txt", "-o", out});
    EXPECT_EQ(plain.code, 0) << plain.err;
    // A backslash before ${ escapes the '$' (an escape the description does
    // not have): refused as written, never a value glued to a backslash
    // ("C:\${d}" with d=new is not "C:" and a line break).
    unlink(out.c_str());
    Put(dir + "escaped.txt", "language English\n  7110 \"C:\\${d}\"\n");
    Ran escaped = RunCommand({dir + "escaped.txt", "-o", out, "--define", "d=new"});
    EXPECT_EQ(escaped.code, 1) << escaped.err;
    EXPECT_NE(escaped.err.find("unknown escape \\$"), std::string::npos) << escaped.err;
    EXPECT_NE(access(out.c_str(), F_OK), 0);
    EXPECT_EQ(system(("rm -rf '" + std::string(tmpl) + "'").c_str()), 0);
}
