// The tokenizer core of the line-based descriptions the tools read (the
// library's and the language table's): blanks, '#' comments and quoted texts.
// Each format keeps its own quoting rule and its own words for a fault.
#pragma once

#include <stddef.h>

#include <string>

namespace tk {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Moves `*at` past blanks; false at the line's end or at a '#' comment.
inline bool SkipToToken(const std::string &line, size_t *at)
{
    while (*at < line.size() && IsBlank(line[*at]))
        (*at)++;
    return *at < line.size() && line[*at] != '#';
}

enum class Quoting {
    Backslash,   // \n, \t, \\ and \" are the only escapes (the library description)
    Doubled,     // "" stands for a quote; no escapes (the language table's, as its bytes are the launcher's)
};

enum class QuotedResult { Ok, NotClosed, UnknownEscape };

// Reads the quoted text whose opening quote is at line[*at] into `*text`,
// leaving `*at` past the closing quote. On UnknownEscape `*escape` is the
// character after the backslash ('\0' at the line's end).
QuotedResult ReadQuoted(const std::string &line, size_t *at, Quoting rule, std::string *text, char *escape);

}  // namespace tk
