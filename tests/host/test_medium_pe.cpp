// The medium tool's PE reader and writers: real linker output (PE32 and
// PE32+) read and written back, a table of malformed images that must be
// refused, and the replacement of a program's resource section with the
// section moved after it.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "tools/lib/loadercheck.h"
#include "tools/lib/pe_image.h"
#include "tests/host/host_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using tk::ResEntry;
using tk::ResList;

Bytes ReadFixture(const char *name)
{
    return ReadFile(std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/" + name);
}

ResEntry Entry(uint16_t type, uint16_t name, uint16_t lang, const std::string &data)
{
    ResEntry e;
    e.type = tk::ResNumber(type);
    e.name = tk::ResNumber(name);
    e.lang = lang;
    e.data.assign(data.begin(), data.end());
    return e;
}

tk::ResId Named(const char *s)
{
    tk::ResId id;
    id.named = true;
    for (; *s; s++)
        id.name.push_back((char16_t)*s);
    return id;
}

bool SameEntry(const ResEntry &a, const ResEntry &b)
{
    return a.type.named == b.type.named && a.type.id == b.type.id && a.type.name == b.type.name &&
           a.name.named == b.name.named && a.name.id == b.name.id && a.name.name == b.name.name && a.lang == b.lang &&
           a.codePage == b.codePage && a.data == b.data;
}

void ExpectSameList(const ResList &a, const ResList &b)
{
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++)
        EXPECT_TRUE(SameEntry(a[i], b[i])) << "entry " << i;
}

// The linker's images: PE32 (i686) and PE32+ (x86-64).
const char *const kDlls[] = {"small.dll", "small64.dll"};
const char *const kPrograms[] = {"small.exe", "small64.exe"};

// Header fields of an image the test itself made or checked. PE32+ has the
// directories 16 bytes further on (8-byte ImageBase and stack and heap
// sizes, no BaseOfData).
struct Layout {
    uint32_t pe, opt, dirs, sections, nsec;
    bool plus;
};

Layout LayoutOf(const Bytes &img)
{
    Layout l;
    l.pe = GetUi32(&img[0x3C]);
    l.opt = l.pe + 24;
    l.plus = GetUi16(&img[l.opt]) == 0x20B;
    l.dirs = l.opt + (l.plus ? 112 : 96);
    l.nsec = GetUi16(&img[l.pe + 6]);
    l.sections = l.opt + GetUi16(&img[l.pe + 20]);
    return l;
}

uint32_t SectionField(const Bytes &img, uint32_t index, uint32_t field)
{
    return GetUi32(&img[LayoutOf(img).sections + 40 * index + field]);
}

TEST(MediumPe, ReadsLinkerOutputAllLevels)
{
    for (const char *name : kDlls) {
        SCOPED_TRACE(name);
        Bytes dll = ReadFixture(name);
        ASSERT_FALSE(dll.empty());
        ResList res;
        std::string err;
        ASSERT_TRUE(tk::ReadResources(dll.data(), dll.size(), &res, &err)) << err;
        // windres/ld order: named types first, then ids; languages ascending.
        ASSERT_EQ(res.size(), 6u);
        EXPECT_TRUE(res[0].type.named);
        EXPECT_EQ(res[0].type.name, u"TEXTDATA");
        EXPECT_EQ(res[0].name.id, 100);
        EXPECT_EQ(std::string(res[0].data.begin(), res[0].data.end()), "odd");
        EXPECT_EQ(res[1].type.id, tk::kRtString);
        EXPECT_EQ(res[1].name.id, 7100 / 16 + 1);
        EXPECT_EQ(res[1].lang, 0x407);
        EXPECT_EQ(res[2].lang, 0x409);
        EXPECT_EQ(res[3].type.id, tk::kRtVersion);
        EXPECT_EQ(res[4].type.id, 1001);
        EXPECT_TRUE(res[4].name.named);
        EXPECT_EQ(res[4].name.name, u"LOGO");
        EXPECT_EQ(std::string(res[4].data.begin(), res[4].data.end()), "logo lines\n");
        EXPECT_EQ(res[5].type.id, 3000);
        EXPECT_EQ(res[5].name.id, 7100);
    }
}

// The linker's own CheckSum, which ours must reproduce (the platform checks
// it for drivers and some loaders for any image).
TEST(MediumPe, ChecksumMatchesTheLinkers)
{
    for (const char *name : {kDlls[0], kPrograms[0], kDlls[1], kPrograms[1]}) {
        Bytes img = ReadFixture(name);
        ASSERT_FALSE(img.empty());
        EXPECT_EQ(GetUi32(&img[LayoutOf(img).opt + 64]), tk::PeChecksum(img.data(), img.size())) << name;
        EXPECT_NE(GetUi32(&img[LayoutOf(img).opt + 64]), 0u) << name;
    }
}

// The loader's rules hold for the linker's PE32 and PE32+ images as they
// are; a machine is taken only in its own form of the optional header.
TEST(MediumPe, LoaderRulesTakeBothFormsEachForItsMachines)
{
    const struct {
        const char *image;
        uint16_t machine;   // 0: as linked
        const char *error;  // null: no finding at all
    } cases[] = {
        {"small.exe", 0, nullptr},
        {"small64.exe", 0, nullptr},
        {"small64.dll", 0, nullptr},
        {"small64.exe", 0xAA64, nullptr},   // ARM64 is PE32+ too
        {"small.exe", 0x8664, "machine x86-64 (0x8664) with a PE32 optional header (magic 0x10B)"},
        {"small64.exe", 0x14C, "machine i386 (0x14C) with a PE32+ optional header (magic 0x20B)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.image) + " " + std::to_string(c.machine));
        Bytes img = ReadFixture(c.image);
        if (c.machine)
            SetUi16(&img[LayoutOf(img).pe + 4], c.machine);
        tk::PeImage pe;
        std::string err;
        ASSERT_TRUE(tk::ParsePeImage(img.data(), img.size(), &pe, &err)) << err;
        tk::Problems problems;
        tk::CheckLoaderRules(pe, &problems);
        std::string found;
        for (const tk::Finding &f : problems)
            found += f.text + "\n";
        if (!c.error) {
            EXPECT_EQ(found, "");
            continue;
        }
        ASSERT_EQ(problems.size(), 1u) << found;
        EXPECT_EQ(problems[0].severity, tk::Severity::Error);
        EXPECT_NE(found.find(c.error), std::string::npos) << found;
    }
}

TEST(MediumPe, RoundTripsThroughOwnDll)
{
    for (const char *name : {kDlls[0], kPrograms[0], kDlls[1], kPrograms[1]}) {
        SCOPED_TRACE(name);
        Bytes img = ReadFixture(name);
        ResList res, back;
        std::string err;
        ASSERT_TRUE(tk::ReadResources(img.data(), img.size(), &res, &err)) << err;
        Bytes dll;
        ASSERT_TRUE(tk::WriteResourceDll(res, &dll, &err)) << err;
        ASSERT_TRUE(tk::ReadResources(dll.data(), dll.size(), &back, &err)) << err;
        ExpectSameList(res, back);
        // The same list gives the same bytes, with a checksum that holds.
        Bytes again;
        ASSERT_TRUE(tk::WriteResourceDll(back, &again, &err)) << err;
        EXPECT_EQ(dll, again);
        EXPECT_EQ(GetUi32(&dll[LayoutOf(dll).opt + 64]), tk::PeChecksum(dll.data(), dll.size()));
        EXPECT_EQ(dll.size() % 512, 0u);
    }
}

TEST(MediumPe, DllSortsEntriesAndRefusesDuplicates)
{
    ResList res = {Entry(3000, 7200, 0x409, "b"), Entry(6, 444, 0x409, "s"), Entry(3000, 7100, 0x409, "a")};
    ResEntry named = Entry(0, 7, 0x409, "n");
    named.type = Named("ZED");
    res.push_back(named);
    named.type = Named("ALPHA");
    res.push_back(named);
    Bytes dll;
    std::string err;
    ASSERT_TRUE(tk::WriteResourceDll(res, &dll, &err)) << err;
    ResList back;
    ASSERT_TRUE(tk::ReadResources(dll.data(), dll.size(), &back, &err)) << err;
    ASSERT_EQ(back.size(), 5u);
    EXPECT_EQ(back[0].type.name, u"ALPHA");
    EXPECT_EQ(back[1].type.name, u"ZED");
    EXPECT_EQ(back[2].type.id, 6);
    EXPECT_EQ(back[3].name.id, 7100);
    EXPECT_EQ(back[4].name.id, 7200);

    res.push_back(Entry(3000, 7100, 0x409, "again"));
    EXPECT_FALSE(tk::WriteResourceDll(res, &dll, &err));
    EXPECT_NE(err.find("duplicate"), std::string::npos) << err;
    EXPECT_TRUE(dll.empty());
}

// A DLL of one string block whose layout the cases below poke at:
// root at 0x200, name directory at 0x218, language directory at 0x230, the
// data entry at 0x248, data at 0x258 (RVA 0x1058).
Bytes OneEntryDll()
{
    Bytes dll;
    std::string err;
    ResList res = {Entry(6, 444, 0x409, "0123456789")};
    EXPECT_TRUE(tk::WriteResourceDll(res, &dll, &err)) << err;
    return dll;
}

struct Malformed {
    const char *what;
    std::function<void(Bytes &)> change;
    const char *error;   // part of the expected message
};

TEST(MediumPe, RefusesMalformedImages)
{
    const Layout l = LayoutOf(OneEntryDll());
    const uint32_t root = 0x200, nameDir = 0x218, langDir = 0x230, dataEntry = 0x248;
    const Malformed cases[] = {
        {"empty", [](Bytes &b) { b.clear(); }, "MZ"},
        {"cut in the DOS header", [](Bytes &b) { b.resize(0x3E); }, "PE signature"},
        {"cut in the COFF header", [&](Bytes &b) { b.resize(l.pe + 10); }, "past the end"},
        {"cut in the optional header", [&](Bytes &b) { b.resize(l.opt + 60); }, "past the end"},
        {"cut in the section table", [&](Bytes &b) { b.resize(l.sections + 20); }, "section table"},
        {"cut in the resource tree", [&](Bytes &b) { b.resize(root + 20); }, "runs past"},
        {"cut in the resource data", [](Bytes &b) { b.resize(0x25A); }, "runs past"},
        {"no MZ", [](Bytes &b) { b[0] = 'X'; }, "MZ"},
        {"PE header pointer past the file", [](Bytes &b) { SetUi32(&b[0x3C], 0x7FFFFFF0); }, "PE signature"},
        // Beyond the first 4 KiB the headers are read again, further: the
        // count is reached (not "no PE signature").
        {"PE header past the first 4 KiB",
         [&](Bytes &b) {
             const Bytes head(b.begin() + l.pe, b.begin() + l.sections + 40);
             b.resize(std::max<size_t>(b.size(), 0x1200 + head.size()));
             std::copy(head.begin(), head.end(), b.begin() + 0x1200);
             SetUi32(&b[0x3C], 0x1200);
             SetUi16(&b[0x1200 + 6], 0);
         },
         "absurd section count 0"},
        {"unknown optional header magic", [&](Bytes &b) { SetUi16(&b[l.opt], 0x107); }, "magic"},
        {"absurd section count", [&](Bytes &b) { SetUi16(&b[l.pe + 6], 0xFFFF); }, "absurd section count"},
        {"section table past the file", [&](Bytes &b) { SetUi16(&b[l.pe + 6], 60); }, "section table"},
        {"optional header too small", [&](Bytes &b) { SetUi16(&b[l.pe + 20], 64); }, "too small"},
        {"resource directory outside the sections", [&](Bytes &b) { SetUi32(&b[l.dirs + 16], 0x9000); }, "outside"},
        {"section data past the file", [&](Bytes &b) { SetUi32(&b[l.sections + 20], 0x100000); }, "outside"},
        {"root points at itself", [&](Bytes &b) { SetUi32(&b[root + 20], 0x80000000u); }, "reached twice"},
        {"language directory points back to the name directory",
         [&](Bytes &b) { SetUi32(&b[nameDir + 20], 0x80000000u | (nameDir - root)); }, "reached twice"},
        {"absurd entry count", [&](Bytes &b) { SetUi16(&b[root + 14], 0xFFFF); }, "runs past"},
        {"directory past the section", [&](Bytes &b) { SetUi32(&b[root + 20], 0x80000000u | 0x1FC); }, "runs past"},
        {"type entry points at data", [&](Bytes &b) { SetUi32(&b[root + 20], 0x18); }, "points at data"},
        {"language entry points at a directory",
         [&](Bytes &b) { SetUi32(&b[langDir + 20], 0x80000000u | 0x40); }, "points at a directory"},
        {"name past the section", [&](Bytes &b) { SetUi32(&b[nameDir + 16], 0x80000000u | 0x1FF); }, "name at"},
        {"numbered id past 16 bits", [&](Bytes &b) { SetUi32(&b[nameDir + 16], 0x10000); }, "16 bits"},
        {"data entry past the section", [&](Bytes &b) { SetUi32(&b[langDir + 20], 0x1FC); }, "data entry"},
        {"data past the section", [&](Bytes &b) { SetUi32(&b[dataEntry + 4], 0x10000); }, "runs past"},
        {"data size wraps", [&](Bytes &b) { SetUi32(&b[dataEntry + 4], 0xFFFFFFF0u); }, "runs past"},
        {"data outside every section", [&](Bytes &b) { SetUi32(&b[dataEntry], 0x40000); }, "runs past"},
    };
    for (const Malformed &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes img = OneEntryDll();
        c.change(img);
        ResList res;
        std::string err;
        EXPECT_FALSE(tk::ReadResources(img.data(), img.size(), &res, &err));
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }

    // PE32+ reads its directory count and directories 16 bytes further on:
    // an optional header of PE32's size does not hold them.
    const Bytes dll64 = ReadFixture("small64.dll");
    const Layout l64 = LayoutOf(dll64);
    ASSERT_TRUE(l64.plus);
    const Malformed plus[] = {
        {"PE32+ with PE32's optional header size", [&](Bytes &b) { SetUi16(&b[l64.pe + 20], 0xE0); },
         "data directories run past the optional header"},
        {"PE32+ cut before its directory count", [&](Bytes &b) { SetUi16(&b[l64.pe + 20], 108); }, "too small"},
    };
    for (const Malformed &c : plus) {
        SCOPED_TRACE(c.what);
        Bytes img = dll64;
        c.change(img);
        ResList res;
        std::string err;
        EXPECT_FALSE(tk::ReadResources(img.data(), img.size(), &res, &err));
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }

    // In a file over 1 MiB, only a header that runs out of the bytes read
    // is blamed on the 1 MiB read; any other fault is named as it is.
    Bytes big(2u << 20, 0);
    std::string err;
    tk::PeImage pe;
    EXPECT_FALSE(tk::ParsePeImage(big.data(), big.size(), &pe, &err));
    EXPECT_EQ(err, "not a PE image (no MZ header)");
    big[0] = 'M';
    big[1] = 'Z';
    SetUi32(&big[0x3C], (1u << 20) + 16);
    EXPECT_FALSE(tk::ParsePeImage(big.data(), big.size(), &pe, &err));
    EXPECT_NE(err.find("only the first 1 MiB"), std::string::npos) << err;
}

TEST(MediumPe, ImageWithoutResourcesIsEmpty)
{
    Bytes img = OneEntryDll();
    SetUi32(&img[LayoutOf(img).dirs + 16], 0);
    SetUi32(&img[LayoutOf(img).dirs + 20], 0);
    ResList res = {Entry(1, 1, 1, "x")};
    std::string err;
    EXPECT_TRUE(tk::ReadResources(img.data(), img.size(), &res, &err)) << err;
    EXPECT_TRUE(res.empty());
}

TEST(MediumPe, ReplaceMovesRelocationsAndFixesHeaders)
{
    for (const char *name : kPrograms) {
        SCOPED_TRACE(name);
        Bytes exe = ReadFixture(name);
        ASSERT_FALSE(exe.empty());
        const Layout l = LayoutOf(exe);
        ResList res;
        std::string err;
        ASSERT_TRUE(tk::ReadResources(exe.data(), exe.size(), &res, &err)) << err;
        // Large enough to push .reloc several pages on.
        res.push_back(Entry(3000, 7200, 0x409, std::string(20000, 'p')));

        Bytes out;
        std::vector<std::string> warnings;
        ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &out, &warnings, &err)) << err;
        EXPECT_TRUE(warnings.empty());
        ResList back;
        ASSERT_TRUE(tk::ReadResources(out.data(), out.size(), &back, &err)) << err;
        // The writer sorts; the added entry was already in order.
        ExpectSameList(res, back);

        const uint32_t last = l.nsec - 1;   // .reloc
        ASSERT_EQ(memcmp(&out[l.sections + 40 * last], ".reloc", 6), 0);
        const uint32_t rsrcVa = SectionField(out, last - 1, 12);
        const uint32_t rsrcSize = SectionField(out, last - 1, 8);
        const uint32_t relocVa = SectionField(out, last, 12);
        EXPECT_EQ(relocVa, (rsrcVa + rsrcSize + 0xFFF) / 0x1000 * 0x1000);
        EXPECT_GT(relocVa, SectionField(exe, last, 12));
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 5]), relocVa);
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 5 + 4]), GetUi32(&exe[l.dirs + 8 * 5 + 4]));
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 2]), rsrcVa);
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 2 + 4]), rsrcSize);
        // The relocation blocks themselves do not change: the code did not move.
        const uint32_t relocRaw = SectionField(out, last, 16);
        EXPECT_EQ(memcmp(&out[SectionField(out, last, 20)], &exe[SectionField(exe, last, 20)], relocRaw), 0);
        EXPECT_EQ(SectionField(out, last, 20) % 512, 0u);
        EXPECT_EQ(out.size(), SectionField(out, last, 20) + relocRaw);
        // SizeOfImage covers .reloc; initialized data grew by the section's growth.
        EXPECT_EQ(GetUi32(&out[l.opt + 56]), relocVa + 0x1000);
        EXPECT_EQ(GetUi32(&out[l.opt + 8]) - GetUi32(&exe[l.opt + 8]),
                  SectionField(out, last - 1, 16) - SectionField(exe, last - 1, 16));
        EXPECT_EQ(GetUi32(&out[l.opt + 64]), tk::PeChecksum(out.data(), out.size()));
        // The optional header changes only in those fields: in PE32+ the
        // 8-byte ImageBase, stack and heap sizes stay as the linker wrote them.
        const std::vector<std::pair<uint32_t, uint32_t>> patched = {
            {l.opt + 8, 4}, {l.opt + 56, 4}, {l.opt + 64, 4}, {l.dirs + 8 * 2, 8}, {l.dirs + 8 * 5, 8}};
        for (uint32_t at = l.opt; at < l.sections; at++) {
            bool moves = false;
            for (const auto &p : patched)
                moves = moves || (at >= p.first && at < p.first + p.second);
            if (!moves)
                EXPECT_EQ(out[at], exe[at]) << "optional header byte " << at - l.opt;
        }
        // Everything before the resources is the same bytes.
        const uint32_t rsrcRaw = SectionField(exe, last - 1, 20);
        const uint32_t tableEnd = l.sections + 40 * l.nsec;
        EXPECT_EQ(memcmp(&out[tableEnd], &exe[tableEnd], rsrcRaw - tableEnd), 0);
    }
}

// The page-aligned layout: the same image in memory as the 512-byte one
// (addresses, sizes, every section's bytes), with raw data, headers and the
// debug directory's file offsets on 4 KiB boundaries. small.exe gets a debug
// directory in .rdata whose data is a marker a few bytes further on.
TEST(MediumPe, ReplaceLaysSectionsOutOnPages)
{
    for (const char *name : kPrograms) {
        SCOPED_TRACE(name);
        Bytes exe = ReadFixture(name);
        const Layout l = LayoutOf(exe);
        const uint32_t rdata = 2;
        ASSERT_EQ(memcmp(&exe[l.sections + 40 * rdata], ".rdata", 6), 0);
        const uint32_t rdataVa = SectionField(exe, rdata, 12), rdataRaw = SectionField(exe, rdata, 20);
        SetUi32(&exe[l.sections + 40 * rdata + 8], 0x40);   // VirtualSize: room for the entry and the marker
        SetUi32(&exe[l.dirs + 8 * 6], rdataVa);
        SetUi32(&exe[l.dirs + 8 * 6 + 4], 28);
        SetUi32(&exe[rdataRaw + 20], rdataVa + 0x30);       // AddressOfRawData
        SetUi32(&exe[rdataRaw + 24], rdataRaw + 0x30);      // PointerToRawData
        memcpy(&exe[rdataRaw + 0x30], "MARK", 4);
        ResList res;
        std::string err;
        ASSERT_TRUE(tk::ReadResources(exe.data(), exe.size(), &res, &err)) << err;
        res.push_back(Entry(3000, 7200, 0x409, std::string(20000, 'p')));

        Bytes small, paged;
        std::vector<std::string> warnings;
        ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &small, &warnings, &err)) << err;
        ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &paged, &warnings, &err, 4096)) << err;
        EXPECT_EQ(GetUi32(&small[l.opt + 36]), 512u);
        EXPECT_EQ(GetUi32(&paged[l.opt + 36]), 4096u);
        EXPECT_EQ(GetUi32(&paged[l.opt + 60]), 4096u) << "SizeOfHeaders";
        EXPECT_EQ(GetUi32(&paged[l.opt + 56]), GetUi32(&small[l.opt + 56])) << "SizeOfImage";
        EXPECT_EQ(GetUi32(&paged[l.opt + 64]), tk::PeChecksum(paged.data(), paged.size()));
        uint32_t code = 0, data = 0, end = 4096;
        for (uint32_t i = 0; i < l.nsec; i++) {
            SCOPED_TRACE(i);
            const uint32_t vs = SectionField(small, i, 8), raw = SectionField(small, i, 16);
            const uint32_t at = SectionField(small, i, 20);
            const uint32_t flags = SectionField(paged, i, 36), praw = SectionField(paged, i, 16);
            const uint32_t pat = SectionField(paged, i, 20);
            EXPECT_EQ(SectionField(paged, i, 8), vs);
            EXPECT_EQ(SectionField(paged, i, 12), SectionField(small, i, 12));
            if (flags & 0x20)
                code += praw;
            else if (flags & 0x40)
                data += praw;
            if (raw == 0) {
                EXPECT_EQ(praw, 0u);
                continue;
            }
            EXPECT_EQ(pat, end) << "raw data follows on";
            EXPECT_EQ(praw % 4096, 0u);
            EXPECT_GE(praw, raw);
            end = pat + praw;
            ASSERT_LE(end, paged.size());
            Bytes got(paged.begin() + pat, paged.begin() + pat + raw);
            if (i == rdata)   // all but the debug entry's file offset
                SetUi32(&got[24], GetUi32(&small[at + 24]));
            EXPECT_TRUE(got == Bytes(small.begin() + at, small.begin() + at + raw)) << "the section's bytes";
            EXPECT_EQ(std::count(paged.begin() + pat + raw, paged.begin() + end, 0), (long)(praw - raw))
                << "zeros after";
        }
        EXPECT_EQ(paged.size(), end);
        EXPECT_EQ(GetUi32(&paged[l.opt + 4]), code) << "SizeOfCode";
        EXPECT_EQ(GetUi32(&paged[l.opt + 8]), data) << "SizeOfInitializedData";
        const uint32_t debugData = GetUi32(&paged[SectionField(paged, rdata, 20) + 24]);
        ASSERT_LE(debugData + 4, paged.size());
        EXPECT_EQ(memcmp(&paged[debugData], "MARK", 4), 0);
        ResList back;
        ASSERT_TRUE(tk::ReadResources(paged.data(), paged.size(), &back, &err)) << err;
        ExpectSameList(res, back);

        // Alignments the layout cannot take.
        for (uint32_t fa : {256u, 0x300u, 0x2000u}) {
            SCOPED_TRACE(fa);
            Bytes out;
            EXPECT_FALSE(tk::ReplaceResources(exe.data(), exe.size(), res, &out, &warnings, &err, fa));
            EXPECT_NE(err.find("file alignment"), std::string::npos) << err;
            EXPECT_TRUE(out.empty());
        }
    }
}

TEST(MediumPe, ReplaceStreamsEntriesFromFiles)
{
    Bytes exe = ReadFixture("small.exe");
    std::string payload(100000, '\0');
    for (size_t i = 0; i < payload.size(); i++)
        payload[i] = (char)(i * 7 + i / 251);
    char path[] = "/tmp/medium-pe-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    FILE *f = fdopen(fd, "wb");
    fwrite(payload.data(), 1, payload.size(), f);
    fclose(f);

    ResList inMemory = {Entry(3000, 7100, 0x409, payload), Entry(6, 1, 0x409, "s")};
    ResList fromFile = inMemory;
    fromFile[0].data.clear();
    fromFile[0].dataFile = path;
    fromFile[0].dataFileSize = (uint32_t)payload.size();

    std::vector<std::string> warnings;
    std::string err;
    Bytes expected;
    ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), inMemory, &expected, &warnings, &err)) << err;
    FILE *out = tmpfile();
    ASSERT_TRUE(out);
    ASSERT_TRUE(tk::ReplaceResourcesToFile(exe.data(), exe.size(), fromFile, out, &warnings, &err)) << err;
    Bytes got;
    rewind(out);
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, out)) > 0)
        got.insert(got.end(), buf, buf + n);
    fclose(out);
    EXPECT_EQ(got, expected);

    // Entries read in place from that image (left in the file at their
    // offsets) write the same image again.
    {
        char imagePath[] = "/tmp/medium-pe-image-XXXXXX";
        int imageFd = mkstemp(imagePath);
        ASSERT_GE(imageFd, 0);
        FILE *image = fdopen(imageFd, "w+b");
        ASSERT_EQ(fwrite(expected.data(), 1, expected.size(), image), expected.size());
        fflush(image);
        tk::PeImage pe;
        ASSERT_TRUE(tk::ParsePeImage(tk::FileSource(image), expected.size(), &pe, &err)) << err;
        tk::ResInFile inFile;
        inFile.type = 3000;
        inFile.file = imagePath;
        ResList inPlace;
        ASSERT_TRUE(tk::ReadResources(tk::FileSource(image), pe, &inFile, &inPlace, &err)) << err;
        fclose(image);
        const tk::ResEntry *piece = tk::ResFind(inPlace, tk::ResNumber(3000), tk::ResNumber(7100));
        ASSERT_NE(piece, nullptr);
        EXPECT_NE(piece->dataFileOffset, 0u);
        Bytes again;
        EXPECT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), inPlace, &again, &warnings, &err)) << err;
        EXPECT_EQ(again, expected);
        remove(imagePath);
    }

    // A data file shorter than it claims is an error, not a short image.
    fromFile[0].dataFileSize += 10;
    out = tmpfile();
    EXPECT_FALSE(tk::ReplaceResourcesToFile(exe.data(), exe.size(), fromFile, out, &warnings, &err));
    EXPECT_NE(err.find("shorter"), std::string::npos) << err;
    fclose(out);
    remove(path);
}

TEST(MediumPe, ReplaceDropsCertificateWithWarning)
{
    for (const char *name : kPrograms) {
        SCOPED_TRACE(name);
        Bytes exe = ReadFixture(name);
        const Layout l = LayoutOf(exe);
        const uint32_t end = (uint32_t)exe.size();
        exe.resize(end + 16, 0xAB);
        SetUi32(&exe[l.dirs + 8 * 4], end);
        SetUi32(&exe[l.dirs + 8 * 4 + 4], 16);
        ResList res = {Entry(6, 1, 0x409, "s")};
        Bytes out;
        std::vector<std::string> warnings;
        std::string err;
        ASSERT_TRUE(tk::ReplaceResources(exe.data(), exe.size(), res, &out, &warnings, &err)) << err;
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("signature"), std::string::npos);
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 4]), 0u);
        EXPECT_EQ(GetUi32(&out[l.dirs + 8 * 4 + 4]), 0u);
        EXPECT_NE(out.back(), 0xAB);
    }
}

TEST(MediumPe, ReplaceRefusesImagesItCannotRewrite)
{
    const Malformed cases[] = {
        {"a section that is not the relocations follows the resources",
         [](Bytes &b) { SetUi32(&b[LayoutOf(b).dirs + 8 * 5], 0); }, "follows the resources"},
        {"data appended after the sections", [](Bytes &b) { b.resize(b.size() + 100, 1); }, "appended"},
        {"another directory points past the resources",
         [](Bytes &b) { SetUi32(&b[LayoutOf(b).dirs + 8 * 1], 0x8000); }, "points into or past"},
        {"certificate inside a section",
         [](Bytes &b) {
             SetUi32(&b[LayoutOf(b).dirs + 8 * 4], 0x400);
             SetUi32(&b[LayoutOf(b).dirs + 8 * 4 + 4], 8);
         },
         "certificate"},
        {"file alignment not a power of two", [](Bytes &b) { SetUi32(&b[LayoutOf(b).opt + 36], 0x300); }, "alignment"},
        {"no resource directory", [](Bytes &b) { SetUi32(&b[LayoutOf(b).dirs + 8 * 2], 0); }, "no section"},
    };
    for (const char *name : kPrograms) {
        for (const Malformed &c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.what);
            Bytes exe = ReadFixture(name);
            c.change(exe);
            ResList res = {Entry(6, 1, 0x409, "s")};
            Bytes out;
            std::vector<std::string> warnings;
            std::string err;
            EXPECT_FALSE(tk::ReplaceResources(exe.data(), exe.size(), res, &out, &warnings, &err));
            EXPECT_NE(err.find(c.error), std::string::npos) << err;
            EXPECT_TRUE(out.empty());
        }
    }
}

}  // namespace
