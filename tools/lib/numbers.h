// The one number parser of the tools' text formats (flags, library and
// language-table descriptions): digits only, overflow refused, a range.
#pragma once

#include <stdint.h>

#include <string>

namespace tk {

// What a number may look like besides decimal digits.
struct NumberForm {
    bool hex = false;    // "0x" or "0X" and hexadecimal digits
    bool sign = false;   // a leading '-' (decimal only)
};

// `text` as a number from `low` to `high`: decimal digits, or what `form`
// allows besides; no '+', no blanks, nothing after. False (and `*value`
// untouched) for anything else, and for a value that overflows.
bool ParseNumber(const std::string &text, int64_t low, int64_t high, NumberForm form, int64_t *value);

// True when `text` is one or more decimal digits and nothing else.
bool AllDigits(const std::string &text);

}  // namespace tk
