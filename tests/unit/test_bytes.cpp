// The decimal formatter: every digit of the widest values, the sign, and the
// capacity rule.
#include <stdint.h>

#include "base/bytes.h"
#include "tests/unit/test_support.h"

namespace {

TEST(FormatDecimal, Table)
{
    const struct {
        int64_t value;
        const char *text;
    } cases[] = {
        {0, "0"},
        {9, "9"},
        {10, "10"},
        {-1, "-1"},
        {4294967295LL, "4294967295"},      // the 32-bit limit, and one past it
        {4294967296LL, "4294967296"},
        {1000000000000000000LL, "1000000000000000000"},
        {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (const auto &c : cases) {
        char out[kDecimalBuffer];
        EXPECT_EQ(1, FormatDecimal(out, sizeof out, c.value)) << c.text;
        EXPECT_STREQ(c.text, out);
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
