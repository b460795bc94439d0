// The double-byte code pages as the launcher walks them under Windows: the
// host's NextChar and the tools' text codec take the same lead bytes, so a
// trail byte that equals '\' or '|' is never read as one.
#include <gtest/gtest.h>

#include <string>

#include "base/platform.h"
#include "base/text.h"
#include "tools/lib/textcodec.h"

namespace {

TEST(CodePages, NextCharStepsOverWholeCharacters)
{
    struct Case {
        int codePage;
        const char *text;
        size_t firstStep;   // bytes of the first character
    } cases[] = {
        {932, "\x95\x5C", 2},     // 表: trail byte '\'
        {932, "\xA0\x5C", 1},     // 0xA0 is no lead byte of 932 ...
        {936, "\xA0\xA1", 2},     // ... but is one of 936
        {936, "\x81\x5C", 2},     // 乗
        {936, "\xFF\x41", 1},     // 0xFF leads nothing
        {949, "\x83\xF2", 2},     // 껖
        {949, "\xC7\xD1", 2},     // 한
        {950, "\xB3\x5C", 2},     // 許
        {950, "\xA4\x7C", 2},     // trail byte '|'
        {950, "\x80\x41", 1},
        {950, "\xB3", 1},         // a lead byte before the terminator stands alone
        {1252, "\xB3\x5C", 1},
        {874, "\xA1\x5C", 1},
    };
    for (const Case &c : cases) {
        HostSetCodePage(c.codePage);
        EXPECT_EQ((size_t)(NextChar(c.text) - c.text), c.firstStep) << c.codePage << " " << c.text;
    }
    HostSetCodePage(1252);
}

TEST(CodePages, TextsRoundTripAndRefuseOtherScripts)
{
    struct Case {
        uint32_t codePage;
        const char *utf8;
        const char *bytes;      // nullptr: refused
        uint32_t badPoint;
    } cases[] = {
        {936, "安装 乗", "\xB0\xB2\xD7\xB0\x20\x81\x5C", 0},
        {950, "安裝 許", "\xA6\x77\xB8\xCB\x20\xB3\x5C", 0},
        {949, "설치 한", "\xBC\xB3\xC4\xA1\x20\xC7\xD1", 0},
        {936, "한", nullptr, 0xD55C},
        {950, "装", nullptr, 0x88C5},
        {949, "ไทย", nullptr, 0x0E44},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(tk::CodePageSupported(c.codePage));
        std::string out, back;
        uint32_t bad = 0;
        const bool ok = tk::ToCodePage(c.utf8, c.codePage, &out, &bad);
        EXPECT_EQ(ok, c.bytes != nullptr) << c.utf8;
        if (c.bytes) {
            EXPECT_EQ(out, c.bytes) << c.utf8;
            EXPECT_TRUE(tk::FromCodePage(out, c.codePage, &back));
            EXPECT_EQ(back, c.utf8);
        } else {
            EXPECT_EQ(bad, c.badPoint) << c.utf8;
        }
    }
    for (uint32_t cp : {437u, 65001u, 1200u, 1259u, 0u})
        EXPECT_FALSE(tk::CodePageSupported(cp)) << cp;
}

}  // namespace
