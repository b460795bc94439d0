// The version resource: windres's output for the fixture image, read whole,
// and that resource changed the ways a damaged or careless one would be.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tools/lib/versioninfo.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Text(const tk::Problems &p)
{
    std::string s;
    for (const tk::Finding &x : p)
        s += (x.severity == tk::Severity::Error ? "error: " : "warning: ") + x.text + "\n";
    return s;
}

Bytes Utf16(const std::string &ascii)
{
    Bytes b;
    for (char c : ascii) {
        b.push_back((uint8_t)c);
        b.push_back(0);
    }
    return b;
}

size_t Find(const Bytes &hay, const Bytes &needle)
{
    auto it = std::search(hay.begin(), hay.end(), needle.begin(), needle.end());
    return it == hay.end() ? std::string::npos : (size_t)(it - hay.begin());
}

// The VS_VERSIONINFO that windres wrote into small.exe (FILEVERSION 1,2,3,4;
// CompanyName, FileVersion "1.2.3.4", ProductName; Translation 0x409, 1200).
Bytes FixtureVersion()
{
    Bytes exe = ReadFile(std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/small.exe");
    size_t key = Find(exe, Utf16("VS_VERSION_INFO"));
    if (key == std::string::npos || key < 6)
        return {};
    size_t at = key - 6;
    return Bytes(exe.begin() + (long)at, exe.begin() + (long)(at + GetUi16(&exe[at])));
}

void Replace(Bytes *b, const std::string &from, const std::string &to)
{
    size_t at = Find(*b, Utf16(from));
    ASSERT_NE(at, std::string::npos) << from;
    Bytes t = Utf16(to);
    std::copy(t.begin(), t.end(), b->begin() + (long)at);
}

TEST(VersionInfo, ReadsWindresOutputWhole)
{
    Bytes v = FixtureVersion();
    ASSERT_FALSE(v.empty());
    tk::VersionInfo info;
    tk::Problems p;
    tk::ReadVersionInfo(v.data(), v.size(), &info, &p);
    EXPECT_TRUE(p.empty()) << Text(p);
    ASSERT_TRUE(info.read);
    EXPECT_EQ(tk::VersionText(info.fileVersionMS, info.fileVersionLS), "1.2.3.4");
    EXPECT_EQ(tk::VersionText(info.productVersionMS, info.productVersionLS), "1.2.3.4");
    EXPECT_EQ(info.fileOS, 0x40004u);
    ASSERT_EQ(info.strings.size(), 3u);
    const char *keys[3][2] = {{"CompanyName", "Corvane"}, {"FileVersion", "1.2.3.4"}, {"ProductName", "Small"}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(info.strings[i].table, "040904B0");
        EXPECT_EQ(info.strings[i].key, keys[i][0]);
        EXPECT_EQ(info.strings[i].value, keys[i][1]);
    }
    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0], 0x04B00409u);
}

TEST(VersionInfo, DamageAndCarelessness)
{
    const Bytes clean = FixtureVersion();
    ASSERT_FALSE(clean.empty());
    const size_t company = Find(clean, Utf16("CompanyName"));
    ASSERT_NE(company, std::string::npos);
    const struct {
        const char *name;
        void (*change)(Bytes *b, size_t company);
        bool read;
        const char *problem;
    } cases[] = {
        {"FileVersion text differs", [](Bytes *b, size_t) { Replace(b, "1.2.3.4", "1.2.3.5"); }, true,
         "error: the version table 040904B0 has FileVersion \"1.2.3.5\", but the fixed file version is 1.2.3.4"},
        {"FileVersion text with commas agrees", [](Bytes *b, size_t) { Replace(b, "1.2.3.4", "1,2,3,4"); }, true, nullptr},
        {"FileVersion text with a part missing", [](Bytes *b, size_t) { Replace(b, "1.2.3.4", "1.2.3  "); }, true,
         "error: the version table 040904B0 has FileVersion \"1.2.3  \", but the fixed file version is 1.2.3.4"},
        {"FileVersion text without a number", [](Bytes *b, size_t) { Replace(b, "1.2.3.4", "v1.2.3."); }, true,
         "warning: the version table 040904B0 has FileVersion \"v1.2.3.\", which does not start"},
        {"misspelled key", [](Bytes *b, size_t) { Replace(b, "CompanyName", "CompanyNane"); }, true,
         "warning: the version table 040904B0 has the unknown key \"CompanyNane\"; did you mean \"CompanyName\"?"},
        {"a text changed is still read", [](Bytes *b, size_t) { Replace(b, "Corvane", "Co(vane"); }, true, nullptr},
        {"table name not hex", [](Bytes *b, size_t) { Replace(b, "040904B0", "0409x4B0"); }, true,
         "error: the version resource has a string table named \"0409x4B0\""},
        {"table not in Translation", [](Bytes *b, size_t) { Replace(b, "040904B0", "040704B0"); }, true,
         "warning: the version table 040704B0 is not listed in VarFileInfo's Translation"},
        {"fixed signature", [](Bytes *b, size_t) { (*b)[40] ^= 1; }, false,
         "error: the version resource's fixed information has the signature 0xFEEF04BC"},
        {"root key", [](Bytes *b, size_t) { Replace(b, "VS_VERSION_INFO", "VS_VERSION_INF0"); }, false,
         "error: the version resource's root is named \"VS_VERSION_INF0\""},
        {"root longer than the resource", [](Bytes *b, size_t) { SetUi16(&(*b)[0], GetUi16(&(*b)[0]) + 4); }, false,
         "error: the version resource's root node at offset 0 has wLength"},
        {"a string longer than its table",
         [](Bytes *b, size_t at) { SetUi16(&(*b)[at - 6], 0x7000); }, true,
         "error: the version resource's string at offset"},
        {"a string of length zero", [](Bytes *b, size_t at) { SetUi16(&(*b)[at - 6], 0); }, true,
         "has wLength 0"},
        {"a value longer than its string", [](Bytes *b, size_t at) { SetUi16(&(*b)[at - 4], 200); }, true,
         "has a value of 400 bytes that runs past its node"},
        {"a key without its end", [](Bytes *b, size_t at) {
             SetUi16(&(*b)[at - 6], 6 + 22);
         }, true, "has a key without its terminating zero"},
        {"cut short", [](Bytes *b, size_t) { b->resize(30); }, false, "error: the version resource's root node"},
        {"empty", [](Bytes *b, size_t) { b->clear(); }, false, "error: the version resource's root node"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes b = clean;
        c.change(&b, company);
        tk::VersionInfo info;
        tk::Problems p;
        tk::ReadVersionInfo(b.data(), b.size(), &info, &p);
        EXPECT_EQ(info.read, c.read);
        if (!c.problem)
            EXPECT_TRUE(p.empty()) << Text(p);
        else
            EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
    }
}

}  // namespace
