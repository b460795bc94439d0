// The toolkit beneath the tools: the PE image model against a table of
// malformed images, the resource list's verbs, the string-table codec, the
// text codec, the file writer through a temporary name, the growable writer,
// and the logo lines the checks read.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/platform.h"
#include "gtest/gtest.h"
#include "tools/lib/bytesink.h"
#include "tools/lib/fileio.h"
#include "tools/lib/library_encode.h"
#include "tools/lib/numbers.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/report.h"
#include "tools/lib/reslist.h"
#include "tools/lib/stringtable.h"
#include "tools/lib/textcodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A small valid image: a resource-only DLL of one string block, padded so
// that a longer section table would still lie inside the file.
Bytes SmallImage()
{
    tk::ResList res;
    std::string err;
    EXPECT_TRUE(tk::SetString(&res, 7061, 0x409, u"Script missing", &err)) << err;
    Bytes image;
    EXPECT_TRUE(tk::WriteResourceDll(res, &image, &err)) << err;
    image.resize(8192, 0);
    return image;
}

// Where the fields of SmallImage lie (the writer's fixed layout).
constexpr size_t kPe = 0x80;
constexpr size_t kCoff = kPe + 4;
constexpr size_t kOpt = kCoff + 20;
constexpr size_t kSection = kOpt + 0xE0;

TEST(PeImage, MalformedImages)
{
    const struct {
        const char *why;
        std::function<void(Bytes *)> change;
        const char *error;   // null: the image is read
    } cases[] = {
        {"the image as written", [](Bytes *) {}, nullptr},
        {"no MZ", [](Bytes *b) { (*b)[0] = 'Z'; }, "no MZ header"},
        {"the PE header offset past the file", [](Bytes *b) { SetUi32(&(*b)[0x3C], 0xFFFFFFF0u); },
         "no PE signature"},
        {"the PE header offset one byte short of a signature",
         [](Bytes *b) { SetUi32(&(*b)[0x3C], (uint32_t)b->size() - 3); }, "no PE signature"},
        {"no sections", [](Bytes *b) { SetUi16(&(*b)[kCoff + 2], 0); }, "absurd section count 0"},
        {"more sections than the loader takes", [](Bytes *b) { SetUi16(&(*b)[kCoff + 2], 97); },
         "absurd section count 97"},
        // 95 sections: the table runs far past the headers the loader maps
        // (Wine refuses to start such a file); it must not read as clean.
        {"95 sections", [](Bytes *b) { SetUi16(&(*b)[kCoff + 2], 95); }, "runs past SizeOfHeaders"},
        {"a second section header beyond SizeOfHeaders",
         [](Bytes *b) {
             SetUi16(&(*b)[kCoff + 2], 2);
             SetUi32(&(*b)[kOpt + 60], (uint32_t)(kSection + 40 + 39));   // SizeOfHeaders
         },
         "runs past SizeOfHeaders"},
        {"an unknown optional header", [](Bytes *b) { SetUi16(&(*b)[kOpt], 0x20C); }, "unknown optional header magic"},
        {"an optional header too small for its directory count", [](Bytes *b) { SetUi16(&(*b)[kCoff + 16], 0x50); },
         "optional header too small"},
        {"a directory count beyond 16 reads 16", [](Bytes *b) { SetUi32(&(*b)[kOpt + 92], 0xFFFFFFFFu); }, nullptr},
        {"the file cut inside the optional header", [](Bytes *b) { b->resize(kOpt + 40); },
         "runs past the end of the file"},
        {"the file cut inside the section table", [](Bytes *b) { b->resize(kSection + 20); },
         "section table runs past the end of the file"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        Bytes image = SmallImage();
        c.change(&image);
        tk::PeImage pe;
        std::string err;
        const bool ok = tk::ParsePeImage(image.data(), image.size(), &pe, &err);
        if (!c.error) {
            EXPECT_TRUE(ok) << err;
            EXPECT_EQ(pe.sections.size(), 1u);
            EXPECT_EQ(pe.dirCount, 16u);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_NE(err.find(c.error), std::string::npos) << err;
        }
    }
}

TEST(PeImage, RvaToOffsetStaysInsideOneSection)
{
    const Bytes image = SmallImage();
    tk::PeImage pe;
    std::string err;
    ASSERT_TRUE(tk::ParsePeImage(image.data(), image.size(), &pe, &err)) << err;
    const tk::PeSection &s = pe.sections[0];
    ASSERT_EQ(s.va, 0x1000u);
    ASSERT_EQ(s.rawPtr, 512u);
    ASSERT_GE(s.rawSize, s.virtualSize);
    const uint32_t end = s.va + s.virtualSize;   // the span, as the loader maps it
    const struct {
        uint32_t rva, length;
        int64_t offset;   // -1: refused
    } cases[] = {
        {0x1000, 16, 512},
        {end - 1, 1, 512 + s.virtualSize - 1},
        {0x1000, s.virtualSize, 512},
        {end, 1, -1},                       // past the span, though inside the raw data
        {0x1000, s.virtualSize + 1, -1},
        {0xFFF, 1, -1},                     // before the section
        {0x1000, 0xFFFFFFFFu, -1},          // a length that would wrap around
        {0xFFFFFFFFu, 1, -1},
        {end, 0, -1},                       // the end itself is no place in the section
    };
    for (const auto &c : cases) {
        uint32_t offset = 0xDEAD;
        const bool ok = tk::RvaToOffset(pe, c.rva, c.length, &offset);
        EXPECT_EQ(ok, c.offset >= 0) << std::hex << c.rva << " + " << c.length;
        if (ok && c.offset >= 0)
            EXPECT_EQ(offset, (uint32_t)c.offset);
    }
    EXPECT_EQ(tk::ResourceSectionBytes(pe), s.rawSize);
    EXPECT_FALSE(tk::HasExecutableSection(pe));
}

tk::ResEntry Entry(uint16_t type, uint16_t name, uint16_t lang, uint8_t byte)
{
    tk::ResEntry e;
    e.type = tk::ResNumber(type);
    e.name = tk::ResNumber(name);
    e.lang = lang;
    e.data.assign(1, byte);
    return e;
}

// A small hostile image: a thousand language entries all pointing at one
// 256 KiB blob would ask the reader for 256 MiB. It is refused, and an
// honest image of the same entries is read.
TEST(ResList, EntriesSharingOneBlobAreRefused)
{
    constexpr uint32_t kLangs = 1024, kBlob = 256 * 1024;
    tk::ResList res;
    for (uint16_t lang = 0; lang < kLangs; lang++)
        res.push_back(Entry(10, 1, lang, (uint8_t)lang));
    res[0].data.assign(kBlob, 0x5A);
    Bytes image;
    std::string err;
    ASSERT_TRUE(tk::WriteResourceDll(res, &image, &err)) << err;
    tk::ResList back;
    ASSERT_TRUE(tk::ReadResources(image.data(), image.size(), &back, &err)) << err;
    ASSERT_EQ(back.size(), kLangs);

    // Down the one type and the one name to the languages' data entries,
    // each then aimed at the blob.
    tk::PeImage pe;
    ASSERT_TRUE(tk::ParsePeImage(image.data(), image.size(), &pe, &err)) << err;
    uint32_t root = 0;
    ASSERT_TRUE(tk::RvaToOffset(pe, pe.dirs[tk::kPeDirResource].rva, 16, &root));
    const auto child = [&](uint32_t dir) { return root + (GetUi32(image.data() + dir + 20) & 0x7FFFFFFFu); };
    const uint32_t langDir = child(child(root));
    ASSERT_EQ(GetUi16(image.data() + langDir + 14), kLangs);
    const uint8_t *blobEntry = image.data() + root + GetUi32(image.data() + langDir + 20);
    ASSERT_EQ(GetUi32(blobEntry + 4), kBlob);
    const Bytes blob(blobEntry, blobEntry + 8);
    for (uint32_t i = 1; i < kLangs; i++)
        std::copy(blob.begin(), blob.end(), image.begin() + root + GetUi32(image.data() + langDir + 20 + 8 * i));

    ASSERT_LT(image.size(), 2u * kBlob);
    EXPECT_FALSE(tk::ReadResources(image.data(), image.size(), &back, &err));
    EXPECT_NE(err.find("share their data or names"), std::string::npos) << err;
    EXPECT_TRUE(back.empty());
}

TEST(ResList, Verbs)
{
    tk::ResList res;
    tk::ResPut(&res, Entry(6, 442, 0x409, 1));
    tk::ResPut(&res, Entry(6, 442, 0x407, 2));
    tk::ResPut(&res, Entry(2, 7510, 0, 3));
    tk::ResPut(&res, Entry(6, 442, 0x409, 4));   // replaces, does not add
    ASSERT_EQ(res.size(), 3u);
    EXPECT_EQ(tk::ResFind(res, 6, 442, 0x409)->data, Bytes{4});
    EXPECT_EQ(tk::ResFind(res, 6, 442)->data, Bytes{4});            // any language: the first
    EXPECT_EQ(tk::ResFind(res, 6, 442, 0x40C), nullptr);
    EXPECT_EQ(tk::ResFindPreferring(res, 6, 442, 0x407)->data, Bytes{2});
    EXPECT_EQ(tk::ResFindPreferring(res, 6, 442, 0x40C)->data, Bytes{4});   // none of its own: the first
    EXPECT_EQ(tk::ResFindPreferring(res, 6, 443, 0x409), nullptr);

    // A named type sorts before every numbered one, names by UTF-16 unit.
    tk::ResEntry named = Entry(0, 1, 0, 5);
    named.type.named = true;
    named.type.name = u"LOGO";
    res.push_back(named);
    tk::ResSort(&res);
    EXPECT_TRUE(res[0].type.named);
    EXPECT_EQ(res[1].type.id, 2);
    EXPECT_EQ(res[2].lang, 0x407);
    EXPECT_EQ(res[3].lang, 0x409);

    const tk::ResEntry *a = nullptr, *b = nullptr;
    EXPECT_FALSE(tk::ResFindDuplicate(res, &a, &b));
    tk::ResList twice = res;
    twice.push_back(Entry(2, 7510, 0, 9));
    ASSERT_TRUE(tk::ResFindDuplicate(twice, &a, &b));
    EXPECT_EQ(a->name.id, 7510);

    tk::ResList copy = res;
    EXPECT_TRUE(tk::ResListEqual(res, copy));
    copy[1].data[0] ^= 1;
    EXPECT_FALSE(tk::ResListEqual(res, copy));

    EXPECT_EQ(tk::ResRemove(&res, 6, 442), 2u);   // every language
    EXPECT_EQ(tk::ResRemove(&res, 6, 442), 0u);
    EXPECT_EQ(res.size(), 2u);
}

TEST(StringTable, BlocksReadWriteAndRefuse)
{
    tk::ResList res;
    std::string err;
    ASSERT_TRUE(tk::SetString(&res, 7061, 0x409, u"first", &err));
    ASSERT_TRUE(tk::SetString(&res, 7062, 0x409, u"second", &err));
    ASSERT_TRUE(tk::SetString(&res, 7061, 0x409, u"again", &err));
    ASSERT_EQ(res.size(), 1u);
    EXPECT_EQ(res[0].name.id, 7061 / 16 + 1);
    // 16 counts, two of them with texts: 32 + 2 * 5 + 2 * 6 bytes.
    EXPECT_EQ(res[0].data.size(), 32u + 10u + 12u);
    std::u16string text;
    ASSERT_TRUE(tk::GetString(res, 7062, 0x409, &text, &err));
    EXPECT_EQ(text, u"second");
    EXPECT_EQ(tk::LookupString(res, 7061, 0x407, &text), tk::StringFound::Text);   // falls back
    EXPECT_EQ(text, u"again");
    EXPECT_EQ(tk::LookupString(res, 7063, 0x409, &text), tk::StringFound::Absent);
    EXPECT_EQ(tk::LookupString(res, 0x10000, 0x409, &text), tk::StringFound::Absent);

    // One count that runs past the block refuses the whole block, also the
    // strings before it, as the launcher's loader does.
    Bytes &block = res[0].data;
    SetUi16(&block[block.size() - 2], 1);   // the last count (id 7071's) now runs 2 bytes past the end
    std::u16string strings[16];
    EXPECT_FALSE(tk::DecodeStringBlock(block, strings, &err));
    EXPECT_TRUE(strings[5].empty());
    EXPECT_EQ(tk::LookupString(res, 7061, 0x409, &text), tk::StringFound::BadBlock);
    EXPECT_FALSE(tk::SetString(&res, 7063, 0x409, u"x", &err));
}

TEST(TextCodec, ConversionsAndRefusals)
{
    std::u16string u16;
    EXPECT_TRUE(tk::Utf8ToUtf16("Espa\xC3\xB1ol \xF0\x9F\x98\x80", &u16));
    EXPECT_EQ(u16, u"Español \U0001F600");
    EXPECT_EQ(tk::Utf16ToUtf8(u16), "Espa\xC3\xB1ol \xF0\x9F\x98\x80");
    EXPECT_EQ(tk::Utf16ToUtf8(std::u16string(1, (char16_t)0xD800)), "\xEF\xBF\xBD");

    const struct {
        const char *bytes;
        size_t bad;
    } malformed[] = {
        {"ab\xC0\xAF", 2},           // overlong '/'
        {"\xED\xA0\x80", 0},         // a surrogate
        {"x\xF4\x90\x80\x80", 1},    // past U+10FFFF
        {"abc\xE2\x82", 3},          // cut short
        {"\x80", 0},
    };
    for (const auto &m : malformed) {
        std::vector<uint32_t> points;
        size_t bad = 99;
        EXPECT_FALSE(tk::Utf8Decode(m.bytes, &points, &bad)) << m.bytes;
        EXPECT_EQ(bad, m.bad) << m.bytes;
        EXPECT_FALSE(tk::Utf8ToUtf16(m.bytes, &u16));
    }

    std::string out;
    uint32_t badPoint = 0;
    EXPECT_TRUE(tk::ToCodePage("Espa\xC3\xB1ol", 1252, &out, &badPoint));
    EXPECT_EQ(out, "Espa\xF1ol");
    EXPECT_FALSE(tk::ToCodePage("\xD0\x96", 1252, &out, &badPoint));   // Cyrillic Zhe
    EXPECT_EQ(badPoint, 0x416u);
    EXPECT_TRUE(tk::ToCodePage("\xE6\x97\xA5\xE6\x9C\xAC", 932, &out, &badPoint));
    EXPECT_EQ(out, "\x93\xFA\x96\x7B");

    // Names in their own code page: a pair of 932, a byte 1251 holds.
    EXPECT_TRUE(tk::FromCodePage("\x93\xFA\x96\x7B", 932, &out));
    EXPECT_EQ(out, "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_TRUE(tk::FromCodePage("\xD0\xF3\xF1", 1251, &out));
    EXPECT_EQ(out, "\xD0\xA0\xD1\x83\xD1\x81");
    EXPECT_FALSE(tk::FromCodePage("a\x81", 932, &out));   // a lead byte without its partner
    EXPECT_EQ(out, "a\xEF\xBF\xBD");
    EXPECT_EQ(tk::DescribePoint(0xF1), "U+00F1 '\xC3\xB1'");
    EXPECT_EQ(tk::DescribePoint(0x0A), "U+000A");
}

TEST(TextCodec, ParserCodePageComesBack)
{
    const int before = HostSetCodePage(932);
    {
        tk::ParserCodePage scope(1252);
        EXPECT_EQ(HostSetCodePage(1252), 1252);
    }
    EXPECT_EQ(HostSetCodePage(before), 932);
}

class PendingFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/toolkit-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { EXPECT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    std::string Read(const std::string &path)
    {
        std::string data, why;
        EXPECT_TRUE(tk::ReadWholeFile(path, 1 << 20, "1 MiB", &data, &why)) << why;
        return data;
    }
    size_t Entries()
    {
        size_t n = 0;
        DIR *d = opendir(dir_.c_str());
        while (struct dirent *e = d ? readdir(d) : nullptr)
            n += strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0;
        if (d)
            closedir(d);
        return n;
    }
    std::string dir_;
};

TEST_F(PendingFileTest, OldFileStaysUntilCommit)
{
    const std::string target = dir_ + "/out.bin";
    std::string why;
    ASSERT_TRUE(tk::WriteFileAtomic(target, std::string("old"), &why)) << why;
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);   // not mkstemp's private 0600

    {
        tk::PendingFile out;
        ASSERT_TRUE(out.Open(target, &why)) << why;
        ASSERT_TRUE(out.Write("new bytes", 9, &why));
        EXPECT_EQ(Read(target), "old");
        EXPECT_EQ(Entries(), 2u);   // the target and the temporary beside it
    }   // dropped without Commit
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Entries(), 1u);

    tk::PendingFile out;
    ASSERT_TRUE(out.Open(target, &why)) << why;
    FILE *stream = out.Stream();
    ASSERT_NE(stream, nullptr);
    fputs("streamed", stream);
    ASSERT_TRUE(out.Write(" and written", 12, &why));
    ASSERT_TRUE(out.Commit(&why)) << why;
    EXPECT_EQ(Read(target), "streamed and written");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(PendingFileTest, FailuresSayWhyAndLeaveNothing)
{
    std::string why;
    EXPECT_FALSE(tk::WriteFileAtomic(dir_ + "/missing/out.bin", std::string("x"), &why));
    EXPECT_NE(why.find("missing/out.bin: cannot create a temporary file beside it: No such file"), std::string::npos)
        << why;
    // A target that is a folder: the rename fails, the temporary goes.
    ASSERT_EQ(mkdir((dir_ + "/folder").c_str(), 0777), 0);
    ASSERT_EQ(mkdir((dir_ + "/folder/inside").c_str(), 0777), 0);
    EXPECT_FALSE(tk::WriteFileAtomic(dir_ + "/folder", std::string("x"), &why));
    EXPECT_NE(why.find("folder: cannot write: "), std::string::npos) << why;
    EXPECT_EQ(Entries(), 1u);
}

TEST(ByteSink, WritesGrowsAndPatches)
{
    Bytes into = {0xEE};
    tk::ByteSink sink(&into);
    sink.U16(0);   // patched below
    sink.U32(0x04030201);
    sink.Utf16(u"A\u00F1");
    sink.Align(4);
    sink.U64(0x0807060504030201ull);
    sink.SetU16At(1, (uint32_t)sink.Size());
    EXPECT_EQ(into, (Bytes{0xEE, 20, 0, 1, 2, 3, 4, 'A', 0, 0xF1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Progress, LineSaysRateAndTimeLeft)
{
    tk::Progress quiet("szdd", 100u << 20, 16u << 20, nullptr);   // no terminal: nothing shown
    quiet.Update(1);
    EXPECT_EQ(quiet.Line(0, 0.1), "szdd:   0%");
    EXPECT_EQ(quiet.Line(50u << 20, 2.0), "szdd:  50%, 26.2 MB/s, 2 s left");
    EXPECT_EQ(quiet.Line(100u << 20, 4.0), "szdd: 100%, 26.2 MB/s, 0 s left");
}

TEST(LogoLines, AsTheLauncherReadsThem)
{
    const struct {
        const char *why;
        std::string bytes;
        uint32_t codePage;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF and LF end lines; an empty line is one blank", "a\r\n\nb", 1252, {"a", " ", "b"}},
        // A lead byte right before the line end has no partner: it goes
        // with the line end in 932, and stays a character in 1252.
        {"a lead byte before CR in 932", "ab\x82\r\nnext\n", 932, {"ab", "next"}},
        {"the same bytes in 1252", "ab\x82\r\nnext\n", 1252, {"ab\x82", "next"}},
        {"a long line in pieces of 260", std::string(300, 'x') + "\n", 1252,
         {std::string(260, 'x'), std::string(40, 'x')}},
        // 259 single bytes, then a double-byte character: the piece stops
        // before it rather than split it.
        {"a double-byte character at the piece's end", std::string(259, 'x') + "\x82\xA0" + "y\n", 932,
         {std::string(259, 'x'), "\x82\xA0y"}},
        {"nothing", "", 1252, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(tk::LauncherLogoLines(c.bytes, c.codePage), c.lines);
    }
    EXPECT_EQ(HostSetCodePage(1252), 1252);   // the code page came back
}

}  // namespace

namespace {

// The one number parser: decimal, hex and a sign only where the form allows
// them, no overflow, the range checked.
TEST(ToolkitNumbers, ParseNumberTable)
{
    const tk::NumberForm dec, hex{true, false}, sign{false, true};
    const struct {
        const char *text;
        int64_t low, high;
        tk::NumberForm form;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0", 0, 10, dec, true, 0},
        {"4096", 4096, INT64_MAX, dec, true, 4096},
        {"4095", 4096, INT64_MAX, dec, false, 0},
        {"9223372036854775807", 0, INT64_MAX, dec, true, INT64_MAX},
        {"9223372036854775808", 0, INT64_MAX, dec, false, 0},
        {"99999999999999999999999", 0, INT64_MAX, dec, false, 0},
        {"", 0, 10, dec, false, 0},
        {"+5", 0, 10, dec, false, 0},
        {" 5", 0, 10, dec, false, 0},
        {"5 ", 0, 10, dec, false, 0},
        {"4k", 0, 10000, dec, false, 0},
        {"-1", -5, 5, dec, false, 0},
        {"-1", -5, 5, sign, true, -1},
        {"-", -5, 5, sign, false, 0},
        {"-9223372036854775808", INT64_MIN, 0, sign, true, INT64_MIN},
        {"0x409", 0, 0xFFFF, hex, true, 0x409},
        {"0X7fffFFFF", 1, 0x7FFFFFFF, hex, true, 0x7FFFFFFF},
        {"0x80000000", 1, 0x7FFFFFFF, hex, false, 0},
        {"0x", 0, 10, hex, false, 0},
        {"0x409", 0, 0xFFFF, dec, false, 0},
        {"0x1g", 0, 0xFFFF, hex, false, 0},
        {"-0x1", -5, 5, tk::NumberForm{true, true}, false, 0},
        {"0000000000000000000001", 0, 10, dec, true, 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        int64_t v = 77;
        EXPECT_EQ(tk::ParseNumber(c.text, c.low, c.high, c.form, &v), c.ok);
        EXPECT_EQ(v, c.ok ? c.value : 77) << "untouched on failure";
    }
}

}  // namespace
