// Payload extraction: pieces expanded and appended in order, the exact file
// name (the LZ service's quiet fallback to a name ending in '_' is caught),
// and the wait for an old bootstrap (elapsed time, no spinning, messages
// left in the queue).
#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/files.h"
#include "launcher/extract.h"
#include "base/ids.h"
#include "base/ticks.h"
#include "tests/win/launcher_test_support.h"

#ifndef CORVANE_TEST_DATA_DIR
#error "CORVANE_TEST_DATA_DIR: tests/win/data as the test program sees it"
#endif

namespace {

std::string Fixture(const char *name)
{
    std::string data;
    EXPECT_TRUE(ReadWholeFile(std::string(CORVANE_TEST_DATA_DIR) + "/" + name, &data)) << name;
    return data;
}

std::string Contents(const std::string &path)
{
    std::string data;
    return ReadWholeFile(path, &data) ? data : std::string("<missing>");
}

// Holds a file open as another program would, without sharing.
class HeldFile {
public:
    explicit HeldFile(const std::string &path)
    {
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    ~HeldFile() { Release(); }
    bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    // Releases the file from another thread after `ms`.
    void ReleaseAfter(DWORD ms)
    {
        delayMs_ = ms;
        thread_ = CreateThread(nullptr, 0, ReleaseLater, this, 0, nullptr);
    }
    void Join()
    {
        if (thread_) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = nullptr;
        }
    }

private:
    static DWORD WINAPI ReleaseLater(void *param)
    {
        HeldFile *self = (HeldFile *)param;
        Sleep(self->delayMs_);
        self->Release();
        return 0;
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    HANDLE thread_ = nullptr;
    DWORD delayMs_ = 0;
};

// Clocks for the wait: one that races ahead, one that wraps during it.
volatile uint32_t g_fastTicks = 0;
uint32_t FastTicks()
{
    return g_fastTicks += 1000;
}
volatile uint32_t g_countedTicks = 0;
uint32_t CountingTicks()
{
    g_countedTicks++;
    return GetTickCount();
}
volatile uint32_t g_wrapOffset = 0;
uint32_t WrappingTicks()
{
    return GetTickCount() + g_wrapOffset;
}

struct TickSourceScope {
    explicit TickSourceScope(TickSource source) { TickSetSource(source); }
    ~TickSourceScope() { TickSetSource(nullptr); }
};

class LauncherExtract : public ::testing::Test {
protected:
    LauncherStateScope state_;
};

TEST_F(LauncherExtract, PayloadsFromTheirPieces)
{
    const std::string a = Fixture("piece_a.txt");
    const std::string b = Fixture("piece_b.bin");
    struct { int baseId; int expected; std::string contents; const char *why; } cases[] = {
        {9100, 1, a, "one compressed piece"},
        {9200, 1, a + b, "two pieces appended in order"},
        {9300, 0, "<missing>", "a count of 2 with one piece: the file is deleted"},
        {9400, 1, "", "no count string: an empty file"},
        {9500, 1, b, "a piece in no compressed form is copied as it is"},
        {9600, 1, "", "a count of 0: an empty file"},
    };
    for (auto &c : cases) {
        ScratchDir dir;
        ErrorBoxes boxes;
        EXPECT_EQ(c.expected, ExtractPayload(dir.path().c_str(), c.baseId, "_INS0366._MP")) << c.why;
        EXPECT_EQ(c.contents, Contents(dir.file("_INS0366._MP"))) << c.why;
        std::vector<std::string> left = dir.Files();
        EXPECT_EQ(c.expected ? 1u : 0u, left.size()) << c.why << ": no temporary piece left";
        EXPECT_EQ(0, boxes.Count()) << "the caller shows the box";
    }
}

TEST_F(LauncherExtract, FailuresLeaveNothingBehind)
{
    ScratchDir dir;
    EXPECT_EQ(0, ExtractPayload((dir.path() + "\\missing").c_str(), 9100, "_INS0366._MP"));
    Crc32Table table;
    Crc32Init(&table);
    PayloadSum sum = {0, 0};
    EXPECT_EQ(0, ExpandPiece(INVALID_HANDLE_VALUE, 9999, &table, &sum)) << "no such piece";
    // A piece that cannot be written.
    EXPECT_EQ(0, ExpandPiece(INVALID_HANDLE_VALUE, 9100, &table, &sum));
    EXPECT_TRUE(dir.Files().empty());
}

TEST_F(LauncherExtract, PayloadGoesUnderItsExactNameOrNowhere)
{
    // The platform's LZ service, when it cannot create a name, creates the
    // same name ending in '_' instead and reports success. An old bootstrap
    // still held open would stay, and be started as if it were new.
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("_INS0366._MP"), "old bootstrap"));
    HeldFile held(dir.file("_INS0366._MP"));
    ASSERT_TRUE(held.held());

    EXPECT_EQ(0, ExtractPayload(dir.path().c_str(), 9100, "_INS0366._MP"));
    held.Release();
    EXPECT_EQ(std::vector<std::string>{"_INS0366._MP"}, dir.Files()) << "no stray _INS0366._M_";
    EXPECT_EQ("old bootstrap", Contents(dir.file("_INS0366._MP")));
}

TEST_F(LauncherExtract, CannotDelete)
{
    ScratchDir dir;
    EXPECT_EQ(0, CannotDelete(dir.file("absent").c_str()));

    ASSERT_TRUE(WriteWholeFile(dir.file("plain"), "x"));
    EXPECT_EQ(0, CannotDelete(dir.file("plain").c_str()));
    EXPECT_FALSE(Exists(dir.file("plain"))) << "deleted on the way";

    ASSERT_TRUE(WriteWholeFile(dir.file("held"), "x"));
    {
        HeldFile held(dir.file("held"));
        EXPECT_EQ(1, CannotDelete(dir.file("held").c_str()));
    }
    EXPECT_TRUE(Exists(dir.file("held")));
}

TEST_F(LauncherExtract, AllThreePayloads)
{
    const std::string a = Fixture("piece_a.txt");
    const std::string b = Fixture("piece_b.bin");
    for (int engineAsExe = 0; engineAsExe <= 1; engineAsExe++) {
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(dir.file("_INS0366._MP"), "old bootstrap"));
        ErrorBoxes boxes;
        EXPECT_EQ(0, ExtractPayloads(dir.path().c_str(), engineAsExe));
        std::string engine = engineAsExe ? "_INS0466.EXE" : "_INS0466._MP";
        std::vector<std::string> expected = {"_INS0166._MP", "_INS0366._MP", engine};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, dir.Files());
        EXPECT_EQ(a, Contents(dir.file("_INS0366._MP"))) << "the old bootstrap was replaced";
        EXPECT_EQ(b, Contents(dir.file(engine)));
        EXPECT_EQ(a, Contents(dir.file("_INS0166._MP")));
        EXPECT_EQ(0, boxes.Count());
    }
}

TEST_F(LauncherExtract, WaitsForAnOldBootstrapWithoutSpinningOrTakingMessages)
{
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("_INS0366._MP"), "old bootstrap"));
    HeldFile held(dir.file("_INS0366._MP"));
    ASSERT_TRUE(held.held());

    // A message waiting in the queue must still be there afterwards.
    const UINT kMarker = WM_APP + 17;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);   // makes the queue
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), kMarker, 1, 2));

    // The clock is read once per try: a wait that spins tries thousands of
    // times a second.
    g_countedTicks = 0;
    TickSourceScope clock(CountingTicks);
    DWORD start = GetTickCount();
    held.ReleaseAfter(1200);
    ErrorBoxes boxes;
    EXPECT_EQ(0, ExtractPayloads(dir.path().c_str(), 0));
    DWORD elapsed = GetTickCount() - start;
    held.Join();

    EXPECT_GE(elapsed, 1000u) << "it waited for the release";
    // Order, not speed: it went on at the release, before the 20 s give-up.
    EXPECT_LT(elapsed, 20000u);
    EXPECT_EQ(Fixture("piece_a.txt"), Contents(dir.file("_INS0366._MP")));
    EXPECT_EQ(0, boxes.Count());
    EXPECT_LT(g_countedTicks, elapsed / 4) << g_countedTicks << " tries in " << elapsed << " ms: spinning";

    ASSERT_TRUE(PeekMessageA(&msg, nullptr, kMarker, kMarker, PM_REMOVE)) << "the wait took a message";
    EXPECT_EQ(1u, msg.wParam);
}

TEST_F(LauncherExtract, GivesUpAfterTheWaitWithTheBootstrapBox)
{
    // The clock races ahead, so the 20 s pass at once. The old file stays
    // held: the bootstrap cannot be written under its name, so box 7064, and
    // only the old file remains.
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("_INS0366._MP"), "old bootstrap"));
    HeldFile held(dir.file("_INS0366._MP"));
    ASSERT_TRUE(held.held());
    TickSourceScope clock(FastTicks);
    ErrorBoxes boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(IDS_EXPAND_BOOTSTRAP, ExtractPayloads(dir.path().c_str(), 0));
    EXPECT_LT(GetTickCount() - start, 20000u) << "the real 20 s were waited out";
    EXPECT_EQ(0, boxes.Count()) << "the caller shows the box: " << boxes.Describe();
    held.Release();
    EXPECT_EQ(std::vector<std::string>{"_INS0366._MP"}, dir.Files());
    EXPECT_EQ("old bootstrap", Contents(dir.file("_INS0366._MP")));
}

TEST_F(LauncherExtract, AFolderUnderThePayloadsNameIsNotWaitedFor)
{
    // A folder never becomes deletable as a file: no 20 s wait, the
    // bootstrap's box at once, and the folder left alone.
    ScratchDir dir;
    ASSERT_TRUE(CreateDirectoryA(dir.file("_INS0366._MP").c_str(), nullptr));
    ErrorBoxes boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(IDS_EXPAND_BOOTSTRAP, ExtractPayloads(dir.path().c_str(), 0));
    EXPECT_LT(GetTickCount() - start, 20000u) << "the real 20 s were waited out";
    EXPECT_EQ(0, boxes.Count()) << "the caller shows the box: " << boxes.Describe();
    EXPECT_TRUE(IsDirectory(dir.file("_INS0366._MP").c_str()));
    RemoveDirectoryA(dir.file("_INS0366._MP").c_str());
}

TEST_F(LauncherExtract, APayloadNameTakenByAFolderFailsThatPayload)
{
    // The engine's name is a folder: its box, the bootstrap stays, the
    // folder is not touched.
    ScratchDir dir;
    ASSERT_TRUE(CreateDirectoryA(dir.file("_INS0466._MP").c_str(), nullptr));
    ErrorBoxes boxes;
    EXPECT_EQ(IDS_EXPAND_ENGINE, ExtractPayloads(dir.path().c_str(), 0));
    EXPECT_EQ(0, boxes.Count()) << "the caller shows the box: " << boxes.Describe();
    EXPECT_TRUE(IsDirectory(dir.file("_INS0466._MP").c_str()));
    EXPECT_EQ(Fixture("piece_a.txt"), Contents(dir.file("_INS0366._MP")));
    RemoveDirectoryA(dir.file("_INS0466._MP").c_str());
}

TEST_F(LauncherExtract, WaitSurvivesTheTickCountWrap)
{
    // The count wraps 200 ms into the wait; the file is released after
    // 800 ms. A deadline of start + 20000 would have wrapped to a small
    // number and ended the wait at once.
    ScratchDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.file("_INS0366._MP"), "old bootstrap"));
    HeldFile held(dir.file("_INS0366._MP"));
    ASSERT_TRUE(held.held());
    g_wrapOffset = 0u - GetTickCount() - 200u;
    TickSourceScope clock(WrappingTicks);
    held.ReleaseAfter(800);
    ErrorBoxes boxes;
    EXPECT_EQ(0, ExtractPayloads(dir.path().c_str(), 0));
    held.Join();
    EXPECT_EQ(0, boxes.Count()) << boxes.Describe();
    EXPECT_EQ(Fixture("piece_a.txt"), Contents(dir.file("_INS0366._MP")));
}

TEST_F(LauncherExtract, EachPayloadHasItsBox)
{
    // A payload whose file cannot be created shows that payload's box; the
    // files expanded before it stay.
    struct { const char *blocked; int box; std::vector<std::string> left; } cases[] = {
        {"_INS0466._MP", IDS_EXPAND_ENGINE, {"_INS0366._MP", "_INS0466._MP"}},
        {"_INS0166._MP", IDS_EXPAND_COMPANION, {"_INS0166._MP", "_INS0366._MP", "_INS0466._MP"}},
    };
    for (auto &c : cases) {
        ScratchDir dir;
        ASSERT_TRUE(WriteWholeFile(dir.file(c.blocked), "in the way"));
        HeldFile held(dir.file(c.blocked));
        ErrorBoxes boxes;
        EXPECT_EQ(c.box, ExtractPayloads(dir.path().c_str(), 0)) << c.blocked;
        EXPECT_EQ(0, boxes.Count()) << "the caller shows the box: " << boxes.Describe();
        held.Release();
        EXPECT_EQ(c.left, dir.Files()) << c.blocked;
        EXPECT_EQ("in the way", Contents(dir.file(c.blocked)));
    }
}

}  // namespace
