// Command-line options and the forwarded copy: flags, the script path, the
// exact text that reaches the bootstrap, the error boxes, and the limits of
// the fixed buffers.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "launcher/cmdline.h"
#include "base/ids.h"
#include "base/text.h"
#include "tests/unit/test_support.h"

namespace {

const char kHyo[] = "\x95\x5C";   // Shift-JIS U+8868, second byte is '\\'

#ifdef CORVANE_HOST
// AddressSanitizer watches the exact 263 bytes.
const size_t kGuard = 0;
#else
// Under Wine, guard bytes after each buffer show a write past it.
const size_t kGuard = 16;
#endif
const unsigned char kGuardByte = 0xA5;

struct ExpectedBox {
    int id;
    std::string argument;
};

// The result of the last scan and the source directory it was given.
CommandLineResult *g_result;
char *g_sourceDir;

CommandLineResult &R() { return *g_result; }
char *SourceDir() { return g_sourceDir; }
// Whether the scan refused the launch: it then asked for at least one box.
int Aborted() { return R().boxCount > 0; }

// A box's argument as text: `length` bytes, or all of it.
std::string ArgumentOf(const CommandLineBox &box)
{
    if (!box.argument)
        return "";
    return box.length == kWholeArgument ? std::string(box.argument) : std::string(box.argument, box.length);
}

std::string Describe()
{
    std::string text = "boxes asked for:";
    for (int i = 0; i < R().boxCount; i++) {
        const CommandLineBox &box = R().boxes[i];
        text += " [" + std::to_string(box.id) + " '" + ArgumentOf(box) + "']";
    }
    return text;
}

// The boxes the scan asked for, in order, with their arguments' text.
void ExpectBoxes(const std::vector<ExpectedBox> &expected)
{
    ASSERT_EQ((int)expected.size(), R().boxCount) << Describe();
    for (size_t i = 0; i < expected.size(); i++) {
        const CommandLineBox &box = R().boxes[i];
        EXPECT_EQ(expected[i].id, box.id) << "box " << i;
        EXPECT_EQ(expected[i].argument, ArgumentOf(box)) << "box " << i;
    }
}

// Four 263-byte buffers as start-up has them (forwarded copy, work
// directory, script path, source directory), guarded where the build can,
// the source directory and the default script path.
class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 4; i++) {
            buffers_[i] = (char *)malloc(kCommandLineText + kGuard);
            memset(buffers_[i], 0, kCommandLineText);
            memset(buffers_[i] + kCommandLineText, kGuardByte, kGuard);
        }
        result_ = CommandLineResult();
        result_.forwarded = buffers_[0];
        result_.scriptPath = buffers_[2];
        g_result = &result_;
        g_sourceDir = buffers_[3];
        SetSourceDir("D:\\");
    }

    void TearDown() override
    {
        for (int i = 0; i < 4; i++) {
            for (size_t g = 0; g < kGuard; g++)
                EXPECT_EQ(kGuardByte, (unsigned char)buffers_[i][kCommandLineText + g])
                    << "written past buffer " << i;
            free(buffers_[i]);
        }
        g_result = nullptr;
        g_sourceDir = nullptr;
    }

    static void SetSourceDir(const std::string &dir)
    {
        ASSERT_LT(dir.size() + 9, (size_t)kCommandLineText);
        strcpy(SourceDir(), dir.c_str());
        strcpy(R().scriptPath, (dir + "SETUP.INS").c_str());
    }

    // One start-up's worth of command-line processing: it allows a launch
    // exactly when it asks for no box. The boxes point into the line, so it
    // is kept until the next run, as WinMain keeps its own.
    static void Run(const std::string &line)
    {
        static std::string kept;
        kept = line;
        int allowed = ProcessCommandLine(kept.c_str(), SourceDir(), &R());
        EXPECT_EQ(R().boxCount == 0, allowed) << line.substr(0, 40);
    }

    CommandLineResult result_;
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
    EXPECT_STREQ(c.forwarded, R().forwarded) << "line: " << c.line;
    EXPECT_STREQ(c.scriptPath, R().scriptPath) << "line: " << c.line;
    EXPECT_EQ(c.scriptGiven, R().scriptGiven) << "line: " << c.line;
    EXPECT_EQ(c.noSplash, R().noSplash) << "line: " << c.line;
    EXPECT_EQ(c.engineAsExe, R().engineAsExe) << "line: " << c.line;
    EXPECT_EQ(c.addZ1, R().addZ1) << "line: " << c.line;
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
        SetSourceDir("D:\\");
        Run(c.line);
        CheckOptions(c);
        ExpectBoxes({});
        EXPECT_EQ(0, Aborted()) << c.line;
    }
}

TEST_F(CommandLine, FlagsAreResetForEachScan)
{
    R().scriptGiven = 1;
    R().noSplash = 1;
    R().engineAsExe = 1;
    R().addZ1 = 0;
    Run("");
    CheckOptions({"", " -fD:\\SETUP.INS", "D:\\SETUP.INS", 0, 0, 0, 1});
    ExpectBoxes({});
}

TEST_F(CommandLine, DefaultScriptPathWithBlankIsQuotedInTheCopyOnly)
{
    SetSourceDir("C:\\MY MEDIA\\");
    Run("-s");
    EXPECT_STREQ("-s -f\"C:\\MY MEDIA\\SETUP.INS\"", R().forwarded);
    EXPECT_STREQ("C:\\MY MEDIA\\SETUP.INS", R().scriptPath);
    ExpectBoxes({});
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
        SetSourceDir("D:\\");
        Run(c.line);
        std::vector<ExpectedBox> expected(c.boxCount, ExpectedBox{IDS_UNCLOSED_QUOTE, c.quoteArgument});
        ExpectBoxes(expected);
        EXPECT_EQ(1, Aborted()) << c.line;
        EXPECT_STREQ(c.forwarded, R().forwarded) << c.line;
        EXPECT_STREQ(c.scriptPath, R().scriptPath) << c.line;
        EXPECT_EQ(c.noSplash, R().noSplash) << c.line;
        EXPECT_EQ(c.engineAsExe, R().engineAsExe) << c.line;
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
            std::string line = std::string(length - strlen(tail), 'a') + tail;
            Run(line);
            EXPECT_EQ((int)(tail[0] != '\0'), R().noSplash) << length;
            if (length <= 247) {
                ExpectBoxes({});
                EXPECT_EQ(line + " -fD:\\SETUP.INS", R().forwarded);
                EXPECT_EQ(0, Aborted());
            } else {
                ExpectBoxes({{IDS_LAUNCH_FAILED, ""}});
                EXPECT_STREQ("", R().forwarded) << length;
                EXPECT_EQ(1, Aborted()) << length;
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
            std::string path = "D:\\" + std::string(length - 3, 'p');
            Run("-f" + path + tail);
            EXPECT_EQ(1, R().scriptGiven);
            EXPECT_EQ((int)!tail.empty(), R().noSplash) << length;
            std::string forwarded = " -f" + path + " " + tail;
            if (length > 262) {
                ExpectBoxes({{IDS_SCRIPT_MISSING, path.substr(0, 262)}});
                EXPECT_STREQ("", R().forwarded) << length;
            } else if (forwarded.size() > 262) {
                ExpectBoxes({{IDS_LAUNCH_FAILED, ""}});
                EXPECT_STREQ("", R().forwarded) << length;
                EXPECT_EQ(path, R().scriptPath);
            } else {
                ExpectBoxes({});
                EXPECT_EQ(forwarded, R().forwarded);
                EXPECT_EQ(path, R().scriptPath);
            }
            EXPECT_EQ((int)(forwarded.size() > 262), Aborted()) << length;
        }
    }
}

// Each refused -f keeps the text it was refused with, though a later -f
// reads into the same buffer; a quoted one shows what follows its quote.
TEST_F(CommandLine, EveryRefusedScriptPathShowsItsOwnText)
{
    const std::string a = "D:\\" + std::string(300, 'a');
    const std::string b = "D:\\" + std::string(300, 'b');
    Run("-f" + a + " -f\"" + b + "\" -s");
    ExpectBoxes({{IDS_SCRIPT_MISSING, a.substr(0, 262)}, {IDS_SCRIPT_MISSING, b.substr(0, 262)}});
    EXPECT_EQ(1, R().noSplash);
    EXPECT_STREQ("", R().forwarded);
}

// A line that asks for more boxes than the result holds keeps the first
// ones in order and the newest last; the launch is refused all the same,
// and a box that WinMain adds after them still comes last.
TEST_F(CommandLine, AFullListKeepsItsFirstBoxesAndTheNewest)
{
    const int asked = kMaxCommandLineBoxes + 2;
    std::string line;
    for (int i = 0; i < asked; i++)
        line += "-f" + std::string(270, (char)('a' + i)) + " ";
    Run(line);
    ASSERT_EQ(kMaxCommandLineBoxes, R().boxCount);
    for (int i = 0; i < kMaxCommandLineBoxes; i++) {
        const int from = i < kMaxCommandLineBoxes - 1 ? i : asked - 1;
        EXPECT_EQ(IDS_SCRIPT_MISSING, R().boxes[i].id);
        EXPECT_EQ(std::string(262, (char)('a' + from)), ArgumentOf(R().boxes[i]));
    }
    CommandLineAddBox(&R(), IDS_UNCLOSED_QUOTE, "x", 1);
    ASSERT_EQ(kMaxCommandLineBoxes, R().boxCount);
    EXPECT_EQ(IDS_UNCLOSED_QUOTE, R().boxes[kMaxCommandLineBoxes - 1].id);
    EXPECT_EQ(IDS_SCRIPT_MISSING, R().boxes[kMaxCommandLineBoxes - 2].id);
}

// An unclosed -f argument that fits, but not with the source directory:
// the scan's 7067, the refused path's 7061, then the rewrite's 7067.
TEST_F(CommandLine, UnclosedScriptPathTooLongForTheSourceDirectory)
{
    SetSourceDir("D:\\" + std::string(200, 's') + "\\");
    const std::string name = std::string(60, 'n') + " x.INS";
    Run("-f\"" + name);
    ExpectBoxes({{IDS_UNCLOSED_QUOTE, "\"" + name}, {IDS_SCRIPT_MISSING, name}, {IDS_UNCLOSED_QUOTE, "\"" + name}});
}

TEST_F(CommandLine, ScriptNameTooLongForTheSourceDirectory)
{
    // 204 bytes of source directory and a 104-byte name: 308 bytes together.
    SetSourceDir("D:\\" + std::string(200, 's') + "\\");
    std::string name = std::string(100, 'n') + ".INS";
    Run("-f" + name);
    ExpectBoxes({{IDS_SCRIPT_MISSING, name}});
    EXPECT_EQ(1, Aborted());
    EXPECT_EQ(name, R().scriptPath);
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
        Run(line);
        EXPECT_EQ(1, R().noSplash) << line.substr(0, 4);
        EXPECT_EQ((int)(line[1] == 'e'), R().engineAsExe);
        EXPECT_EQ(0, R().scriptGiven);
        EXPECT_STREQ("D:\\SETUP.INS", R().scriptPath);
        // The line itself is too long to forward.
        ExpectBoxes({{IDS_LAUNCH_FAILED, ""}});
        EXPECT_STREQ("", R().forwarded);
    }
}

TEST_F(CommandLine, UnclosedQuoteInALongLine)
{
    // The 7067 box already stops the launch: no second box for the length.
    std::string line = "-e\"" + std::string(1000, 'x');
    Run(line);
    ExpectBoxes({{IDS_UNCLOSED_QUOTE, line.substr(2)}});
    EXPECT_STREQ("", R().forwarded);
    EXPECT_EQ(1, Aborted());
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
        char dst[16];
        memset(dst, '#', sizeof dst);
        int fitted = -1;
        const char *unclosed = "sentinel";
        EXPECT_EQ(c.line + c.end, ReadArgument(dst, c.cap, c.line, &fitted, &unclosed)) << c.line;
        EXPECT_STREQ(c.read, dst) << c.line;
        EXPECT_EQ(c.fitted, fitted) << c.line;
        EXPECT_EQ(c.unclosedAt < 0 ? nullptr : c.line + c.unclosedAt, unclosed) << c.line;
        ExpectBoxes({});
        EXPECT_EQ(0, Aborted()) << c.line;
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
        strcpy(SourceDir(), c.sourceDir);
        char path[kCommandLineText];
        strcpy(path, c.path);
        EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path, SourceDir())) << c.path;
        EXPECT_STREQ(c.result, path) << c.path;
    }

    // Exactly 262 bytes fit; one more is refused and leaves the path alone.
    std::string dir = "D:\\" + std::string(250, 'd') + "\\";   // 254 bytes
    strcpy(SourceDir(), dir.c_str());
    char path[kCommandLineText];
    strcpy(path, "12345678");
    EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path, SourceDir()));
    EXPECT_EQ(dir + "12345678", path);
    strcpy(path, "123456789");
    EXPECT_EQ(0, MakeScriptPathAbsolute(path, sizeof path, SourceDir()));
    EXPECT_STREQ("123456789", path);
}

TEST_F(CommandLine, RewriteScriptOptionThatDoesNotFit)
{
    char copy[kCommandLineText];
    const char *unclosed = nullptr;
    const std::string line = std::string(240, 'a') + " -fA.INS";
    // 241 bytes of head, " -f", the path and a blank: a 17-byte path gives
    // 262 bytes and fits; an 18-byte one leaves the copy as it was.
    const std::string fits = "D:\\" + std::string(14, 'x');
    strcpy(copy, line.c_str());
    EXPECT_EQ(1, RewriteScriptOption(copy, sizeof copy, 241, fits.c_str(), &unclosed));
    EXPECT_EQ(std::string(240, 'a') + "  -f" + fits + " ", copy);
    const std::string over = fits + "x";
    strcpy(copy, line.c_str());
    EXPECT_EQ(0, RewriteScriptOption(copy, sizeof copy, 241, over.c_str(), &unclosed));
    EXPECT_EQ(line, copy);
    EXPECT_EQ(nullptr, unclosed);
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
        SetSourceDir("D:\\");
        Run(c.line);
        ExpectBoxes({});
        EXPECT_EQ(c.forwarded, R().forwarded);
        EXPECT_EQ(c.scriptPath, R().scriptPath);
        EXPECT_EQ(c.noSplash, R().noSplash);
    }

    // A source directory ending in 表 still gets its backslash.
    strcpy(SourceDir(), ("D:\\" + hyo).c_str());
    char path[kCommandLineText] = "A.INS";
    EXPECT_EQ(1, MakeScriptPathAbsolute(path, sizeof path, SourceDir()));
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
        std::string head = "D:\\" + std::string(258, 'p');
        Run("-f" + head + hyo + "X");
        ExpectBoxes({{IDS_SCRIPT_MISSING, head}});
        EXPECT_EQ(head, R().scriptPath);
        EXPECT_STREQ("", R().forwarded);
    }
    // Command line: 261 bytes and 表 do not fit the 263-byte copy.
    {
        Run(std::string(261, 'a') + hyo);
        ExpectBoxes({{IDS_LAUNCH_FAILED, ""}});
        EXPECT_STREQ("", R().forwarded);
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
        SetSourceDir("D:\\");
        std::string line = std::string(245, 'a') + hyo;
        Run(line);
        ExpectBoxes({});
        EXPECT_EQ(line + " -fD:\\SETUP.INS", R().forwarded);
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
