#include "tools/lib/linetok.h"

namespace tk {

QuotedResult ReadQuoted(const std::string &line, size_t *at, Quoting rule, std::string *text, char *escape)
{
    const size_t n = line.size();
    size_t i = *at + 1;
    for (;;) {
        if (i >= n) {
            *at = i;
            return QuotedResult::NotClosed;
        }
        const char c = line[i++];
        if (c == '"') {
            if (rule == Quoting::Doubled && i < n && line[i] == '"') {
                *text += '"';
                i++;
                continue;
            }
            *at = i;
            return QuotedResult::Ok;
        }
        if (c != '\\' || rule != Quoting::Backslash) {
            *text += c;
            continue;
        }
        const char e = i < n ? line[i++] : '\0';
        switch (e) {
        case 'n': *text += '\n'; break;
        case 't': *text += '\t'; break;
        case '\\': *text += '\\'; break;
        case '"': *text += '"'; break;
        default:
            *escape = e;
            *at = i;
            return QuotedResult::UnknownEscape;
        }
    }
}

}  // namespace tk
