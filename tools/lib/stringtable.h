// The string table codec of the tools: read and write a block of 16 counted
// UTF-16 strings, and look a string up by id in a resource list. A block
// whose counted strings do not all lie inside it is refused (the rule of
// base/strblock.h, the launcher's).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "base/strblock.h"
#include "tools/lib/reslist.h"

namespace tk {

// The 16 strings of a block's data; false with `*err` set when the block is
// refused.
bool DecodeStringBlock(const uint8_t *data, size_t size, std::u16string out[16], std::string *err);
inline bool DecodeStringBlock(const std::vector<uint8_t> &data, std::u16string out[16], std::string *err)
{
    return DecodeStringBlock(data.data(), data.size(), out, err);
}
// The data of a block, `texts` indexed by id % 16 (an empty text: count 0).
std::vector<uint8_t> EncodeStringBlock(const std::u16string (&texts)[16]);

// Sets string `id` in the block of language `lang`, creating the block when
// the list has none. False with `*err` set when the text is longer than a
// count can say or the block there is refused.
bool SetString(ResList *res, uint16_t id, uint16_t lang, const std::u16string &text, std::string *err);
// String `id` of language `lang` exactly (kAnyLang: the first block of that
// name); empty when absent. False with `*err` set when its block is refused.
bool GetString(const ResList &res, uint16_t id, uint16_t lang, std::u16string *text, std::string *err);

// String `id` as a library supplies it: from the block of `lang` when there
// is one, else the first block of that name (lang 0: any).
enum class StringFound { Absent, Text, BadBlock };
StringFound LookupString(const ResList &res, uint32_t id, uint16_t lang, std::u16string *text);

// String table resources for `strings` (id, text; ids unique): one block per
// 16 ids, each holding the texts of its ids. Appended to `out` in block order.
void AddStringTables(const std::vector<std::pair<uint16_t, std::u16string>> &strings, uint16_t lang,
                     ResList *out);

}  // namespace tk
