// Text and path helpers: the cases that decide paths and tokens, including
// the double-byte ones where a second byte looks like a separator.
#include <string.h>

#include <string>

#include "base/text.h"
#include "tests/unit/test_support.h"

namespace {

// Shift-JIS characters whose second byte looks like ASCII punctuation.
const char kHyo[] = "\x95\x5C";      // U+8868, second byte is '\'
const char kSo[] = "\x83\x5C";       // U+30BD, second byte is '\'

struct DirectoryCase {
    const char *path;
    const char *directory;
};

TEST(DirectoryPart, Table)
{
    const DirectoryCase cases[] = {
        {"C:\\SETUP.EXE", "C:\\"},
        {"C:SETUP.EXE", "C:"},
        {"\\SETUP.EXE", "\\"},
        {"SETUP.EXE", ""},
        {"C:\\DISK1\\SETUP.EXE", "C:\\DISK1"},
        {"C:\\DISK1\\", "C:\\DISK1"},
        {"DISK1\\SETUP.EXE", "DISK1\\"},
        {"A\\B\\C.EXE", "A\\B"},
        {"C:DISK1\\SETUP.EXE", "C:DISK1\\"},
        {"\\\\SERVER\\SHARE\\SETUP.EXE", "\\\\SERVER\\SHARE"},
        {"", ""},
        {"A/B.EXE", ""},   // the forward slash is no separator
    };
    for (const DirectoryCase &c : cases) {
        char out[kPathBuffer];
        memset(out, 'x', sizeof out);
        EXPECT_EQ(1, DirectoryPart(c.path, out, sizeof out)) << c.path;
        EXPECT_STREQ(c.directory, out) << c.path;
    }
}

TEST(DirectoryPart, InPlaceAndTooSmall)
{
    char path[kPathBuffer] = "C:\\DISK1\\SETUP.EXE";
    EXPECT_EQ(1, DirectoryPart(path, path, sizeof path));
    EXPECT_STREQ("C:\\DISK1", path);

    // "C:\DISK1" needs 9 bytes: 8 leave the output empty, not cut.
    char small[9];
    EXPECT_EQ(0, DirectoryPart("C:\\DISK1\\SETUP.EXE", small, 8));
    EXPECT_STREQ("", small);
    EXPECT_EQ(1, DirectoryPart("C:\\DISK1\\SETUP.EXE", small, 9));
    EXPECT_STREQ("C:\\DISK1", small);
}

TEST(DirectoryPart, Cp932SecondByteIsNoSeparator)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char out[kPathBuffer];
    // C:\表\A.INS: the 0x5C inside 表 is not a level.
    std::string path = std::string("C:\\") + kHyo + "\\A.INS";
    EXPECT_EQ(1, DirectoryPart(path.c_str(), out, sizeof out));
    EXPECT_EQ(std::string("C:\\") + kHyo, out);
    // 表.INS alone has no directory at all.
    path = std::string(kHyo) + ".INS";
    EXPECT_EQ(1, DirectoryPart(path.c_str(), out, sizeof out));
    EXPECT_STREQ("", out);
    // ソ\X: one separator, kept.
    path = std::string(kSo) + "\\X";
    EXPECT_EQ(1, DirectoryPart(path.c_str(), out, sizeof out));
    EXPECT_EQ(std::string(kSo) + "\\", out);
}

TEST(AddTrailingBackslash, EmptyRootAndDirectory)
{
    char path[kPathBuffer] = "";
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_STREQ("", path);

    strcpy(path, "C:\\");
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_STREQ("C:\\", path);

    strcpy(path, "C:\\DISK1");
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_STREQ("C:\\DISK1\\", path);

    strcpy(path, "C:");
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_STREQ("C:\\", path);
}

TEST(AddTrailingBackslash, FullBufferIsRefused)
{
    // Guard bytes after the buffer show any write past it.
    char buffer[12];
    memset(buffer, '#', sizeof buffer);
    strcpy(buffer, "C:\\ABCDEFG");            // 10 bytes, terminator at [10]
    EXPECT_EQ(0, AddTrailingBackslash(buffer, 11));
    EXPECT_STREQ("C:\\ABCDEFG", buffer);
    EXPECT_EQ('#', buffer[11]);
    EXPECT_EQ(1, AddTrailingBackslash(buffer, 12));
    EXPECT_STREQ("C:\\ABCDEFG\\", buffer);
}

TEST(AddTrailingBackslash, Cp932TrailByteIsNoBackslash)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char path[kPathBuffer];
    std::string dir = std::string("C:\\") + kHyo;
    strcpy(path, dir.c_str());
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_EQ(dir + "\\", path);
    // Once added, it is not added again.
    EXPECT_EQ(1, AddTrailingBackslash(path, sizeof path));
    EXPECT_EQ(dir + "\\", path);
}

struct QuoteCase {
    const char *text;
    int result;
    const char *after;
};

TEST(QuoteIfSpaces, Table)
{
    const QuoteCase cases[] = {
        {"", 0, ""},
        {"C:\\SETUP.INS", 0, "C:\\SETUP.INS"},
        {"C:\\MY DISK\\A.INS", 1, "\"C:\\MY DISK\\A.INS\""},
        {" ", 1, "\" \""},
        {"A\tB", 0, "A\tB"},                               // a tab is no blank
        {"\"C:\\MY DISK\\A.INS", 1, "\"C:\\MY DISK\\A.INS"},  // begins with a quote
        {"\"", 1, "\""},
    };
    for (const QuoteCase &c : cases) {
        char text[kPathBuffer + 2];
        strcpy(text, c.text);
        EXPECT_EQ(c.result, QuoteIfSpaces(text, sizeof text)) << c.text;
        EXPECT_STREQ(c.after, text) << c.text;
    }
}

TEST(QuoteIfSpaces, NeedsTwoMoreBytes)
{
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    strcpy(buffer, "A B");   // quoted: "A B" plus terminator = 6 bytes
    EXPECT_EQ(-1, QuoteIfSpaces(buffer, 5));
    EXPECT_STREQ("A B", buffer);
    EXPECT_EQ('#', buffer[5]);
    EXPECT_EQ(1, QuoteIfSpaces(buffer, 6));
    EXPECT_STREQ("\"A B\"", buffer);
    EXPECT_EQ('#', buffer[6]);
}

TEST(CopyToken, ListOfLocaleIds)
{
    const char *list = "1033, 2057";
    char token[kPathBuffer];
    const char *p = CopyToken(list, token, sizeof token, ",");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(list + 5, p);
    EXPECT_STREQ("1033", token);
    p = CopyToken(p, token, sizeof token, ",");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ('\0', *p);
    EXPECT_STREQ(" 2057", token);
    EXPECT_EQ(1, TrimBlanks(token));
    EXPECT_STREQ("2057", token);
    // At the terminator it stays there with an empty token.
    EXPECT_EQ(p, CopyToken(p, token, sizeof token, ","));
    EXPECT_STREQ("", token);
    // A delimiter first gives an empty token.
    p = CopyToken(",x", token, sizeof token, ",");
    ASSERT_NE(nullptr, p);
    EXPECT_STREQ("", token);
    EXPECT_STREQ("x", p);
}

TEST(CopyToken, LengthLimit)
{
    char token[kPathBuffer + 1];
    for (size_t length : {size_t(259), size_t(260), size_t(261), size_t(300)}) {
        std::string text(length, 'a');
        std::string withTail = text + ",rest";
        memset(token, '#', sizeof token);
        const char *p = CopyToken(withTail.c_str(), token, kPathBuffer, ",");
        if (length <= 260) {
            ASSERT_NE(nullptr, p) << length;
            EXPECT_EQ(text, token) << length;
            EXPECT_STREQ("rest", p);
        } else {
            EXPECT_EQ(nullptr, p) << length;
            EXPECT_STREQ("", token) << length;
        }
        EXPECT_EQ('#', token[kPathBuffer]) << length;   // never past 261 bytes
        // The same at the end of the text.
        p = CopyToken(text.c_str(), token, kPathBuffer, ",");
        EXPECT_EQ(length <= 260, p != nullptr) << length;
    }
}

TEST(CopyToken, Cp932DoubleByteAtTheLimit)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char token[kPathBuffer + 1];
    // 258 + one double-byte character = 260 bytes: fits.
    std::string fits = std::string(258, 'a') + kHyo;
    memset(token, '#', sizeof token);
    ASSERT_NE(nullptr, CopyToken(fits.c_str(), token, kPathBuffer, ","));
    EXPECT_EQ(fits, token);
    // 259 + one double-byte character = 261 bytes: none, and not split.
    std::string over = std::string(259, 'a') + kHyo;
    memset(token, '#', sizeof token);
    EXPECT_EQ(nullptr, CopyToken(over.c_str(), token, kPathBuffer, ","));
    EXPECT_STREQ("", token);
    EXPECT_EQ('#', token[kPathBuffer]);
}

TEST(CopyToken, Cp932SecondByteIsNoDelimiter)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char token[kPathBuffer];
    std::string text = std::string("A") + kHyo + "B\\C";
    const char *p = CopyToken(text.c_str(), token, sizeof token, "\\");
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(std::string("A") + kHyo + "B", token);
    EXPECT_STREQ("C", p);
}

struct TrimCase {
    const char *text;
    const char *after;
};

TEST(TrimBlanks, Table)
{
    const TrimCase cases[] = {
        {"     ab  ", "ab"},
        {"\t a b \t", "a b"},
        {"ab", "ab"},
        {"", ""},
        {"   ", ""},
        {" \t\t ", ""},
        {"x ", "x"},
        {" x", "x"},
        {"a\r\n", "a\r\n"},   // only blanks and tabs
    };
    for (const TrimCase &c : cases) {
        char text[32];
        strcpy(text, c.text);
        EXPECT_EQ(1, TrimBlanks(text)) << c.text;
        EXPECT_STREQ(c.after, text) << c.text;
    }
    EXPECT_EQ(0, TrimBlanks(nullptr));
}

TEST(TrimBlanks, Cp932KeepsDoubleByteCharacters)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char text[32];
    std::string in = std::string("  ") + kHyo + " " + kSo + "  ";
    strcpy(text, in.c_str());
    EXPECT_EQ(1, TrimBlanks(text));
    EXPECT_EQ(std::string(kHyo) + " " + kSo, text);
}

TEST(TextCopy, FitsExactlyOrIsCut)
{
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(1, TextCopy(buffer, 6, "abcde"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(0, TextCopy(buffer, 6, "abcdef"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ('#', buffer[6]);
    EXPECT_EQ(0, TextCopy(buffer, 0, "a"));

    EXPECT_EQ(1, TextCopy(buffer, 6, "ab"));
    EXPECT_EQ(1, TextAppend(buffer, 6, "cde"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(0, TextAppend(buffer, 6, "f"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(1, TextAppend(buffer, 6, ""));
    EXPECT_EQ('#', buffer[6]);
}

TEST(TextAppend, UnterminatedDestinationIsNotWalkedPast)
{
    char buffer[6];
    memset(buffer, 'a', sizeof buffer);
    EXPECT_EQ(0, TextAppend(buffer, 4, "b"));
    EXPECT_STREQ("aaa", buffer);
}

TEST(TextCopy, Cp932NeverSplitsACharacter)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char buffer[8];
    std::string text = std::string("abcd") + kHyo;   // 6 bytes
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(0, TextCopy(buffer, 6, text.c_str()));
    EXPECT_STREQ("abcd", buffer);
    EXPECT_EQ(1, TextCopy(buffer, 7, text.c_str()));
    EXPECT_EQ(text, buffer);

    strcpy(buffer, "abc");
    EXPECT_EQ(0, TextAppend(buffer, 5, kHyo));
    EXPECT_STREQ("abc", buffer);

    EXPECT_EQ(1, IsDoubleByteChar(kHyo));
    EXPECT_EQ(0, IsDoubleByteChar("a"));
    char two[3] = "xy";
    EXPECT_EQ(1, CopyChar(two, kHyo));
    EXPECT_EQ(std::string(kHyo), two);
    EXPECT_EQ(1, CopyChar(two, "z"));
    EXPECT_EQ(std::string("z") + kHyo[1], two);   // one byte, no terminator
}

struct FormatCase {
    const char *format;
    const char *argument;
    const char *result;
};

TEST(FormatOneArgument, Table)
{
    const FormatCase cases[] = {
        {"Script %s not found.", "D:\\SETUP.INS", "Script D:\\SETUP.INS not found."},
        {"%s", nullptr, ""},
        {"100%% %s", "x", "100% x"},
        {"%s and %s", "a", "a and %s"},   // one argument only
        {"%d %s", "a", "%d a"},
        {"end %", "a", "end %"},
        {"no argument", "a", "no argument"},
        {"%s", "%s%%", "%s%%"},           // the argument is not a format
    };
    for (const FormatCase &c : cases) {
        char out[64];
        EXPECT_EQ(1, FormatOneArgument(out, sizeof out, c.format, c.argument)) << c.format;
        EXPECT_STREQ(c.result, out) << c.format;
    }
}

TEST(FormatOneArgument, CutsAtTheBuffer)
{
    char out[12];
    memset(out, '#', sizeof out);
    EXPECT_EQ(0, FormatOneArgument(out, 10, "[%s] tail", "abcdefgh"));
    EXPECT_STREQ("[abcdefgh", out);
    EXPECT_EQ('#', out[10]);
    std::string huge(32767, 'x');
    EXPECT_EQ(0, FormatOneArgument(out, 10, "%s", huge.c_str()));
    EXPECT_EQ(std::string(9, 'x'), out);
}

TEST(FormatOneArgument, Cp932NeverSplitsACharacter)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    char out[8];
    std::string argument = std::string("abcd") + kHyo;
    EXPECT_EQ(0, FormatOneArgument(out, 6, "%s", argument.c_str()));
    EXPECT_STREQ("abcd", out);
}

struct DecimalCase {
    const char *text;
    long value;
};

TEST(ParseDecimal, Table)
{
    const DecimalCase cases[] = {
        {"42", 42},
        {"  \t42", 42},
        {"\r\n 9", 9},
        {"-7", -7},
        {"+5", 5},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"- 3", 0},
        {"30000", 30000},
        {"2147483647", 2147483647L},
        {"2147483648", -2147483647L - 1},   // wraps in 32 bits
        {"4294967297", 1},
    };
    for (const DecimalCase &c : cases)
        EXPECT_EQ(c.value, ParseDecimal(c.text)) << c.text;
}

}  // namespace
