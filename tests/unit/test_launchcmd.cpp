// The bootstrap's command line: its form, the quoting of a program path or
// work directory with a blank, and refusal (never truncation) when it does
// not fit the 768-byte buffer.
#include <string>

#include <gtest/gtest.h>

#include "launcher/launchcmd.h"
#include "tests/unit/test_support.h"

namespace {

class LaunchCommandTest : public ::testing::Test {
protected:
    // Builds with the given forwarded copy and options; "" when refused.
    std::string Build(const std::string &directory, const std::string &fileName, const std::string &copy,
                      int addZ1, bool splash, int *result = nullptr)
    {
        copy.copy(copy_, sizeof copy_ - 1);
        copy_[copy.size() < sizeof copy_ ? copy.size() : sizeof copy_ - 1] = '\0';
        CommandLineResult options = {};
        options.forwarded = copy_;
        options.addZ1 = addZ1;
        std::string out(kLaunchCommandBuffer + 16, 'X');
        int r = BuildLaunchCommand(&out[0], kLaunchCommandBuffer, directory.c_str(), fileName.c_str(), &options,
                                   splash);
        if (result)
            *result = r;
        EXPECT_EQ('X', out[kLaunchCommandBuffer]) << "wrote past the buffer";
        return out.c_str();
    }

    char copy_[kCommandLineText] = "";
};

struct CommandCase {
    const char *name;
    const char *directory;
    const char *fileName;
    const char *copy;
    int addZ1;
    bool splash;
    const char *expected;
};

TEST_F(LaunchCommandTest, FormsOfTheCommand)
{
    const CommandCase cases[] = {
        {"the documented example: splash, default -z1", "C:\\TEMP\\", "_INS0366._MP", " -fD:\\SETUP.INS", 1, true,
         "C:\\TEMP\\_INS0366._MP  -fD:\\SETUP.INS  -z1 -cx -xC:\\TEMP\\"},
        {"no splash, -z given", "C:\\TEMP\\", "_INS0366._MP", "-z -fD:\\SETUP.INS", 0, false,
         "C:\\TEMP\\_INS0366._MP -z -fD:\\SETUP.INS  -c -xC:\\TEMP\\"},
        {"drive root found by the scan", "c:\\", "_INS0366._MP", " -fD:\\SETUP.INS", 1, false,
         "c:\\_INS0366._MP  -fD:\\SETUP.INS  -z1 -c -xc:\\"},
        {"engine already loaded: its directory without a backslash", "C:\\Engine", "_INS0466._MP",
         " -fD:\\SETUP.INS", 1, false, "C:\\Engine\\_INS0466._MP  -fD:\\SETUP.INS  -z1 -c -xC:\\Engine"},
        {"a blank in the work directory quotes the program and -x", "C:\\My Temp\\", "_INS0366._MP",
         " -fD:\\SETUP.INS", 1, true,
         "\"C:\\My Temp\\_INS0366._MP\"  -fD:\\SETUP.INS  -z1 -cx -x\"C:\\My Temp\\\""},
        {"the user's options pass through untouched", "C:\\T\\", "_INS0366._MP",
         "-s /x \"a b\" -f\"D:\\my dir\\A.INS\" ", 1, false,
         "C:\\T\\_INS0366._MP -s /x \"a b\" -f\"D:\\my dir\\A.INS\"   -z1 -c -xC:\\T\\"},
    };
    for (const CommandCase &c : cases) {
        int result = -1;
        std::string command = Build(c.directory, c.fileName, c.copy, c.addZ1, c.splash, &result);
        EXPECT_EQ(1, result) << c.name;
        EXPECT_EQ(c.expected, command) << c.name;
    }
}

TEST_F(LaunchCommandTest, RefusesACommandThatDoesNotFit)
{
    // Program (d + 12) + " " + copy + " " + " -z1" + " -c" + " -x" + d:
    // 2 * 241 + 285 = 767 characters fit exactly; one more does not.
    std::string directory = "C:\\" + std::string(237, 'a') + "\\";
    ASSERT_EQ(241u, directory.size());
    std::string copy261 = " -f" + std::string(258, 'b');
    std::string copy262 = copy261 + "c";

    int result = -1;
    std::string fits = Build(directory, "_INS0366._MP", copy261, 1, false, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(767u, fits.size());
    EXPECT_EQ(directory, fits.substr(fits.size() - directory.size()));

    std::string refused = Build(directory, "_INS0366._MP", copy262, 1, false, &result);
    EXPECT_EQ(0, result) << "a cut command would lose the work directory";
    EXPECT_EQ("", refused);

    // The quotes count too.
    std::string blankDirectory = "C:\\" + std::string(118, 'a') + " " + std::string(118, 'a') + "\\";
    ASSERT_EQ(241u, blankDirectory.size());
    std::string quoted = Build(blankDirectory, "_INS0366._MP", " -f" + std::string(254, 'b'), 1, false, &result);
    EXPECT_EQ(1, result);
    EXPECT_EQ(767u, quoted.size());
    Build(blankDirectory, "_INS0366._MP", " -f" + std::string(255, 'b'), 1, false, &result);
    EXPECT_EQ(0, result);
}

TEST_F(LaunchCommandTest, DoubleByteDirectoryEndingInTrailByte5CCp932)
{
    CodePage932 cp;
    REQUIRE_CP932(cp);
    // 0x95 0x5C is one character whose second byte looks like a backslash:
    // the directory still needs its own backslash before the file name.
    std::string directory = "C:\\\x95\x5C";
    std::string command = Build(directory, "_INS0366._MP", " -fD:\\SETUP.INS", 1, false);
    EXPECT_EQ(directory + "\\_INS0366._MP  -fD:\\SETUP.INS  -z1 -c -x" + directory, command);
}

}  // namespace
