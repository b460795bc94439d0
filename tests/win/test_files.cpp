// Windows-only helpers: FileExists against a real directory, and the error
// box watcher that the shared tests rely on.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

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

}  // namespace
