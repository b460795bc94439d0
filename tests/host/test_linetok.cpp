// The tokenizer core's quoted texts under both quoting rules: what each rule
// reads, where it stops, and the faults it names.
#include "tools/lib/linetok.h"

#include <gtest/gtest.h>

namespace {

using tk::Quoting;
using tk::QuotedResult;

TEST(LineTokenizer, QuotedTextUnderEachRule)
{
    struct Case {
        const char *name;
        Quoting rule;
        std::string line;   // the quote to read opens at 0
        QuotedResult result;
        std::string text;
        size_t end;         // where reading stopped
        char escape;
    };
    const Case cases[] = {
        {"plain", Quoting::Backslash, "\"ab c\" x", QuotedResult::Ok, "ab c", 6, 0},
        {"escapes", Quoting::Backslash, R"("a\nb\tc\\d\"e")", QuotedResult::Ok, "a\nb\tc\\d\"e", 15, 0},
        {"empty", Quoting::Backslash, "\"\"", QuotedResult::Ok, "", 2, 0},
        {"# inside", Quoting::Backslash, "\"a # b\"", QuotedResult::Ok, "a # b", 7, 0},
        {"unknown escape", Quoting::Backslash, R"("a\qb")", QuotedResult::UnknownEscape, "a", 4, 'q'},
        {"backslash at the end", Quoting::Backslash, "\"a\\", QuotedResult::UnknownEscape, "a", 3, '\0'},
        {"not closed", Quoting::Backslash, "\"abc", QuotedResult::NotClosed, "abc", 4, 0},
        {"doubled quote", Quoting::Doubled, "\"say \"\"hi\"\"\" x", QuotedResult::Ok, "say \"hi\"", 12, 0},
        {"backslash is a byte", Quoting::Doubled, R"("a\n")", QuotedResult::Ok, "a\\n", 5, 0},
        {"doubled: not closed", Quoting::Doubled, "\"ab\"\"", QuotedResult::NotClosed, "ab\"", 5, 0},
        {"doubled: empty then text", Quoting::Doubled, "\"\"x", QuotedResult::Ok, "", 2, 0},
        {"doubled: a quote alone", Quoting::Doubled, "\"\"\"\"", QuotedResult::Ok, "\"", 4, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        size_t at = 0;
        std::string text;
        char escape = 0;
        EXPECT_EQ(tk::ReadQuoted(c.line, &at, c.rule, &text, &escape), c.result);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(at, c.end);
        if (c.result == QuotedResult::UnknownEscape)
            EXPECT_EQ(escape, c.escape);
    }
}

TEST(LineTokenizer, SkipToTokenStopsAtTheTextOrTheComment)
{
    const struct {
        std::string line;
        size_t from;
        bool token;
        size_t at;
    } cases[] = {
        {"  \tword", 0, true, 3},
        {"word", 0, true, 0},
        {"   ", 0, false, 3},
        {"", 0, false, 0},
        {"  # note", 0, false, 2},
        {"a  \"b\"", 1, true, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        size_t at = c.from;
        EXPECT_EQ(tk::SkipToToken(c.line, &at), c.token);
        EXPECT_EQ(at, c.at);
    }
}

}  // namespace
