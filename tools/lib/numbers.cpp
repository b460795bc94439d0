#include "tools/lib/numbers.h"

namespace tk {

bool AllDigits(const std::string &text)
{
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool ParseNumber(const std::string &text, int64_t low, int64_t high, NumberForm form, int64_t *value)
{
    size_t at = 0;
    bool negative = false;
    uint64_t base = 10;
    if (form.hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        at = 2;
        base = 16;
    } else if (form.sign && !text.empty() && text[0] == '-') {
        at = 1;
        negative = true;
    }
    if (at >= text.size())
        return false;
    // Magnitudes up to 2^63 (the most negative int64) are read exactly.
    const uint64_t limit = (uint64_t)INT64_MAX + (negative ? 1 : 0);
    uint64_t v = 0;
    for (; at < text.size(); at++) {
        const char c = text[at];
        uint64_t d;
        if (c >= '0' && c <= '9')
            d = (uint64_t)(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = (uint64_t)(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = (uint64_t)(c - 'A' + 10);
        else
            return false;
        if (v > (limit - d) / base)
            return false;
        v = v * base + d;
    }
    const int64_t signedValue = negative ? (v == (uint64_t)INT64_MAX + 1 ? INT64_MIN : -(int64_t)v) : (int64_t)v;
    if (signedValue < low || signedValue > high)
        return false;
    *value = signedValue;
    return true;
}

}  // namespace tk
