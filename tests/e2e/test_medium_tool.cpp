// What the medium tool makes, under the platform itself: a medium built from
// the payload-free stub runs and delivers its payloads byte for byte from
// several pieces each; its version, icon and manifest are the ones asked
// for; and a DLL written by the tool loads as data like the windres-built
// one it was read from.
#include "tests/e2e/e2e_support.h"

#include <stdint.h>

namespace {

std::string ToolPath(const char *variable, const char *name = nullptr)
{
    const std::string value = rig::EnvOr(variable, "");
    if (value.empty())
        return "";
    const std::string path = rig::WinPath(value);
    return name ? rig::JoinPath(path, name) : path;
}

#define REQUIRE_TOOL_FILES()                                                           \
    do {                                                                               \
        E2E_REQUIRE_LAUNCHER();                                                        \
        if (ToolPath("CORVANE_E2E_TOOL_MEDIUM").empty())                               \
            GTEST_FAIL() << "driver started without CORVANE_E2E_TOOL_MEDIUM";          \
    } while (0)

uint32_t U16(const std::string &b, size_t at)
{
    return at + 2 <= b.size() ? (uint32_t)(uint8_t)b[at] | (uint32_t)(uint8_t)b[at + 1] << 8 : 0;
}

uint32_t U32(const std::string &b, size_t at)
{
    return U16(b, at) | U16(b, at + 2) << 16;
}

uint32_t Crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char ch : data) {
        crc ^= ch;
        for (int k = 0; k < 8; k++)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

std::string Utf16(const std::string &ascii)
{
    std::string out;
    for (char ch : ascii) {
        out += ch;
        out += '\0';
    }
    return out;
}

// The text after `key` in a version resource (past the key's terminator
// and padding), read as ASCII.
std::string VersionValue(const std::string &version, const std::string &key)
{
    size_t at = version.find(Utf16(key) + std::string(2, '\0'));
    if (at == std::string::npos)
        return "<no " + key + ">";
    at += 2 * key.size() + 2;
    while (at + 1 < version.size() && U16(version, at) == 0)
        at += 2;
    std::string out;
    for (; at + 1 < version.size() && U16(version, at) != 0; at += 2)
        out += (char)U16(version, at);
    return out;
}

// A module mapped as data, as the launcher maps its library.
class DataModule {
public:
    explicit DataModule(const std::string &path) : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~DataModule()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }
    std::string Resource(LPCSTR type, LPCSTR name, WORD language = 0) const
    {
        HRSRC info = language ? FindResourceExA(module_, type, name, language) : FindResourceA(module_, name, type);
        if (!info)
            return "";
        HGLOBAL loaded = LoadResource(module_, info);
        const char *data = loaded ? (const char *)LockResource(loaded) : nullptr;
        return data ? std::string(data, SizeofResource(module_, info)) : "";
    }
    std::string Resource(int type, int id) const { return Resource(MAKEINTRESOURCEA(type), MAKEINTRESOURCEA(id)); }
    std::string String(UINT id) const
    {
        char text[512] = "";
        int n = LoadStringA(module_, id, text, sizeof text);
        return n > 0 && n < (int)sizeof text ? text : "";
    }

private:
    HMODULE module_;
};

// Runs the medium in `dir` (setup.exe, SETUP.INS, _SETUP.DLL) from a fresh
// case and expects the launch to deliver the three payloads as given.
void ExpectMediumDelivers(const std::string &dir, const std::string &companion)
{
    const e2e::Case c = e2e::PrepareCase(0);
    for (const char *name : {"setup.exe", "SETUP.INS", "_SETUP.DLL"})
        ASSERT_TRUE(rig::CopyFileTo(rig::JoinPath(dir, name), c.medium + name)) << name;
    const e2e::Result r = e2e::RunLauncher(c, e2e::Launch());
    ASSERT_TRUE(r.run.started) << r.run.error;
    EXPECT_TRUE(r.run.boxes.empty()) << e2e::Describe(r);
    ASSERT_TRUE(r.launched) << e2e::Describe(r);
    const e2e::Originals &f = e2e::Files();
    EXPECT_TRUE(e2e::HoldsExactly(c.temp, {{e2e::kBootstrapFile, f.bootstrap},
                                           {e2e::kEngineFile, f.engine},
                                           {e2e::kCompanionFile, companion}}));
}

TEST(MediumTool, MediumRunsAndDeliversEveryPayloadFromItsPieces)
{
    REQUIRE_TOOL_FILES();
    ExpectMediumDelivers(ToolPath("CORVANE_E2E_TOOL_MEDIUM"), e2e::Files().companion);
}

// An empty payload file: the tool makes one piece whose header says 0 bytes,
// and the launcher expands it into an empty file and goes on.
TEST(MediumTool, EmptyPayloadBecomesAnEmptyFile)
{
    REQUIRE_TOOL_FILES();
    const std::string dir = ToolPath("CORVANE_E2E_TOOL_MEDIUM_EMPTY");
    ASSERT_FALSE(dir.empty()) << "driver started without CORVANE_E2E_TOOL_MEDIUM_EMPTY";
    ExpectMediumDelivers(dir, "");
}

// Pieces the tool stored as they are, after coded ones of the same payload:
// the launcher copies them and the payload comes out byte for byte. The
// same from a setup.exe laid out on 4 KiB file alignment (as the tool makes
// it for large payloads, so that the image is mapped from the file).
TEST(MediumTool, RawAndCodedPiecesMakeThePayload)
{
    REQUIRE_TOOL_FILES();
    const std::string payloadPath = ToolPath("CORVANE_E2E_TOOL_MIXED_PAYLOAD");
    const struct {
        const char *variable;
        uint32_t fileAlignment;
    } media[] = {{"CORVANE_E2E_TOOL_MEDIUM_MIXED", 512}, {"CORVANE_E2E_TOOL_MEDIUM_PAGED", 4096}};
    for (const auto &medium : media) {
        SCOPED_TRACE(medium.variable);
        const std::string dir = ToolPath(medium.variable);
        ASSERT_FALSE(dir.empty() || payloadPath.empty()) << "driver started without " << medium.variable;
        {
            std::string image;
            ASSERT_TRUE(rig::ReadBytes(rig::JoinPath(dir, "setup.exe"), image));
            ASSERT_GT(image.size(), 0x40u);
            const uint32_t pe = U32(image, 0x3C);
            ASSERT_GT(image.size(), pe + 24 + 40);
            EXPECT_EQ(medium.fileAlignment, U32(image, pe + 24 + 36)) << "FileAlignment";
            DataModule m(rig::JoinPath(dir, "setup.exe"));
            ASSERT_NE(nullptr, m.get());
            std::string kinds;
            for (int id = 7300; !m.Resource(3000, id).empty(); id++)
                kinds += m.Resource(3000, id).compare(0, 4, "SZDD") == 0 ? 'c' : 'r';
            EXPECT_EQ("ccr", kinds) << "the text is coded, the image data is not";
        }
        ExpectMediumDelivers(dir, payloadPath);
    }
}

TEST(MediumTool, PieceCountsAndChecksumRecordMatchThePayloads)
{
    REQUIRE_TOOL_FILES();
    DataModule m(ToolPath("CORVANE_E2E_TOOL_MEDIUM", "setup.exe"));
    ASSERT_NE(nullptr, m.get());
    const std::string record = m.Resource(3000, 7099);
    ASSERT_EQ(8u + 3 * 16, record.size());
    EXPECT_EQ(0x4B435643u, U32(record, 0));
    EXPECT_EQ(1u, U16(record, 4));
    EXPECT_EQ(3u, U16(record, 6));
    const e2e::Originals &f = e2e::Files();
    const std::string *originals[] = {&f.bootstrap, &f.engine, &f.companion};
    for (int i = 0; i < 3; i++) {
        const uint32_t base = 7100 + 100 * i;
        std::string original;
        ASSERT_TRUE(rig::ReadBytes(*originals[i], original));
        const size_t at = 8 + 16 * i;
        const uint32_t pieces = U32(record, at + 4);
        EXPECT_EQ(base, U32(record, at));
        EXPECT_EQ((original.size() + 4095) / 4096, pieces) << base << ": pieces of 4096 bytes";
        EXPECT_EQ(original.size(), U32(record, at + 8)) << base;
        EXPECT_EQ(Crc32(original), U32(record, at + 12)) << base;
        // The launcher reads the count from its string; every piece is there
        // and the one after the last is not.
        EXPECT_EQ(std::to_string(pieces), m.String(base)) << base;
        // Each piece is SZDD coded or, when coding did not pay, the
        // payload's own bytes.
        for (uint32_t k = 0; k < pieces; k++) {
            const std::string piece = m.Resource(3000, (int)(base + k));
            if (piece.compare(0, 4, "SZDD") != 0) {
                EXPECT_EQ(original.substr((size_t)k * 4096, 4096), piece) << base + k;
            }
        }
        EXPECT_EQ("", m.Resource(3000, (int)(base + pieces))) << base;
    }
    EXPECT_GT(U32(record, 8 + 4), 1u) << "the sample bootstrap needs several 4096-byte pieces";
}

TEST(MediumTool, VersionIconAndManifestAreTheOnesAskedFor)
{
    REQUIRE_TOOL_FILES();
    DataModule m(ToolPath("CORVANE_E2E_TOOL_MEDIUM", "setup.exe"));
    ASSERT_NE(nullptr, m.get());

    const std::string manifest = m.Resource(24, 1);
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    EXPECT_EQ(std::string::npos, manifest.find("requireAdministrator"));
    EXPECT_NE(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}")) << "the rest kept";

    // The version: the fixed file info at its place after the root key, the
    // strings replaced and added.
    const std::string version = m.Resource(16, 1);
    ASSERT_GT(version.size(), 92u);
    EXPECT_EQ(Utf16("VS_VERSION_INFO"), version.substr(6, 30));
    EXPECT_EQ(0xFEEF04BDu, U32(version, 40));
    EXPECT_EQ(0x00040003u, U32(version, 48)) << "FileVersion 4.3";
    EXPECT_EQ(0x00020001u, U32(version, 52)) << ".2.1";
    EXPECT_EQ("Tool Medium", VersionValue(version, "ProductName"));
    EXPECT_EQ("added", VersionValue(version, "Comments"));
    EXPECT_EQ("4.3.2.1", VersionValue(version, "FileVersion"));
    EXPECT_EQ("setup.exe", VersionValue(version, "OriginalFilename")) << "other strings kept";
    EXPECT_EQ("<no CompanyName>", VersionValue(version, "CompanyName")) << "the stub names no company of ours";

    // The icon group names the .ico's two images, which the platform turns
    // into icons.
    std::string ico;
    ASSERT_TRUE(rig::ReadBytes(ToolPath("CORVANE_E2E_TOOL_ICON"), ico));
    const std::string group = m.Resource(14, 7001);
    ASSERT_EQ(6u + 2 * 14, group.size());
    EXPECT_EQ(2u, U16(group, 4));
    for (int i = 0; i < 2; i++) {
        const size_t at = 6 + 14 * i;
        const size_t icoEntry = 6 + 16 * i;
        EXPECT_EQ(ico.substr(icoEntry, 12), group.substr(at, 12)) << "entry " << i;
        const std::string image = m.Resource(3, (int)U16(group, at + 12));
        EXPECT_EQ(ico.substr(U32(ico, icoEntry + 12), U32(ico, icoEntry + 8)), image) << "image " << i;
        HICON icon = CreateIconFromResourceEx((PBYTE)image.data(), (DWORD)image.size(), TRUE, 0x00030000, 0, 0,
                                              LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, icon) << "image " << i;
        if (icon)
            DestroyIcon(icon);
    }
    HICON big = LoadIconA(m.get(), MAKEINTRESOURCEA(7001));
    EXPECT_NE(nullptr, big);
}

TEST(MediumTool, DllWrittenByTheToolLoadsLikeTheWindresOne)
{
    const std::string windres = ToolPath("CORVANE_E2E_WINDRES_DLL");
    const std::string ours = ToolPath("CORVANE_E2E_TOOL_DLL");
    ASSERT_FALSE(windres.empty() || ours.empty()) << "driver started without the DLL paths";
    for (const std::string &path : {windres, ours}) {
        SCOPED_TRACE(path);
        DataModule m(path);
        ASSERT_NE(nullptr, m.get());
        EXPECT_EQ("seven one oh one", m.String(7101));
        const std::string german = m.Resource(MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(7100 / 16 + 1), 0x407);
        EXPECT_NE(std::string::npos, german.find(Utf16("eins"))) << "the string block of language 1031";
        EXPECT_EQ("SZDD-abc", m.Resource(3000, 7100));
        EXPECT_EQ("logo lines\n", m.Resource(MAKEINTRESOURCEA(1001), "LOGO"));
        EXPECT_EQ("odd", m.Resource("TEXTDATA", MAKEINTRESOURCEA(100)));
        EXPECT_EQ("", m.Resource(3000, 7101));
    }
}

}  // namespace
