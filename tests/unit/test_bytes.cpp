// The decimal formatter: every digit of the widest values, the sign, and the
// capacity rule. It takes a long: 32 bits on Windows, 64 natively.
#include <limits.h>
#include <stdint.h>

#include <string>

#include "base/bytes.h"
#include "tests/unit/test_support.h"

namespace {

TEST(FormatDecimal, Table)
{
    const struct {
        long value;
        std::string text;
    } cases[] = {
        {0, "0"},
        {9, "9"},
        {10, "10"},
        {-1, "-1"},
        {65535, "65535"},
        {2147483647L, "2147483647"},
        {-2147483647L - 1, "-2147483648"},
        {LONG_MAX, std::to_string(LONG_MAX)},   // the widest long of the build
        {LONG_MIN, std::to_string(LONG_MIN)},
    };
    for (const auto &c : cases) {
        char out[kDecimalBuffer];
        EXPECT_EQ(1, FormatDecimal(out, sizeof out, c.value)) << c.text;
        EXPECT_EQ(c.text, out);
    }
}

TEST(FormatDecimal, TooSmallLeavesItEmpty)
{
    char out[4] = "xyz";
    EXPECT_EQ(0, FormatDecimal(out, sizeof out, 1234));
    EXPECT_STREQ("", out);
    EXPECT_EQ(1, FormatDecimal(out, sizeof out, 123));
    EXPECT_STREQ("123", out);
    EXPECT_EQ(0, FormatDecimal(out, 0, 1));
}

}  // namespace
