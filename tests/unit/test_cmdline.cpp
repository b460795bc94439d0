// Command-line options and the forwarded copy: flags, the script path, the
// exact text that reaches the bootstrap, the error boxes, and the limits of
// the fixed buffers.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "launcher/cmdline.h"
#include "base/ids.h"
#include "base/state.h"
#include "base/text.h"
#include "tests/unit/error_boxes.h"
#include "tests/unit/test_support.h"

namespace {

const char kHyo[] = "\x95\x5C";   // Shift-JIS U+8868, second byte is '\'

#ifdef CORVANE_HOST
// AddressSanitizer watches the exact 263 bytes.
const size_t kGuard = 0;
#else
// Under Wine, guard bytes after each buffer show a write past it.
const size_t kGuard = 16;
#endif
const unsigned char kGuardByte = 0xA5;

// Sets up g_launcher as start-up would: four 263-byte buffers, the source
// directory, the default script path. Restores the record afterwards.
class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = g_launcher;
        g_launcher = LauncherState();
        char **fields[] = {&g_launcher.commandLine, &g_launcher.workDir,
                           &g_launcher.scriptPath, &g_launcher.sourceDir};
        for (int i = 0; i < 4; i++) {
            buffers_[i] = (char *)malloc(kStateTextBuffer + kGuard);
            memset(buffers_[i], 0, kStateTextBuffer);
            memset(buffers_[i] + kStateTextBuffer, kGuardByte, kGuard);
            *fields[i] = buffers_[i];
        }
        SetSourceDir("D:\\");
    }

    void TearDown() override
    {
        for (int i = 0; i < 4; i++) {
            for (size_t g = 0; g < kGuard; g++)
                EXPECT_EQ(kGuardByte, (unsigned char)buffers_[i][kStateTextBuffer + g])
                    << "written past buffer " << i;
            free(buffers_[i]);
        }
        g_launcher = saved_;
    }

    static void SetSourceDir(const std::string &dir)
    {
        ASSERT_LT(dir.size() + 9, (size_t)kStateTextBuffer);
        strcpy(g_launcher.sourceDir, dir.c_str());
        strcpy(g_launcher.scriptPath, (dir + "SETUP.INS").c_str());
    }

    // One start-up's worth of command-line processing.
    static void Run(const std::string &line)
    {
        g_launcher.abortFlag = 0;
        EXPECT_EQ(1, ProcessCommandLine(line.c_str()));
    }

    LauncherState saved_;
    char *buffers_[4] = {};
};

struct OptionCase {
    const char *line;
    const char *forwarded;
    const char *scriptPath;
    int scriptGiven;
    int noSplash;
    int engineAsExe;
    int addZ1;
};

void CheckOptions(const OptionCase &c)
{
    EXPECT_STREQ(c.forwarded, g_launcher.commandLine) << "line: " << c.line;
    EXPECT_STREQ(c.scriptPath, g_launcher.scriptPath) << "line: " << c.line;
    EXPECT_EQ(c.scriptGiven, g_launcher.scriptGiven) << "line: " << c.line;
    EXPECT_EQ(c.noSplash, g_launcher.noSplash) << "line: " << c.line;
    EXPECT_EQ(c.engineAsExe, g_launcher.engineAsExe) << "line: " << c.line;
    EXPECT_EQ(c.addZ1, g_launcher.addZ1) << "line: " << c.line;
}

// Launcher in D:\, no boxes expected.
TEST_F(CommandLine, OptionsAndForwardedCopy)
{
    const OptionCase cases[] = {
        // line, forwarded copy, script path, given, no splash, exe, z1
        {"-fsub.ins -s", " -fD:\\sub.ins  -s", "D:\\sub.ins", 1, 1, 0, 1},
        {"-s", "-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"", " -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        // Quoted script paths lose their quotes and come back in double quotes.
        {"-f\"D:\\MY DISK\\A.INS\"", " -f\"D:\\MY DISK\\A.INS\" ", "D:\\MY DISK\\A.INS", 1, 0, 0, 1},
        {"-f'D:\\MY DISK\\A.INS' -s", " -f\"D:\\MY DISK\\A.INS\"  -s", "D:\\MY DISK\\A.INS", 1, 1, 0, 1},
        {"-f\"MY A.INS\" -z1", " -f\"D:\\MY A.INS\"  -z1", "D:\\MY A.INS", 1, 0, 0, 0},
        {"-f\"\"", " -fD:\\ ", "D:\\", 1, 0, 0, 1},
        // -f1/-f2 are not the script option; only the first -f is rewritten.
        {"-f1x -fA.INS", "-f1x  -fD:\\A.INS ", "D:\\A.INS", 1, 0, 0, 1},
        {"-fA.INS -fB.INS", " -fD:\\B.INS  -fB.INS", "D:\\B.INS", 1, 0, 0, 1},
        {"-f2 -s", "-f2 -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"-f1\"a -s\"", "-f1\"a -s\" -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"x -fA.INS", "x  -fD:\\A.INS ", "D:\\A.INS", 1, 0, 0, 1},
        {"x-fA.INS", "x-fA.INS -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        // Path forms: a blank after -f gives an empty argument.
        {"-f SUB\\A.INS", " -fD:\\  SUB\\A.INS", "D:\\", 1, 0, 0, 1},
        {"-fSUB\\A.INS", " -fSUB\\A.INS ", "SUB\\A.INS", 1, 0, 0, 1},
        {"/FC:\\A\\SETUP.INS -s", " -fC:\\A\\SETUP.INS  -s", "C:\\A\\SETUP.INS", 1, 1, 0, 1},
        {"-fA'B.INS", " -fD:\\A'B.INS ", "D:\\A'B.INS", 1, 0, 0, 1},
        {"a -f\"x y\"-s", "a  -f\"D:\\x y\" -s", "D:\\x y", 1, 0, 0, 1},
        // -z passes over the character after it.
        {"-z1 -s", "-z1 -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 0},
        {"-z -s", "-z -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 0},
        {"-z", "-z -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 0},
        // Token starts: only after a blank, never after a tab or another character.
        {"x-s", "x-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"a/s", "a/s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"\t-s", "\t-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"a\t-s", "a\t-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"-S", "-S -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"/s", "/s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"-sx", "-sx -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"-x -s", "-x -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 0, 1},
        {"--s", "--s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        {"-", "- -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1},
        // -e takes any argument, which is dropped.
        {"-eanything -s", "-eanything -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 1, 1},
        {"-e", "-e -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 1, 1},
        {"-E\"a b\" -s", "-E\"a b\" -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1, 1, 1},
        {"-e-s", "-e-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 1, 1},
    };
    for (const OptionCase &c : cases) {
        ErrorBoxes boxes;
        SetSourceDir("D:\\");
        Run(c.line);
        CheckOptions(c);
        boxes.Expect({});
        EXPECT_EQ(0, g_launcher.abortFlag) << c.line;
    }
}

TEST_F(CommandLine, FlagsAreResetForEachScan)
{
    ErrorBoxes boxes;
    g_launcher.scriptGiven = 1;
    g_launcher.noSplash = 1;
    g_launcher.engineAsExe = 1;
    g_launcher.addZ1 = 0;
    Run("");
    CheckOptions({"", " -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1});
    boxes.Expect({});
}

TEST_F(CommandLine, DefaultScriptPathWithBlankIsQuotedInTheCopyOnly)
{
    ErrorBoxes boxes;
    SetSourceDir("C:\\MY MEDIA\\");
    Run("-s");
    EXPECT_STREQ("-s -f\"C:\\MY MEDIA\\SETUP.INS\"", g_launcher.commandLine);
    EXPECT_STREQ("C:\\MY MEDIA\\SETUP.INS", g_launcher.scriptPath);
    boxes.Expect({});
}

struct UnclosedCase {
    const char *line;
    int boxCount;
    const char *quoteArgument;   // from the opening quote to the end
    const char *forwarded;
    const char *scriptPath;
    int noSplash;
    int engineAsExe;
};

TEST_F(CommandLine, UnclosedQuoteShowsTheArgument)
{
    const UnclosedCase cases[] = {
        // -f: once by the scan, once by the rewrite; the scan stops at the end.
        {"-f\"D:\\MY DISK -s", 2, "\"D:\\MY DISK -s", " -f\"D:\\MY DISK -s\" ",
         "D:\\MY DISK -s", 0, 0},
        {"-s -f'", 2, "'", "-s  -fD:\\ ", "D:\\", 1, 0},
        {"-e'abc -s", 1, "'abc -s", "-e'abc -s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 1},
        {"-f2\"x", 1, "\"x", "-f2\"x -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0},
    };
    for (const UnclosedCase &c : cases) {
        ErrorBoxes boxes;
        SetSourceDir("D:\\");
        Run(c.line);
        std::vector<ExpectedBox> expected(c.boxCount, ExpectedBox{IDS_UNCLOSED_QUOTE, c.quoteArgument});
        boxes.Expect(expected);
        EXPECT_EQ(1, g_launcher.abortFlag) << c.line;
        EXPECT_STREQ(c.forwarded, g_launcher.commandLine) << c.line;
        EXPECT_STREQ(c.scriptPath, g_launcher.scriptPath) << c.line;
        EXPECT_EQ(c.noSplash, g_launcher.noSplash) << c.line;
        EXPECT_EQ(c.engineAsExe, g_launcher.engineAsExe) << c.line;
    }
}

// The copy forwarded with " -fD:\SETUP.INS" (15 bytes) must fit in 262
// bytes: a longer command line is refused, never cut, and its options are
// still read to the end.
TEST_F(CommandLine, CommandLineTooLongToForward)
{
    for (size_t length : {size_t(247), size_t(248), size_t(262), size_t(263), size_t(300),
                          size_t(1000), size_t(32767)}) {
        for (const char *tail : {"", " -s"}) {
            ErrorBoxes boxes;
            std::string line = std::string(length - strlen(tail), 'a') + tail;
            Run(line);
            EXPECT_EQ((int)(tail[0] != '\0'), g_launcher.noSplash) << length;
            if (length <= 247) {
                boxes.Expect({});
                EXPECT_EQ(line + " -fD:\\SETUP.INS", g_launcher.commandLine);
                EXPECT_EQ(0, g_launcher.abortFlag);
            } else {
                boxes.Expect({{IDS_LAUNCH_FAILED, ""}});
                EXPECT_STREQ("", g_launcher.commandLine) << length;
                EXPECT_EQ(1, g_launcher.abortFlag) << length;
            }
        }
    }
}

// -f with a path of `length` bytes: the path itself fits up to 262 bytes,
// beyond that it is refused (7061 with the 262 bytes read); the copy with
// " -f", the path, a blank and the rest must fit in 262 bytes, else 7062
// (unless the path was already refused). Nothing is forwarded cut short, and
// the scan still goes on after the path.
TEST_F(CommandLine, ScriptPathTooLong)
{
    for (size_t length : {size_t(255), size_t(256), size_t(258), size_t(259), size_t(262),
                          size_t(263), size_t(300), size_t(1000)}) {
        for (std::string tail : {"", " -s"}) {
            ErrorBoxes boxes;
            std::string path = "D:\\" + std::string(length - 3, 'p');
            Run("-f" + path + tail);
            EXPECT_EQ(1, g_launcher.scriptGiven);
            EXPECT_EQ((int)!tail.empty(), g_launcher.noSplash) << length;
            std::string forwarded = " -f" + path + " " + tail;
            if (length > 262) {
                boxes.Expect({{IDS_SCRIPT_MISSING, path.substr(0, 262)}});
                EXPECT_STREQ("", g_launcher.commandLine) << length;
            } else if (forwarded.size() > 262) {
                boxes.Expect({{IDS_LAUNCH_FAILED, ""}});
                EXPECT_STREQ("", g_launcher.commandLine) << length;
                EXPECT_EQ(path, g_launcher.scriptPath);
            } else {
                boxes.Expect({});
                EXPECT_EQ(forwarded, g_launcher.commandLine);
                EXPECT_EQ(path, g_launcher.scriptPath);
            }
            EXPECT_EQ((int)(forwarded.size() > 262), g_launcher.abortFlag) << length;
        }
    }
}

TEST_F(CommandLine, ScriptNameTooLongForTheSourceDirectory)
{
    // 204 bytes of source directory and a 104-byte name: 308 bytes together.
    SetSourceDir("D:\\" + std::string(200, 's') + "\\");
    std::string name = std::string(100, 'n') + ".INS";
    ErrorBoxes boxes;
    Run("-f" + name);
    boxes.Expect({{IDS_SCRIPT_MISSING, name}});
    EXPECT_EQ(1, g_launcher.abortFlag);
    EXPECT_EQ(name, g_launcher.scriptPath);
}

// Arguments of -e, -f1 and -f2 are not used: a long one is read and dropped
// without overflowing, and the scan goes on after it.
TEST_F(CommandLine, LongScratchArguments)
{
    const std::string lines[] = {
        "-e" + std::string(1000, 'x') + " -s",
        "-f1\"" + std::string(300, 'y') + " z\" -s",
        "-f2'" + std::string(263, 'y') + "' -s",
        "-e" + std::string(262, 'x') + " -s",
    };
    for (const std::string &line : lines) {
        ErrorBoxes boxes;
        Run(line);
        EXPECT_EQ(1, g_launcher.noSplash) << line.substr(0, 4);
        EXPECT_EQ((int)(line[1] == 'e'), g_launcher.engineAsExe);
        EXPECT_EQ(0, g_launcher.scriptGiven);
        EXPECT_STREQ("D:\\SETUP.INS", g_launcher.scriptPath);
        // The line itself is too long to forward.
        boxes.Expect({{IDS_LAUNCH_FAILED, ""}});
        EXPECT_STREQ("", g_launcher.commandLine);
    }
}

TEST_F(CommandLine, UnclosedQuoteInALongLine)
{
    // The 7067 box already stops the launch: no second box for the length.
    std::string line = "-e\"" + std::string(1000, 'x');
    ErrorBoxes boxes;
    Run(line);
    boxes.Expect({{IDS_UNCLOSED_QUOTE, line.substr(2)}});
    EXPECT_STREQ("", g_launcher.commandLine);
    EXPECT_EQ(1, g_launcher.abortFlag);
}

TEST_F(CommandLine, ReadArgumentStopsAndReports)
{
    struct Case {
        const char *line;
        size_t cap;
        size_t end;            // where the scan goes on
        const char *read;
        int fitted;
        int unclosedAt;        // offset of the unclosed quote, -1 for none
    };
    const Case cases[] = {
        {"abc def", 8, 3, "abc", 1, -1},
        {"'a b'c", 8, 5, "a b", 1, -1},
        // 7 bytes fit in 8; the 8th does not, but the scan walks to the blank.
        {"12345678 x", 8, 8, "1234567", 0, -1},
        {"1234567 x", 8, 7, "1234567", 1, -1},
        // An open quote takes the rest and is reported, not shown.
        {"\"x y", 8, 4, "x y", 1, 0},
        {"'", 8, 1, "", 1, 0},
        {"'abcdefghij", 4, 11, "abc", 0, 0},
    };
    for (const Case &c : cases) {
        ErrorBoxes boxes;
        char dst[16];
        memset(dst, '#', sizeof dst);
        int fitted = -1;
        const char *unclosed = "sentinel";
        g_launcher.abortFlag = 0;
        EXPECT_EQ(c.line + c.end, ReadArgument(dst, c.cap, c.line, &fitted, &unclosed)) << c.line;
        EXPECT_STREQ(c.read, dst) << c.line;
        EXPECT_EQ(c.fitted, fitted) << c.line;
        EXPECT_EQ(c.unclosedAt < 0 ? nullptr : c.line + c.unclosedAt, unclosed) << c.line;
        boxes.Expect({});
        EXPECT_EQ(0, g_launcher.abortFlag) << c.line;
    }
}

struct AbsoluteCase {
    const char *sourceDir;
    const char *path;
    const char *result;
};

TEST_F(CommandLine, MakeScriptPathAbsolute)
{
    const AbsoluteCase cases[] = {
        {"D:\\", "A.INS", "D:\\A.INS"},
        {"D:\\", "", "D:\\"},
        {"D:\\", "SUB\\A.INS", "SUB\\A.INS"},     // relative with a directory stays
        {"D:\\", "C:A.INS", "C:A.INS"},
        {"D:\\", "\\A.INS", "\\A.INS"},
        {"D:\\", "A/B.INS", "D:\\A/B.INS"},       // '/' is no separator
        {"D:\\SRC", "A.INS", "D:\\SRC\\A.INS"},
    };
    for (const AbsoluteCase &c : cases) {
        strcpy(g_launcher.sourceDir, c.sourceDir);
        char path[kStateTextBuffer];
        strcpy(path, c.path);
        EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path)) << c.path;
        EXPECT_STREQ(c.result, path) << c.path;
    }

    // Exactly 262 bytes fit; one more is refused and leaves the path alone.
    std::string dir = "D:\\" + std::string(250, 'd') + "\\";   // 254 bytes
    strcpy(g_launcher.sourceDir, dir.c_str());
    char path[kStateTextBuffer];
    strcpy(path, "12345678");
    EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path));
    EXPECT_EQ(dir + "12345678", path);
    strcpy(path, "123456789");
    EXPECT_EQ(0, MakeScriptPathAbsolute(path, sizeof path));
    EXPECT_STREQ("123456789", path);
}

TEST_F(CommandLine, RewriteScriptOptionThatDoesNotFit)
{
    ErrorBoxes boxes;
    char copy[kStateTextBuffer];
    const std::string line = std::string(240, 'a') + " -fA.INS";
    // 241 bytes of head, " -f", the path and a blank: a 17-byte path gives
    // 262 bytes and fits; an 18-byte one leaves the copy as it was.
    const std::string fits = "D:\\" + std::string(14, 'x');
    strcpy(copy, line.c_str());
    EXPECT_EQ(1, RewriteScriptOption(copy, sizeof copy, 241, fits.c_str()));
    EXPECT_EQ(std::string(240, 'a') + "  -f" + fits + " ", copy);
    const std::string over = fits + "x";
    strcpy(copy, line.c_str());
    EXPECT_EQ(0, RewriteScriptOption(copy, sizeof copy, 241, over.c_str()));
    EXPECT_EQ(line, copy);
    boxes.Expect({});
}

// Shift-JIS: a second byte 0x5C is no backslash, 0x22 no quote, 0x20 no blank.
TEST_F(CommandLine, Cp932SecondBytesAreNotSyntax)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    const std::string hyo = kHyo;
    const std::string quoteTrail = "\x81\x22";
    const std::string blankTrail = "\x81\x20";
    struct Cp932Case {
        std::string line, forwarded, scriptPath;
        int noSplash;
    };
    const Cp932Case cases[] = {
        // 表.INS has no directory part: it goes into the source directory.
        {"-f" + hyo + ".INS", " -fD:\\" + hyo + ".INS ", "D:\\" + hyo + ".INS", 0},
        {"-fC:\\" + hyo + "\\A.INS -s", " -fC:\\" + hyo + "\\A.INS  -s",
         "C:\\" + hyo + "\\A.INS", 1},
        {"-f\"" + hyo + " A.INS\"", " -f\"D:\\" + hyo + " A.INS\" ", "D:\\" + hyo + " A.INS", 0},
        {"-f\"" + quoteTrail + "x\" -s", " -fD:\\" + quoteTrail + "x  -s", "D:\\" + quoteTrail + "x", 1},
        {"-fA" + blankTrail + "B.INS -s", " -fD:\\A" + blankTrail + "B.INS  -s",
         "D:\\A" + blankTrail + "B.INS", 1},
        {blankTrail + "-s", blankTrail + "-s -fD:\\SETUP.INS", "D:\\SETUP.INS", 0},
    };
    for (const Cp932Case &c : cases) {
        ErrorBoxes boxes;
        SetSourceDir("D:\\");
        Run(c.line);
        boxes.Expect({});
        EXPECT_EQ(c.forwarded, g_launcher.commandLine);
        EXPECT_EQ(c.scriptPath, g_launcher.scriptPath);
        EXPECT_EQ(c.noSplash, g_launcher.noSplash);
    }

    // A source directory ending in 表 still gets its backslash.
    strcpy(g_launcher.sourceDir, ("D:\\" + hyo).c_str());
    char path[kStateTextBuffer] = "A.INS";
    EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path));
    EXPECT_EQ("D:\\" + hyo + "\\A.INS", path);
}

TEST_F(CommandLine, Cp932DoubleByteCharacterAtTheLimit)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    const std::string hyo = kHyo;

    // Script path: 261 bytes, then 表 would end at byte 263: refused, and the
    // box shows the 261 whole bytes read, not half a character.
    {
        ErrorBoxes boxes;
        std::string head = "D:\\" + std::string(258, 'p');
        Run("-f" + head + hyo + "X");
        boxes.Expect({{IDS_SCRIPT_MISSING, head}});
        EXPECT_EQ(head, g_launcher.scriptPath);
        EXPECT_STREQ("", g_launcher.commandLine);
    }
    // Command line: 261 bytes and 表 do not fit the 263-byte copy.
    {
        ErrorBoxes boxes;
        Run(std::string(261, 'a') + hyo);
        boxes.Expect({{IDS_LAUNCH_FAILED, ""}});
        EXPECT_STREQ("", g_launcher.commandLine);
    }
    // An argument buffer of 5 bytes takes abc, not abc and half of 表.
    {
        char dst[6];
        memset(dst, '#', sizeof dst);
        int fitted = -1;
        const char *unclosed = nullptr;
        std::string line = "abc" + hyo + " rest";
        const char *end = ReadArgument(dst, 5, line.c_str(), &fitted, &unclosed);
        EXPECT_STREQ(" rest", end);
        EXPECT_STREQ("abc", dst);
        EXPECT_EQ(0, fitted);
        EXPECT_EQ('#', dst[5]);
    }
    // 245 bytes and 表 make 247: the copy with " -fD:\SETUP.INS" is 262.
    {
        ErrorBoxes boxes;
        SetSourceDir("D:\\");
        std::string line = std::string(245, 'a') + hyo;
        Run(line);
        boxes.Expect({});
        EXPECT_EQ(line + " -fD:\\SETUP.INS", g_launcher.commandLine);
    }
}

// What WinMain receives from the process's full command line: the program
// name goes, quoted in whole or in part, and the blanks after it.
TEST(ProgramName, SkippedAsTheRuntimeDoes)
{
    const struct {
        const char *commandLine;
        const char *arguments;
    } cases[] = {
        {"setup.exe -s", "-s"},
        {"setup.exe", ""},
        {"", ""},
        {"\"C:\\My Medium\\setup.exe\" -f x.ins", "-f x.ins"},
        {"\"C:\\My Medium\\setup.exe\"-s", ""},              // the name runs on to a blank
        {"C:\\\"My Medium\"\\setup.exe  /s", "/s"},          // a quoted part inside the name
        {"\"C:\\unclosed quote -s", ""},                    // an open quote takes the rest
        {"setup.exe \t\r\n -s x", "-s x"},                  // control characters are blanks too
        {"C:\\M\xE9" "dium\\setup.exe -s", "-s"},          // bytes above 0x7F belong to the name
        {"C:\\\x95\x5C\\setup.exe -s", "-s"},              // a Shift-JIS name, second byte '\\'
        {"setup.exe \xE9t\xE9", "\xE9t\xE9"},                // and are never skipped as blanks
        {"   -s", "-s"},                                     // no name at all
    };
    for (const auto &c : cases)
        EXPECT_STREQ(c.arguments, SkipProgramName(c.commandLine)) << c.commandLine;
    EXPECT_STREQ("", SkipProgramName(nullptr));
}

}  // namespace
