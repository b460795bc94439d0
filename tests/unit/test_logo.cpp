// Logo scripts: lines of a file into LogoLine records.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "splash/logo.h"
#include "splash/splash_state.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Each test reads scripts from files of its own directory, through the same
// g_splash fields that the splash dialog uses.
class Logo : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_splash;
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("corvane-logo-" + std::to_string(random()));
        fs::create_directories(dir_);
        logoPath_[0] = '\0';
        sourceDir_[0] = '\0';
        g_splash.logoPath = logoPath_;
        g_splash.sourceDir = sourceDir_;
    }
    void TearDown() override
    {
        g_splash = saved_;
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string Write(const std::string &name, const std::string &content)
    {
        std::string path = (dir_ / name).string();
        FILE *f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr) << path;
        if (f) {
            fwrite(content.data(), 1, content.size(), f);
            fclose(f);
        }
        return path;
    }

    void UseLogoFile(const std::string &path) { TextCopy(logoPath_, sizeof logoPath_, path.c_str()); }

    // The records of a script, copied out; the list is freed.
    std::vector<LogoLine> Read(const std::string &content, bool *ok = nullptr)
    {
        UseLogoFile(Write("logo.lgo", content));
        OrderedList *lines = LogoRead();
        if (ok)
            *ok = lines != nullptr;
        EXPECT_NE(lines, nullptr);
        std::vector<LogoLine> out;
        for (void *r = ListFirst(lines); r; r = ListNext(lines))
            out.push_back(*(const LogoLine *)r);
        LogoFree(lines);
        return out;
    }

    // The raw lines of a file, as LogoRead splits them.
    std::vector<std::string> RawLines(const std::string &content)
    {
        std::string path = Write("raw.lgo", content);
        InputFile *f = InputFileOpen(path.c_str());
        EXPECT_NE(f, nullptr);
        std::vector<std::string> out;
        if (!f)
            return out;
        OrderedList *raw = ListCreate(kListItemText);
        EXPECT_EQ(LogoReadLines(f, raw), 1);
        InputFileClose(f);
        for (void *line = ListFirst(raw); line; line = ListNext(raw))
            out.push_back((const char *)line);
        ListDestroy(raw);
        return out;
    }

    fs::path dir_;
    char logoPath_[kPathBuffer];
    char sourceDir_[kSplashDirBuffer];
    SplashState saved_;
};

using Lines = std::vector<std::string>;

struct LineCase {
    const char *line;
    int kind;
    const char *text;
    const char *face;
    int size;
    uint32_t textColor;
    uint32_t backColor;
};

constexpr uint32_t W = kLogoWhite;
constexpr int kUntouched = 77;   // a g_splash.raised that the parser must leave alone
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

const LineCase kLineCases[] = {
    // line                      kind             text            face      size textColor          backColor
    {"#background=0,0,128",      LOGO_BACKGROUND, "",             "",       -1, 0,                 Rgb(0, 0, 128)},
    {"#BACKGROUND=255,255,0",    LOGO_BACKGROUND, "",             "",       -1, 0,                 Rgb(255, 255, 0)},
    {"#background = 0,0,128",    LOGO_IGNORED,    "",             "",       -1, 0,                 W},
    {"#background,10,20,30",     LOGO_BACKGROUND, "",             "",       -1, 0,                 Rgb(10, 20, 30)},
    {"#text=255,0",              LOGO_TEXTCOLOR,  "",             "",       -1, 0,                 W},
    {"#background",              LOGO_BACKGROUND, "",             "",       -1, 0,                 W},
    {"#text=10 20 30",           LOGO_TEXTCOLOR,  "",             "",       -1, 0,                 W},
    {"#raised=no",               LOGO_RAISED,     "",             "",       -1, 0,                 W},
    {"#comment",                 LOGO_IGNORED,    "",             "",       -1, 0,                 W},
    {"#",                        LOGO_IGNORED,    "",             "",       -1, 0,                 W},
    {"Hello, world",             LOGO_TEXT,       "Hello, world", "",       -1, 0,                 0},
    {"",                         LOGO_TEXT,       " ",            "",       -1, 0,                 0},
    {"<Arial,24>Hello",          LOGO_TEXT,       "Hello",        "Arial",  24, 0,                 0},
    {"<Arial,24>",               LOGO_TEXT,       "",             "Arial",  24, 0,                 0},
    {"<Arial,24",                LOGO_TEXT,       "",             "Arial",  24, 0,                 0},
    {"<Arial>Hello",             LOGO_TEXT,       "",             "Arial",  -1, 0,                 0},
    {"<Arial,24>>Hi",            LOGO_TEXT,       ">Hi",          "Arial",  24, 0,                 0},
    {"< Arial ,24>Hi",           LOGO_TEXT,       "Hi",           " Arial ", 24, 0,                0},
    // More of the same rules.
    {"#text=1,2,",               LOGO_TEXTCOLOR,  "",             "",       -1, Rgb(1, 2, 0),      W},
    {"#Text= 10, 20 ,30",        LOGO_TEXTCOLOR,  "",             "",       -1, Rgb(10, 20, 30),   W},
    {"#background=300,-1,256",   LOGO_BACKGROUND, "",             "",       -1, 0,                 Rgb(44, 255, 0)},
    {"#background=1,>,3",        LOGO_BACKGROUND, "",             "",       -1, 0,                 Rgb(1, 0, 3)},
    {"#text=1,2,3,4",            LOGO_TEXTCOLOR,  "",             "",       -1, Rgb(1, 2, 3),      W},
    {"#raised",                  LOGO_RAISED,     "",             "",       -1, 0,                 W},
    {"#texts=1,2,3",             LOGO_IGNORED,    "",             "",       -1, 0,                 W},
    {"Hello # not a directive",  LOGO_TEXT,       "Hello # not a directive", "", -1, 0,          0},
    {"=5,6>x",                   LOGO_TEXT,       "=5,6>x",       "",       -1, 0,                 0},
    {"<Arial,abc>Hi",            LOGO_TEXT,       "Hi",           "Arial",  0,  0,                 0},
    {"<Arial,-12>Hi, there",     LOGO_TEXT,       "Hi, there",    "Arial",  -12, 0,                0},
    {"<,24>Hi",                  LOGO_TEXT,       "",             ",",      -1, 0,                 0},
    {"<",                        LOGO_TEXT,       "",             "",       -1, 0,                 0},
    {"<Arial,",                  LOGO_TEXT,       "",             "Arial",  0,  0,                 0},
    {"\t<Arial,24>Hi",           LOGO_TEXT,       "\t<Arial,24>Hi", "",     -1, 0,                 0},
};

TEST_F(Logo, LinesOfTheFile)
{
    for (const LineCase &c : kLineCases) {
        SCOPED_TRACE(c.line);
        g_splash.raised = kUntouched;
        std::vector<LogoLine> records = Read(std::string(c.line) + "\n");
        ASSERT_EQ(records.size(), 1u);
        const LogoLine &r = records[0];
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_STREQ(r.text, c.text);
        EXPECT_STREQ(r.face, c.face);
        EXPECT_EQ(r.size, c.size);
        EXPECT_EQ(r.textColor, c.textColor);
        EXPECT_EQ(r.backColor, c.backColor);
        EXPECT_EQ(r.width, 0);
        EXPECT_EQ(r.height, 0);
        // The parser returns the directive in the record; the splash
        // record is the Windows side's to set.
        EXPECT_EQ(g_splash.raised, kUntouched);
    }
    g_splash.raised = 0;
}

TEST_F(Logo, ScriptKeepsEveryRecordInOrder)
{
    // Both "text" directives are recorded; the measuring applies them in order,
    // so the later one wins for every line.
    std::vector<LogoLine> r = Read(
        "#text=255,0,0\n"
        "<Arial,24>First\n"
        "Second\n"
        "#text=0,0,255\n"
        "#raised\n");
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].kind, LOGO_TEXTCOLOR);
    EXPECT_EQ(r[0].textColor, Rgb(255, 0, 0));
    EXPECT_EQ(r[1].kind, LOGO_TEXT);
    EXPECT_STREQ(r[1].text, "First");
    EXPECT_EQ(r[1].size, 24);
    EXPECT_EQ(r[2].kind, LOGO_TEXT);
    EXPECT_STREQ(r[2].text, "Second");
    EXPECT_EQ(r[2].size, kLogoNoSize);   // keeps the font of the line above
    EXPECT_EQ(r[3].kind, LOGO_TEXTCOLOR);
    EXPECT_EQ(r[3].textColor, Rgb(0, 0, 255));
    EXPECT_EQ(r[4].kind, LOGO_RAISED);
}

TEST_F(Logo, EmptyLinesBecomeOneSpace)
{
    EXPECT_EQ(RawLines("a\n\n\r\nb"), (Lines{"a", " ", " ", "b"}));
    EXPECT_EQ(RawLines("\n"), (Lines{" "}));
    EXPECT_EQ(RawLines("a\rb\n"), (Lines{"a"}));   // cut at the first CR
    EXPECT_EQ(RawLines(""), (Lines{}));
}

TEST_F(Logo, LongLinesAreReadAsSeveralLines)
{
    const std::string x260(260, 'x');
    EXPECT_EQ(RawLines(std::string(600, 'x') + "\nend\n"),
              (Lines{x260, x260, std::string(80, 'x'), "end"}));
    EXPECT_EQ(RawLines(x260 + "y\n"), (Lines{x260, "y"}));
    // A line of exactly 260 is one line: its line end read on its own adds no
    // empty line.
    EXPECT_EQ(RawLines(x260 + "\r\n" + "next\n"), (Lines{x260, "next"}));
    EXPECT_EQ(RawLines(x260 + "\n\n"), (Lines{x260, " "}));
    EXPECT_EQ(RawLines(x260 + x260 + "\n"), (Lines{x260, x260}));

    // Each piece is a line of its own; its text is cut to the field.
    std::vector<LogoLine> r = Read(std::string(300, 'x') + "\n");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_STREQ(r[0].text, std::string(99, 'x').c_str());
    EXPECT_STREQ(r[1].text, std::string(40, 'x').c_str());
}

TEST_F(Logo, FileWithoutTextLines)
{
    std::vector<LogoLine> r = Read("#background=1,2,3\n#raised\n#comment\n");
    ASSERT_EQ(r.size(), 3u);
    for (const LogoLine &line : r)
        EXPECT_NE(line.kind, LOGO_TEXT);

    bool ok = false;
    EXPECT_TRUE(Read("", &ok).empty());
    EXPECT_TRUE(ok);   // an empty script is a script, not a failure
}

TEST_F(Logo, FallsBackToInstallLgoOfTheSourceDirectory)
{
    // The fallback name is the source directory, a backslash, "install.lgo".
    std::string dir = (dir_ / "src").string();
    fs::create_directories(dir_ / "src");
    TextCopy(sourceDir_, sizeof sourceDir_, dir.c_str());
    std::string fallback = dir + "\\install.lgo";
    FILE *f = fopen(fallback.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("From install.lgo\n", f);
    fclose(f);

    UseLogoFile((dir_ / "missing.lgo").string());
    OrderedList *lines = LogoRead();
    ASSERT_NE(lines, nullptr);
    EXPECT_STREQ(((const LogoLine *)ListFirst(lines))->text, "From install.lgo");
    LogoFree(lines);

    // An empty logoPath (no type-5 splash) also reads the fallback.
    logoPath_[0] = '\0';
    lines = LogoRead();
    ASSERT_NE(lines, nullptr);
    EXPECT_STREQ(((const LogoLine *)ListFirst(lines))->text, "From install.lgo");
    LogoFree(lines);

    // The logo file wins when it opens.
    UseLogoFile(Write("logo.lgo", "From the copy\n"));
    lines = LogoRead();
    ASSERT_NE(lines, nullptr);
    EXPECT_STREQ(((const LogoLine *)ListFirst(lines))->text, "From the copy");
    LogoFree(lines);
}

TEST_F(Logo, NeitherFileGivesNone)
{
    UseLogoFile((dir_ / "missing.lgo").string());
    TextCopy(sourceDir_, sizeof sourceDir_, (dir_ / "nowhere").string().c_str());
    EXPECT_EQ(LogoRead(), nullptr);

    // A source directory that leaves no room for the name is not cut to
    // some other file's name.
    std::string longDir(258, 'd');
    TextCopy(sourceDir_, sizeof sourceDir_, longDir.c_str());
    EXPECT_EQ(LogoRead(), nullptr);

    g_splash.sourceDir = nullptr;
    g_splash.logoPath = nullptr;
    EXPECT_EQ(LogoRead(), nullptr);
}

TEST_F(Logo, SampleMediumScript)
{
    std::string path = CORVANE_SOURCE_DIR "/sample/library/logo.lgo";
#ifdef _WIN32
    path = "Z:" + path;   // the Unix root under Wine
#endif
    UseLogoFile(path);
    OrderedList *lines = LogoRead();
    ASSERT_NE(lines, nullptr) << path;
    std::vector<LogoLine> r;
    for (void *p = ListFirst(lines); p; p = ListNext(lines))
        r.push_back(*(const LogoLine *)p);
    LogoFree(lines);

    ASSERT_EQ(r.size(), 12u);
    for (size_t i = 0; i < 4; i++)
        EXPECT_EQ(r[i].kind, LOGO_IGNORED);   // the comments
    EXPECT_EQ(r[4].kind, LOGO_BACKGROUND);
    EXPECT_EQ(r[4].backColor, Rgb(32, 72, 128));
    EXPECT_EQ(r[5].kind, LOGO_TEXTCOLOR);
    EXPECT_EQ(r[5].textColor, Rgb(244, 214, 128));
    EXPECT_EQ(r[6].kind, LOGO_RAISED);
    const struct {
        const char *text, *face;
        int size;
    } shown[] = {
        {"Corvane Setup", "Arial", 44},
        {"Version 1.0", "Times New Roman", -18},
        {" ", "", kLogoNoSize},
        {"Preparing the installation...", "", kLogoNoSize},
        {" ", "Arial", 44},   // room below the last line of text
    };
    for (size_t i = 0; i < 5; i++) {
        const LogoLine &line = r[7 + i];
        EXPECT_EQ(line.kind, LOGO_TEXT);
        EXPECT_STREQ(line.text, shown[i].text);
        EXPECT_STREQ(line.face, shown[i].face);
        EXPECT_EQ(line.size, shown[i].size);
        EXPECT_LT(strlen(line.face), 32u);   // fits a font's face name whole
    }
}

struct TokenCase {
    const char *text;
    size_t start;
    const char *token;
    int atEnd;
    size_t position;
};

TEST(LogoToken, RunsAndSeparators)
{
    const TokenCase cases[] = {
        {"", 0, "", 1, 0},
        {"abc", 0, "abc", 1, 3},
        {"ab c\t", 0, "ab c\t", 1, 5},   // blanks and tabs are ordinary
        {"ab,c", 0, "ab", 0, 2},         // the separator is left for the next call
        {"ab,c", 2, ",", 0, 3},          // a lone separator is the token
        {"ab,c", 3, "c", 1, 4},
        {"#x", 0, "#", 0, 1},
        {"<>", 1, ">", 0, 2},            // a separator never reaches the end by itself
        {"a=b", 0, "a", 0, 1},
        {"a<b", 0, "a", 0, 1},
        {",,", 0, ",", 0, 1},
    };
    for (const TokenCase &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " @" + std::to_string(c.start));
        char token[kLogoTokenBuffer];
        size_t position = c.start;
        EXPECT_EQ(LogoNextToken(c.text, token, &position), c.atEnd);
        EXPECT_STREQ(token, c.token);
        EXPECT_EQ(position, c.position);
    }
}

TEST(LogoToken, LongRunIsCutButPassedWhole)
{
    std::string text = std::string(150, 'a') + ",b";
    char guarded[kLogoTokenBuffer + 16];
    memset(guarded, 0x5A, sizeof guarded);
    size_t position = 0;
    EXPECT_EQ(LogoNextToken(text.c_str(), guarded, &position), 0);
    EXPECT_STREQ(guarded, std::string(99, 'a').c_str());
    EXPECT_EQ(position, 150u);
    for (size_t i = kLogoTokenBuffer; i < sizeof guarded; i++)
        EXPECT_EQ(guarded[i], 0x5A) << "written past the token at " << i;
    EXPECT_EQ(LogoNextToken(text.c_str(), guarded, &position), 0);
    EXPECT_STREQ(guarded, ",");
}

TEST(LogoColor, PartsAndDefaults)
{
    EXPECT_EQ(LogoParseColor("1,2,3", 0, 7), Rgb(1, 2, 3));
    EXPECT_EQ(LogoParseColor("=1,2,3", 1, 7), Rgb(1, 2, 3));
    EXPECT_EQ(LogoParseColor("1,2", 0, 7), 7u);
    EXPECT_EQ(LogoParseColor("", 0, 7), 7u);
    EXPECT_EQ(LogoParseColor("1;2;3", 0, 7), 7u);   // ';' is no separator
}

TEST_F(Logo, LongFieldsAreCutAtTheirLimits)
{
    const std::string longFace(80, 'f');
    const std::string longText(150, 't');
    std::vector<LogoLine> r = Read(longText + "\n<" + longFace + ",18>" + longText + "\n" + "#" +
                                   std::string(120, 'k') + "=1,2,3\n");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_STREQ(r[0].text, std::string(99, 't').c_str());
    // The cut face does not stop the parse: size and text follow.
    EXPECT_STREQ(r[1].face, std::string(51, 'f').c_str());
    EXPECT_EQ(r[1].size, 18);
    EXPECT_STREQ(r[1].text, std::string(99, 't').c_str());
    EXPECT_EQ(r[2].kind, LOGO_IGNORED);
}

// Double-byte characters: 0x83 is a lead byte of code page 932.
TEST_F(Logo, FieldsNeverSplitACharacterCp932)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    const std::string kana = "\x83\x41";   // one character, two bytes
    // 98 bytes and a double-byte character: the character does not fit in
    // the 99 bytes of a token or text and is left out whole.
    const std::string run = std::string(98, 'a') + kana + "z";
    char token[kLogoTokenBuffer];
    size_t position = 0;
    EXPECT_EQ(LogoNextToken(run.c_str(), token, &position), 1);
    EXPECT_STREQ(token, std::string(98, 'a').c_str());
    EXPECT_EQ(position, run.size());

    const std::string face = std::string(50, 'f') + kana + "g";
    std::vector<LogoLine> r = Read(run + "\n<" + face + ",24>" + kana + "Hi\n");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_STREQ(r[0].text, std::string(98, 'a').c_str());
    EXPECT_STREQ(r[1].face, std::string(50, 'f').c_str());
    EXPECT_EQ(r[1].size, 24);
    EXPECT_STREQ(r[1].text, (kana + "Hi").c_str());
}

TEST_F(Logo, SecondByteIsNoSeparatorCp932)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    // 0x83 0x2C is one character, so its ',' does not end the face; in
    // code page 1252 the same bytes give face "Arial\x83" and size 24.
    std::vector<LogoLine> r = Read("<Arial\x83,24>Hi\n#text\x83=1,2,3\n\x83#x\n");
    ASSERT_EQ(r.size(), 3u);
    EXPECT_STREQ(r[0].face, "Arial\x83,24");
    EXPECT_EQ(r[0].size, kLogoNoSize);
    EXPECT_STREQ(r[0].text, "");
    EXPECT_EQ(r[1].kind, LOGO_IGNORED);   // keyword "text\x83=1" is no keyword
    EXPECT_EQ(r[2].kind, LOGO_TEXT);      // "\x83#" does not start a directive
    EXPECT_STREQ(r[2].text, "\x83#x");
}

TEST_F(Logo, LineEndsAndPiecesKeepCharactersWholeCp932)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    const std::string kana = "\x83\x41";
    // A lead byte right before the line end forms no character.
    EXPECT_EQ(RawLines("ab\x83\r\ncd\x83\n" + kana + "\n"), (Lines{"ab", "cd", kana}));
    // A character that would straddle the 260-byte piece moves whole to the
    // next piece.
    EXPECT_EQ(RawLines(std::string(259, 'a') + kana + "z\n"),
              (Lines{std::string(259, 'a'), kana + "z"}));
    // The same 512 bytes into the file, where the reader fetches more.
    EXPECT_EQ(RawLines(std::string(251, 'b') + "\n" + std::string(259, 'a') + kana + "z\n"),
              (Lines{std::string(251, 'b'), std::string(259, 'a'), kana + "z"}));
    // One that ends the piece exactly stays, and the line end adds nothing.
    EXPECT_EQ(RawLines(std::string(258, 'a') + kana + "\nnext\n"),
              (Lines{std::string(258, 'a') + kana, "next"}));
}

}  // namespace
