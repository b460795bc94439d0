// The built setup.exe as a file: it imports only libraries that the system
// always loads from its own directory, carries no timestamp, asks for ASLR
// and DEP, and holds the resources the launcher relies on.
#include <windows.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/crc32.h"
#include "base/ids.h"
#include "base/payload_record.h"
#include "base/szdd.h"
#include "tests/win/launcher_test_support.h"

#ifndef CORVANE_SETUP_EXE
#error "CORVANE_SETUP_EXE: path of the built setup.exe"
#endif
#if !defined(CORVANE_SETUP_BOOTSTRAP) || !defined(CORVANE_SETUP_ENGINE) || !defined(CORVANE_SETUP_COMPANION)
#error "CORVANE_SETUP_BOOTSTRAP, _ENGINE, _COMPANION: the payload files setup.exe was built from"
#endif

namespace {

// Reads little-endian fields of the image; the first read out of bounds
// marks the reader bad and every later read gives 0.
struct ImageReader {
    const std::string &bytes;
    bool bad = false;

    uint32_t Read(uint64_t offset, int size)
    {
        if (offset > bytes.size() || (uint64_t)size > bytes.size() - offset) {
            bad = true;
            return 0;
        }
        uint32_t value = 0;
        for (int i = size - 1; i >= 0; i--)
            value = (value << 8) | (unsigned char)bytes[offset + i];
        return value;
    }
    std::string Text(uint64_t offset)
    {
        std::string text;
        while (!bad && text.size() < 256) {
            char c = (char)Read(offset++, 1);
            if (c == '\0')
                break;
            text += c;
        }
        return text;
    }
};

struct Section {
    uint32_t rva, virtualSize, rawSize, rawOffset;
};

class SetupImage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReadWholeFile(CORVANE_SETUP_EXE, &bytes_)) << CORVANE_SETUP_EXE;
        ImageReader r{bytes_};
        ASSERT_EQ(0x5A4Du, r.Read(0, 2));
        pe_ = r.Read(0x3C, 4);
        ASSERT_EQ(0x00004550u, r.Read(pe_, 4));
        sections_ = r.Read(pe_ + 6, 2);
        optional_ = pe_ + 24;
        uint32_t optionalSize = r.Read(pe_ + 20, 2);
        // PE32 for the i686 launcher, PE32+ for its x86-64 twin: the data
        // directories start 16 bytes later in PE32+.
        const uint32_t magic = r.Read(optional_, 2);
        ASSERT_EQ(sizeof(void *) == 8 ? 0x20Bu : 0x10Bu, magic) << "an image of the tests' own architecture";
        directories_ = optional_ + (magic == 0x20B ? 112 : 96);
        for (uint32_t i = 0; i < sections_; i++) {
            uint64_t s = optional_ + optionalSize + 40ull * i;
            table_.push_back({r.Read(s + 12, 4), r.Read(s + 8, 4), r.Read(s + 16, 4), r.Read(s + 20, 4)});
        }
        ASSERT_FALSE(r.bad);
    }

    uint64_t FileOffset(uint32_t rva) const
    {
        for (const Section &s : table_) {
            uint32_t extent = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.rva && rva - s.rva < extent)
                return (uint64_t)s.rawOffset + (rva - s.rva);
        }
        return UINT64_MAX;
    }

    // Data directory `index`: its RVA and size.
    void Directory(int index, uint32_t *rva, uint32_t *size)
    {
        ImageReader r{bytes_};
        *rva = r.Read(directories_ + 8ull * index, 4);
        *size = r.Read(directories_ + 8ull * index + 4, 4);
    }

    std::string bytes_;
    uint32_t pe_ = 0, sections_ = 0, optional_ = 0, directories_ = 0;
    std::vector<Section> table_;
};

TEST_F(SetupImage, ImportsOnlyLibrariesTheSystemLoadsFromItsOwnDirectory)
{
    uint32_t rva = 0, size = 0;
    Directory(1, &rva, &size);
    ASSERT_NE(0u, rva);
    ImageReader r{bytes_};
    std::multiset<std::string> imported;
    for (uint64_t d = FileOffset(rva); !r.bad; d += 20) {
        uint32_t nameRva = r.Read(d + 12, 4);
        uint32_t thunks = r.Read(d + 16, 4);
        if (nameRva == 0 && thunks == 0)
            break;
        std::string name = r.Text(FileOffset(nameRva));
        std::transform(name.begin(), name.end(), name.begin(), ::toupper);
        imported.insert(name);
        ASSERT_LT(imported.size(), 64u);
    }
    ASSERT_FALSE(r.bad);
    EXPECT_EQ((std::multiset<std::string>{"GDI32.DLL", "KERNEL32.DLL", "USER32.DLL"}), imported);

    // Nothing loaded later by name either.
    Directory(13, &rva, &size);
    EXPECT_EQ(0u, size) << "delay-load imports";
}

TEST_F(SetupImage, NoTimestampAndHardened)
{
    ImageReader r{bytes_};
    EXPECT_EQ(0u, r.Read(pe_ + 8, 4)) << "a timestamp makes two builds differ";
    uint32_t dllCharacteristics = r.Read(optional_ + 70, 2);
    EXPECT_TRUE(dllCharacteristics & 0x0040) << "dynamic base (ASLR)";
    EXPECT_TRUE(dllCharacteristics & 0x0100) << "NX compatible (DEP)";
    uint32_t rva = 0, size = 0;
    Directory(5, &rva, &size);
    EXPECT_NE(0u, size) << "relocations, so that the image can move";
    EXPECT_EQ(2u, r.Read(optional_ + 68, 2)) << "a GUI program";
}

class SetupResources : public ::testing::Test {
protected:
    void SetUp() override
    {
        module_ = LoadLibraryExA(CORVANE_SETUP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, module_);
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }
    std::string String(int id)
    {
        char text[1024] = "";
        LoadStringA(module_, (UINT)id, text, sizeof text);
        return text;
    }
    std::string Resource(const char *type, int id, WORD language = 0)
    {
        HRSRC info = language ? FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language)
                              : FindResourceA(module_, MAKEINTRESOURCEA(id), type);
        if (!info)
            return "";
        HGLOBAL loaded = LoadResource(module_, info);
        const char *data = loaded ? (const char *)LockResource(loaded) : nullptr;
        return data ? std::string(data, SizeofResource(module_, info)) : "";
    }
    HMODULE module_ = nullptr;
};

TEST_F(SetupResources, Strings)
{
    for (int id = IDS_SCRIPT_MISSING; id <= IDS_LIBRARY_MISSING; id++) {
        std::string text = String(id);
        EXPECT_FALSE(text.empty()) << id;
        EXPECT_LT(text.size(), 244u) << id << " must fit the 244-character text buffer";
        size_t placeholders = 0;
        for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 1))
            placeholders++;
        bool formatted = id == IDS_SCRIPT_MISSING || id == IDS_UNCLOSED_QUOTE;
        EXPECT_EQ(formatted ? 1u : 0u, placeholders) << id << ": " << text;
        if (formatted) {
            EXPECT_NE(std::string::npos, text.find("%s")) << id;
        }
    }
    EXPECT_EQ("1", String(IDS_PIECES_BOOTSTRAP));
    EXPECT_EQ("1", String(IDS_PIECES_ENGINE));
    EXPECT_EQ("1", String(IDS_PIECES_COMPANION));
    EXPECT_EQ("1500", String(IDS_SPLASH_MINIMUM));
    EXPECT_FALSE(String(IDS_CAPTION_REDIRECTED).empty());
    EXPECT_FALSE(String(IDS_CAPTION_OWN).empty());
    EXPECT_LT(String(IDS_CAPTION_OWN).size(), 80u);
}

TEST_F(SetupResources, SplashFrameDialog)
{
    std::string t = Resource(MAKEINTRESOURCEA(5), IDD_SPLASH_FRAME, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_GE(t.size(), 24u) << "dialog 7501, language 1033";
    ImageReader r{t};
    EXPECT_EQ(0x80400800u, r.Read(0, 4)) << "WS_POPUP | WS_DLGFRAME | DS_CENTER, not visible";
    EXPECT_EQ(0u, r.Read(4, 4)) << "no extended style";
    EXPECT_EQ(0u, r.Read(8, 2)) << "no controls";
    EXPECT_EQ(78u, r.Read(10, 2));
    EXPECT_EQ(39u, r.Read(12, 2));
    EXPECT_EQ(134u, r.Read(14, 2));
    EXPECT_EQ(100u, r.Read(16, 2));
    EXPECT_EQ(0u, r.Read(18, 2)) << "no menu";
    EXPECT_EQ(0u, r.Read(20, 2)) << "the default dialog class";
    EXPECT_EQ(0u, r.Read(22, 2)) << "an empty caption";
    EXPECT_EQ(24u, t.size()) << "no font and nothing else";
    EXPECT_FALSE(r.bad);
}

TEST_F(SetupResources, IconVersionAndPayloadPieces)
{
    std::string group = Resource(MAKEINTRESOURCEA(14), IDI_LAUNCHER);   // RT_GROUP_ICON
    ASSERT_GE(group.size(), 6u);
    ImageReader g{group};
    EXPECT_EQ(1u, g.Read(2, 2)) << "an icon group";
    EXPECT_GE(g.Read(4, 2), 1u);
    EXPECT_NE("", Resource(MAKEINTRESOURCEA(16), 1)) << "version information";

    for (int id : {PAYLOAD_BOOTSTRAP, PAYLOAD_ENGINE, PAYLOAD_COMPANION}) {
        std::string piece = Resource(MAKEINTRESOURCEA(RT_PAYLOAD_PIECE), id);
        ASSERT_GE(piece.size(), 14u) << id;
        EXPECT_EQ(std::string("SZDD\x88\xF0\x27\x33", 8), piece.substr(0, 8)) << id;
        EXPECT_EQ('A', piece[8]) << id;
        EXPECT_EQ("", Resource(MAKEINTRESOURCEA(RT_PAYLOAD_PIECE), id + 1)) << "one piece each";
    }
}

int CountExpanded(void *ctx, const unsigned char *, uint32_t len)
{
    *(uint64_t *)ctx += len;
    return 1;
}

// The check record names each payload file the build was given, in one
// piece: its length and CRC-32, which is also what its piece expands to.
TEST_F(SetupResources, PayloadRecordMatchesThePayloadFiles)
{
    const std::string record = Resource(MAKEINTRESOURCEA(RT_PAYLOAD_PIECE), RES_PAYLOAD_RECORD);
    ASSERT_EQ(PayloadRecordSize(3), record.size()) << "record 3000/7099 of three entries";
    Crc32Table table;
    Crc32Init(&table);
    const struct {
        int id;
        const char *file;
    } payloads[] = {
        {PAYLOAD_BOOTSTRAP, CORVANE_SETUP_BOOTSTRAP},
        {PAYLOAD_ENGINE, CORVANE_SETUP_ENGINE},
        {PAYLOAD_COMPANION, CORVANE_SETUP_COMPANION},
    };
    for (const auto &p : payloads) {
        SCOPED_TRACE(p.file);
        std::string data;
        ASSERT_TRUE(ReadWholeFile(p.file, &data));
        PayloadRecordEntry entry;
        ASSERT_EQ(PAYLOAD_RECORD_FOUND, PayloadRecordFind(record.data(), (uint32_t)record.size(), (uint32_t)p.id, &entry));
        EXPECT_EQ(1u, entry.pieceCount);
        EXPECT_EQ(data.size(), entry.length);
        EXPECT_EQ(Crc32Update(&table, 0, data.data(), data.size()), entry.crc);

        const std::string piece = Resource(MAKEINTRESOURCEA(RT_PAYLOAD_PIECE), p.id);
        uint64_t expanded = 0;
        SzddOutput out;
        ASSERT_EQ(SZDD_OK, SzddExpandOrCopy(piece.data(), (uint32_t)piece.size(), &table, 0, CountExpanded, &expanded, &out));
        EXPECT_EQ(entry.length, out.length);
        EXPECT_EQ(entry.crc, out.crc);
    }
}

// The manifest: administrator rights (what the platform's installer
// detection imposes on a setup.exe without one, stated openly), every
// platform from Vista on declared, and nothing that changes how the launcher
// draws (no DPI awareness, no common-controls 6 dependency).
TEST_F(SetupResources, ManifestAsksForAdministratorAndDeclaresPlatforms)
{
    std::string m = Resource(MAKEINTRESOURCEA(24), 1);   // RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
    ASSERT_FALSE(m.empty()) << "no manifest 1";
    EXPECT_NE(std::string::npos, m.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"));
    const char *platforms[] = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",   // Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",   // 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",   // 8
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",   // 8.1
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",   // 10 and 11
    };
    for (const char *id : platforms)
        EXPECT_NE(std::string::npos, m.find(std::string("<supportedOS Id=\"") + id + "\"/>")) << id;
    EXPECT_EQ(std::string::npos, m.find("dpiAware"));
    EXPECT_EQ(std::string::npos, m.find("Common-Controls"));
    EXPECT_EQ(std::string::npos, m.find("dependency"));
    EXPECT_EQ("", Resource(MAKEINTRESOURCEA(24), 2)) << "one manifest only";
}

}  // namespace
