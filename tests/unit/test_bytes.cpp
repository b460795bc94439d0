// The bounded cursor over input, the writer into a caller's buffer, and the
// decimal formatter: every digit of the widest values, the sign, and the
// capacity rule (a long: 32 bits on Windows, 64 natively).
#include <limits.h>
#include <stdint.h>

#include <string.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "tests/unit/test_support.h"

namespace {

// One step of a read: an operation and what the cursor must show after it.
enum Op { kTake, kSeek, kU8, kU16, kU32 };
struct ReadStep {
    Op op;
    uint32_t arg;        // Take: length; Seek: position
    int64_t result;      // Take: offset of the bytes given, -1 for null; Un: the value
    uint32_t pos;
    int err;
    uint32_t left;
};

TEST(ByteReader, Table)
{
    const unsigned char data[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    const struct {
        const char *why;
        std::vector<ReadStep> steps;
    } cases[] = {
        {"a take at the exact end, then an empty one",
         {{kSeek, 4, 0, 4, 0, 4}, {kTake, 4, 4, 8, 0, 0}, {kTake, 0, 8, 8, 0, 0}}},
        {"one byte past the end fails and keeps the position",
         {{kSeek, 4, 0, 4, 0, 4}, {kTake, 5, -1, 4, 1, 0}}},
        {"a huge length after the position moved cannot wrap around",
         {{kSeek, 3, 0, 3, 0, 5}, {kTake, 0xFFFFFFFDu, -1, 3, 1, 0}}},
        {"the largest length from the start",
         {{kTake, 0xFFFFFFFFu, -1, 0, 1, 0}}},
        {"the error sticks after a bad seek",
         {{kSeek, 9, 0, 0, 1, 0}, {kSeek, 0, 0, 0, 1, 0}, {kU8, 0, 0, 0, 1, 0}, {kTake, 0, -1, 0, 1, 0}}},
        {"nothing is left after an error, wherever the position stood",
         {{kU16, 0, 0x0201, 2, 0, 6}, {kTake, 7, -1, 2, 1, 0}, {kU32, 0, 0, 2, 1, 0}}},
        {"fields are little-endian; a field cut short gives 0",
         {{kU8, 0, 0x01, 1, 0, 7}, {kU32, 0, 0x05040302, 5, 0, 3}, {kU32, 0, 0, 5, 1, 0}}},
        {"a seek to the very end is allowed",
         {{kSeek, 8, 0, 8, 0, 0}, {kU8, 0, 0, 8, 1, 0}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        ByteReader r;
        ReaderInit(&r, data, sizeof data);
        for (size_t i = 0; i < c.steps.size(); i++) {
            const ReadStep &s = c.steps[i];
            SCOPED_TRACE(i);
            switch (s.op) {
            case kTake: {
                const unsigned char *p = ReaderTake(&r, s.arg);
                EXPECT_EQ(s.result < 0 ? nullptr : data + s.result, p);
                break;
            }
            case kSeek:
                ReaderSeek(&r, s.arg);
                break;
            case kU8:
                EXPECT_EQ((uint32_t)s.result, ReaderU8(&r));
                break;
            case kU16:
                EXPECT_EQ((uint32_t)s.result, ReaderU16(&r));
                break;
            case kU32:
                EXPECT_EQ((uint32_t)s.result, ReaderU32(&r));
                break;
            }
            EXPECT_EQ(s.pos, r.pos);
            EXPECT_EQ(s.err, r.err);
            EXPECT_EQ(s.left, ReaderLeft(&r));
        }
    }
}

TEST(ByteReader, NoDataIsEmpty)
{
    ByteReader r;
    ReaderInit(&r, nullptr, 100);   // a length without bytes counts as none
    EXPECT_EQ(0u, ReaderLeft(&r));
    EXPECT_EQ(nullptr, ReaderTake(&r, 1));
    EXPECT_EQ(1, r.err);
}

TEST(ByteWriter, Table)
{
    const struct {
        const char *why;
        bool counting;     // a null buffer: only counts
        uint32_t cap;
        uint32_t pos;      // after U32 0x04030201, U16 0x0605, 100 bytes of 0xAA and U8 0x77
        int err;
        size_t written;    // bytes of the buffer that changed
    } cases[] = {
        {"a counting writer sums every write", true, 0, 107, 0, 0},
        {"everything fits exactly", false, 107, 107, 0, 107},
        {"a write that does not fit writes nothing, and nothing after it", false, 105, 6, 1, 6},
        {"the first field already does not fit", false, 3, 0, 1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<unsigned char> buffer(c.cap + 8, 0xEE);
        ByteWriter w;
        WriterInit(&w, c.counting ? nullptr : buffer.data(), c.cap);
        WriterU32(&w, 0x04030201);
        WriterU16(&w, 0x0605);
        std::vector<unsigned char> filler(100, 0xAA);
        WriterBytes(&w, filler.data(), (uint32_t)filler.size());
        WriterU8(&w, 0x77);
        EXPECT_EQ(c.pos, w.pos);
        EXPECT_EQ(c.err, w.err);
        size_t changed = 0;
        while (changed < buffer.size() && buffer[changed] != 0xEE)
            changed++;
        EXPECT_EQ(c.written, changed);
        if (changed >= 6) {
            const unsigned char head[6] = {1, 2, 3, 4, 5, 6};
            EXPECT_EQ(0, memcmp(head, buffer.data(), 6));
        }
        if (changed == 107) {
            EXPECT_EQ(0x77, buffer[106]);
        }
    }
}

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
