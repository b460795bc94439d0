// String table blocks.
#include "tools/lib/stringtable.h"

#include <map>

#include "base/bytes.h"
#include "tools/lib/bytesink.h"

namespace tk {

bool DecodeStringBlock(const uint8_t *data, size_t size, std::u16string out[16], std::string *err)
{
    for (uint32_t i = 0; i < kStringsPerBlock; i++)
        out[i].clear();
    for (uint32_t i = 0; i < kStringsPerBlock; i++) {
        const unsigned char *chars = nullptr;
        uint32_t count = 0;
        if (size > 0xFFFFFFFFu || !StringBlockEntry(data, (uint32_t)size, i, &chars, &count)) {
            for (uint32_t k = 0; k < kStringsPerBlock; k++)
                out[k].clear();
            *err = "string table block runs past its end";
            return false;
        }
        for (uint32_t k = 0; k < count; k++)
            out[i].push_back((char16_t)GetUi16(chars + 2 * k));
    }
    return true;
}

std::vector<uint8_t> EncodeStringBlock(const std::u16string (&texts)[16])
{
    ByteSink b;
    for (const std::u16string &t : texts) {
        b.U16((uint32_t)t.size());
        b.Utf16(t);
    }
    return b.Take();
}

bool SetString(ResList *res, uint16_t id, uint16_t lang, const std::u16string &text, std::string *err)
{
    if (text.size() > 0xFFFF) {
        *err = "string too long";
        return false;
    }
    const uint16_t block = (uint16_t)StringBlockName(id);
    std::u16string strings[16];
    ResEntry *e = ResFind(res, kRtString, block, lang);
    if (e && !DecodeStringBlock(e->data, strings, err))
        return false;
    strings[id % kStringsPerBlock] = text;
    if (!e) {
        ResEntry fresh;
        fresh.type = ResNumber(kRtString);
        fresh.name = ResNumber(block);
        fresh.lang = lang;
        e = ResPut(res, std::move(fresh));
    }
    e->data = EncodeStringBlock(strings);
    return true;
}

bool GetString(const ResList &res, uint16_t id, uint16_t lang, std::u16string *text, std::string *err)
{
    text->clear();
    std::u16string strings[16];
    const ResEntry *e = ResFind(res, kRtString, (uint16_t)StringBlockName(id), lang);
    if (!e)
        return true;
    if (!DecodeStringBlock(e->data, strings, err))
        return false;
    *text = strings[id % kStringsPerBlock];
    return true;
}

StringFound LookupString(const ResList &res, uint32_t id, uint16_t lang, std::u16string *text)
{
    text->clear();
    if (id > 0xFFFF)
        return StringFound::Absent;
    const ResEntry *block =
        ResFindPreferring(res, kRtString, (uint16_t)StringBlockName(id), lang ? lang : kAnyLang);
    if (!block || !block->dataFile.empty())
        return StringFound::Absent;
    std::u16string strings[16];
    std::string err;
    if (!DecodeStringBlock(block->data, strings, &err))
        return StringFound::BadBlock;
    *text = strings[id % kStringsPerBlock];
    return text->empty() ? StringFound::Absent : StringFound::Text;
}

void AddStringTables(const std::vector<std::pair<uint16_t, std::u16string>> &strings, uint16_t lang,
                     ResList *out)
{
    std::map<uint16_t, std::u16string[16]> blocks;
    for (const auto &s : strings)
        blocks[(uint16_t)StringBlockName(s.first)][s.first % kStringsPerBlock] = s.second;
    for (const auto &b : blocks) {
        ResEntry e;
        e.type = ResNumber(kRtString);
        e.name = ResNumber(b.first);
        e.lang = lang;
        e.data = EncodeStringBlock(b.second);
        out->push_back(e);
    }
}

}  // namespace tk
