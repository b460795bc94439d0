// Icon groups against their icons: the fixture's two bitmaps as a group
// would name them, then entries and images that do not agree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/host/host_files.h"
#include "tools/lib/icongroup.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Text(const tk::Problems &p)
{
    std::string s;
    for (const tk::Finding &x : p)
        s += (x.severity == tk::Severity::Error ? "error: " : "warning: ") + x.text + "\n";
    return s;
}

// test.ico (16 x 16 and 32 x 32, 32 bits) as resources: the group (14-byte
// entries naming ids 1 and 2) and the two images.
struct Icons {
    Bytes group;
    Bytes images[2];
};

Icons FromIco()
{
    Icons out;
    Bytes ico = ReadFile(std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/medium/test.ico");
    if (ico.size() < 6 + 32)
        return out;
    out.group.assign(ico.begin(), ico.begin() + 6);
    for (int i = 0; i < 2; i++) {
        const uint8_t *e = &ico[6 + 16 * i];
        out.group.insert(out.group.end(), e, e + 12);
        out.group.push_back((uint8_t)(i + 1));
        out.group.push_back(0);
        uint32_t size = GetUi32(e + 8), at = GetUi32(e + 12);
        out.images[i].assign(ico.begin() + at, ico.begin() + at + size);
    }
    return out;
}

Bytes Png(uint32_t w, uint32_t h)
{
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8)
            b.push_back((uint8_t)(v >> s));
    b.resize(40, 0);
    return b;
}

TEST(IconGroup, Cases)
{
    const Icons fixture = FromIco();
    ASSERT_EQ(fixture.group.size(), 6u + 28u);
    const struct {
        const char *name;
        void (*change)(Icons *x);
        size_t entries;
        const char *problem;
    } cases[] = {
        {"the fixture", [](Icons *) {}, 2, nullptr},
        {"a 256 x 256 PNG, written as 0 x 0",
         [](Icons *x) {
             x->images[1] = Png(256, 256);
             x->group[6 + 14] = 0;
             x->group[6 + 14 + 1] = 0;
             SetUi32(&x->group[6 + 14 + 8], 40);
         },
         2, nullptr},
        {"a PNG of another size",
         [](Icons *x) {
             x->images[1] = Png(48, 48);
             SetUi32(&x->group[6 + 14 + 8], 40);
         },
         2, "error: icon 2 is a 48 x 48 PNG, but icon group 1 entry 2 (icon 2) says 32 x 32"},
        {"entry names a missing icon", [](Icons *x) { x->group[6 + 12] = 9; }, 2,
         "error: icon group 1 entry 1 (icon 9) names an icon that is not in the file"},
        {"byte count disagrees", [](Icons *x) { SetUi32(&x->group[6 + 8], 100); }, 2,
         "error: icon group 1 entry 1 (icon 1) gives 100 bytes, but icon 1 holds 1128"},
        {"bitmap of another size", [](Icons *x) { x->group[6] = 24; }, 2,
         "error: icon 1 is a bitmap of 16 x 32 (image and mask), but icon group 1 entry 1 (icon 1) says 24 x 16"},
        {"bitmap cut short", [](Icons *x) { x->images[0].resize(200); }, 2,
         "error: icon 1 needs 1128 bytes for its pixels and mask but holds 200"},
        {"bitmap header damaged", [](Icons *x) { x->images[0][0] = 41; }, 2,
         "error: icon 1 is neither a PNG nor a bitmap"},
        {"compressed bitmap", [](Icons *x) { x->images[0][16] = 1; }, 2, "compression 1"},
        {"header type", [](Icons *x) { x->group[2] = 2; }, 0,
         "error: icon group 1 does not start with an icon directory header"},
        {"count past the group", [](Icons *x) { x->group[4] = 3; }, 0, "says 3 icons in 34 bytes, where 48 are needed"},
        {"no icons", [](Icons *x) { x->group.resize(6); x->group[4] = 0; }, 0, "error: icon group 1 holds no icons"},
        {"cut short", [](Icons *x) { x->group.resize(4); }, 0, "does not start with an icon directory header"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Icons x = fixture;
        c.change(&x);
        std::vector<tk::IconResource> images;
        for (int i = 0; i < 2; i++)
            images.push_back({(uint16_t)(i + 1), x.images[i].data(), x.images[i].size()});
        std::vector<tk::IconEntry> entries;
        tk::Problems p;
        tk::CheckIconGroup(x.group.data(), x.group.size(), images, "icon group 1", &entries, &p);
        EXPECT_EQ(entries.size(), c.entries);
        if (!c.problem)
            EXPECT_TRUE(p.empty()) << Text(p);
        else
            EXPECT_NE(Text(p).find(c.problem), std::string::npos) << Text(p);
    }
}

}  // namespace
