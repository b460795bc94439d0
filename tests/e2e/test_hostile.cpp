// Hostile resource libraries: a _SETUP.DLL whose resources lie about their
// sizes or hold absurd content must not crash the launcher nor make it read
// outside a resource; it falls back to its own texts, to no splash, or keeps
// the splash on the screen's work area.
#include "tests/e2e/e2e_support.h"

#include <string.h>

namespace {

using e2e::Case;

const UINT kTableType = 1001;
const UINT kTableName = 100;
const UINT kSampleBitmap = 7510;
const UINT kSampleLogo = 7520;

uint32_t U32At(const std::string &b, size_t at) {
    if (at + 4 > b.size())
        return 0;
    uint32_t v;
    memcpy(&v, &b[at], 4);
    return v;
}

uint16_t U16At(const std::string &b, size_t at) {
    if (at + 2 > b.size())
        return 0;
    uint16_t v;
    memcpy(&v, &b[at], 2);
    return v;
}

// File offset of the size field of the first data entry of resource
// (type, name) in a PE file; 0 when not found. Only for well-formed test
// libraries made by our own build.
size_t SizeFieldOf(const std::string &file, UINT type, UINT name) {
    const size_t pe = U32At(file, 0x3C);
    const size_t sections = pe + 24 + U16At(file, pe + 20);
    // The data directories: 96 bytes into a PE32 optional header, 112 into a PE32+ one.
    const size_t directories = pe + 24 + (U16At(file, pe + 24) == 0x20B ? 112 : 96);
    const uint32_t rsrcRva = U32At(file, directories + 2 * 8);
    size_t rsrcFile = 0;
    for (int i = 0; i < U16At(file, pe + 6); i++) {
        const size_t s = sections + size_t(i) * 40;
        const uint32_t va = U32At(file, s + 12), size = U32At(file, s + 8), raw = U32At(file, s + 20);
        if (rsrcRva >= va && rsrcRva < va + size)
            rsrcFile = raw + (rsrcRva - va);
    }
    if (rsrcFile == 0)
        return 0;
    // Type, name, language: the first entry whose id matches at each level.
    size_t dir = rsrcFile;
    const UINT ids[2] = {type, name};
    for (int level = 0; level < 3; level++) {
        const size_t count = size_t(U16At(file, dir + 12)) + U16At(file, dir + 14);
        size_t next = 0;
        for (size_t e = 0; e < count; e++) {
            const size_t entry = dir + 16 + e * 8;
            const uint32_t id = U32At(file, entry), target = U32At(file, entry + 4);
            if (level < 2 && ((id & 0x80000000u) || id != ids[level]))
                continue;
            if (level < 2)
                next = rsrcFile + (target & 0x7FFFFFFFu);
            else
                return rsrcFile + target + 4;  // the data entry: RVA, then size
            break;
        }
        if (next == 0)
            return 0;
        dir = next;
    }
    return 0;
}

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<UINT> *>(param)->push_back(UINT(reinterpret_cast<UINT_PTR>(name)));
    return TRUE;
}

std::vector<UINT> StringBlocks(const std::string &module) {
    std::vector<UINT> blocks;
    HMODULE m = LoadLibraryExA(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (m != nullptr) {
        EnumResourceNamesA(m, RT_STRING, CollectName, reinterpret_cast<LONG_PTR>(&blocks));
        FreeLibrary(m);
    }
    return blocks;
}

std::string Library(const Case &c) {
    return c.medium + "_SETUP.DLL";
}

// The box for a missing script, as the launcher's own table gives it.
void ExpectOwnMissingScriptBox(const Case &c, const e2e::Result &r) {
    ASSERT_EQ(r.run.boxes.size(), 1u) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].caption, rig::LoadModuleString(c.Launcher(), 7112)) << e2e::Describe(r);
    EXPECT_EQ(r.run.boxes[0].text,
              e2e::FormatBoxText(rig::LoadModuleString(c.Launcher(), 7061), c.medium + "missing.ins"));
}

e2e::Result RunMissingScript(const Case &c) {
    e2e::Launch launch;
    launch.arguments = "-fmissing.ins";
    launch.waitForExit = true;
    launch.timeoutMs = 30000;
    return e2e::RunLauncher(c, launch);
}

// The launcher runs the setup, with no box and no splash.
void ExpectLaunchWithoutSplash(const Case &c) {
    e2e::Launch launch;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    EXPECT_TRUE(r.launched) << "the setup goes on without a splash: " << e2e::Describe(r);
    EXPECT_FALSE(r.run.splashSeen);
}

// Sets the splash type in the header of the library's language table
// (bytes 8 and 9).
bool SetSplashType(const Case &c, uint16_t type) {
    std::string table;
    if (!rig::ReadResource(Library(c), kTableType, kTableName, table) || table.size() <= 10)
        return false;
    table[8] = char(type & 0xFF);
    table[9] = char(type >> 8);
    return rig::ReplaceResource(Library(c), kTableType, kTableName, table);
}

// The run ends as the missing script's box says: its id, not a crash's code.
void ExpectCleanExit(const e2e::Result &r) {
    EXPECT_TRUE(r.run.exited) << e2e::Describe(r);
    EXPECT_EQ(r.run.exitCode, 7061u) << e2e::Describe(r);
}

// Resource sizes that run past the end of the library's file: the language
// table's, or the caption's string blocks (1110 in English, 2110, 3110). The
// launcher reads neither and falls back to its own texts.
struct SizeLieRow {
    const char *name;
    UINT type;
    std::vector<UINT> names;
    uint32_t size;   // 0: the file's size plus 15 MB
};

void PrintTo(const SizeLieRow &row, std::ostream *os) {
    *os << row.name;
}

class SizePastTheFile : public ::testing::TestWithParam<SizeLieRow> {};

TEST_P(SizePastTheFile, FallsBackToTheLaunchersTexts) {
    E2E_REQUIRE_LAUNCHER();
    const SizeLieRow &row = GetParam();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    std::string file;
    ASSERT_TRUE(rig::ReadBytes(Library(c), file));
    const uint32_t lie = row.size ? row.size : uint32_t(file.size()) + 0x00F00000u;
    for (UINT name : row.names) {
        const size_t sizeField = SizeFieldOf(file, row.type, name);
        ASSERT_NE(sizeField, 0u) << "the sample library has resource " << row.type << "/" << name;
        memcpy(&file[sizeField], &lie, 4);
    }
    ASSERT_TRUE(rig::WriteBytes(Library(c), file));

    const e2e::Result r = RunMissingScript(c);
    ExpectCleanExit(r);
    ExpectOwnMissingScriptBox(c, r);
}

const SizeLieRow kSizeLieRows[] = {
    {"LanguageTable", kTableType, {kTableName}, 0},
    {"CaptionStringBlocks", 6, {1110 / 16 + 1, 2110 / 16 + 1, 3110 / 16 + 1}, 0x7FFFFFF0u},
};

std::string SizeLieName(const ::testing::TestParamInfo<SizeLieRow> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(HostileLibrary, SizePastTheFile, ::testing::ValuesIn(kSizeLieRows), SizeLieName);

TEST(HostileLibrary, StringBlocksWithLengthsPastTheirEndAreNotRead) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    const std::vector<UINT> blocks = StringBlocks(Library(c));
    ASSERT_FALSE(blocks.empty());
    // Every block: its first string claims 255 characters, two bytes follow.
    const std::string broken("\xFF\x00\x41\x00", 4);
    for (UINT block : blocks) {
        ASSERT_TRUE(rig::ReplaceResource(Library(c), 6, block, broken)) << block;
    }
    const e2e::Result r = RunMissingScript(c);
    ExpectCleanExit(r);
    ExpectOwnMissingScriptBox(c, r);
}

TEST(HostileLibrary, ABitmapPromisingMorePixelsThanItHoldsGivesNoSplash) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    std::string bitmap;
    ASSERT_TRUE(rig::ReadResource(Library(c), 2, kSampleBitmap, bitmap)) << "the sample splash is a bitmap";
    // 4000 x 4000 at 24 bits: 48 MB promised, 200 bytes present.
    std::string lie(40 + 200, '\x55');
    const uint32_t header[] = {40, 4000, 4000, (24u << 16) | 1u, 0, 0, 0, 0, 0, 0};
    memcpy(&lie[0], header, sizeof header);
    ASSERT_TRUE(rig::ReplaceResource(Library(c), 2, kSampleBitmap, lie));

    ExpectLaunchWithoutSplash(c);
}

TEST(HostileLibrary, ADialogClaimingMoreItemsThanItHoldsGivesNoSplash) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    // The table's splash type becomes 2: the dialog its CORVANE entry names
    // (7500, also the default splash).
    ASSERT_TRUE(SetSplashType(c, 2));
    std::string dialog;
    ASSERT_TRUE(rig::ReadResource(Library(c), 5, 7500, dialog));
    const bool extended = dialog.size() > 4 && dialog[0] == 1 && dialog[1] == 0 && uint8_t(dialog[2]) == 0xFF;
    const size_t countAt = extended ? 16 : 8;
    ASSERT_GT(dialog.size(), countAt + 2);
    dialog[countAt] = char(0xFF);
    dialog[countAt + 1] = char(0xFF);
    ASSERT_TRUE(rig::ReplaceResource(Library(c), 5, 7500, dialog));

    ExpectLaunchWithoutSplash(c);
}

struct LogoRow {
    const char *name;
    std::string script;
};

void PrintTo(const LogoRow &row, std::ostream *os) {
    *os << row.name;
}

class HostileLogo : public ::testing::TestWithParam<LogoRow> {};

TEST_P(HostileLogo, TheSplashStaysOnTheWorkArea) {
    E2E_REQUIRE_LAUNCHER();
    const Case c = e2e::PrepareCase(e2e::kFullMedium);
    // The table's splash type becomes 5: the logo script.
    ASSERT_TRUE(SetSplashType(c, 5));
    ASSERT_TRUE(rig::ReplaceResource(Library(c), kTableType, kSampleLogo, GetParam().script));

    e2e::Launch launch;
    launch.timeoutMs = 30000;
    const e2e::Result r = e2e::RunLauncher(c, launch);
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    EXPECT_TRUE(r.launched) << e2e::Describe(r);
    ASSERT_TRUE(r.run.splashSeen) << e2e::Describe(r);
    RECT work;
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    const RECT &s = r.run.splashRect;
    EXPECT_GE(s.left, work.left);
    EXPECT_GE(s.top, work.top);
    EXPECT_LE(s.right, work.right);
    EXPECT_LE(s.bottom, work.bottom);
    EXPECT_GT(s.right - s.left, 0);
    EXPECT_GT(s.bottom - s.top, 0);
}

std::string ManyLines(int n) {
    std::string s;
    for (int i = 0; i < n; i++)
        s += "<Arial,30>Line " + std::to_string(i) + "\r\n";
    return s;
}

std::string OneLongLine(size_t n) {
    return "<Arial,40>" + std::string(n, 'W') + "\r\n";
}

const LogoRow kLogoRows[] = {
    {"TenThousandLines", ManyLines(10000)},
    {"OneLineOf100000Characters", OneLongLine(100000)},
};

std::string LogoRowName(const ::testing::TestParamInfo<LogoRow> &info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(HostileLibrary, HostileLogo, ::testing::ValuesIn(kLogoRows), LogoRowName);

}  // namespace
