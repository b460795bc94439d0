// The resource list's verbs.
#include "tools/lib/reslist.h"

#include <algorithm>

namespace tk {

bool ResIdLess(const ResId &a, const ResId &b)
{
    if (a.named != b.named)
        return a.named;
    if (a.named)
        return a.name < b.name;
    return a.id < b.id;
}

bool ResIdEqual(const ResId &a, const ResId &b)
{
    return a.named == b.named && (a.named ? a.name == b.name : a.id == b.id);
}

std::string ResIdText(const ResId &id)
{
    if (!id.named)
        return std::to_string(id.id);
    std::string s = "\"";
    for (char16_t c : id.name)
        s.push_back(c < 0x80 ? (char)c : '?');
    return s + "\"";
}

bool ResLess(const ResEntry &a, const ResEntry &b)
{
    if (!ResIdEqual(a.type, b.type))
        return ResIdLess(a.type, b.type);
    if (!ResIdEqual(a.name, b.name))
        return ResIdLess(a.name, b.name);
    return a.lang < b.lang;
}

bool ResSameKey(const ResEntry &a, const ResEntry &b)
{
    return ResIdEqual(a.type, b.type) && ResIdEqual(a.name, b.name) && a.lang == b.lang;
}

const ResEntry *ResFind(const ResList &res, const ResId &type, const ResId &name, uint16_t lang)
{
    for (const ResEntry &e : res) {
        if (ResIdEqual(e.type, type) && ResIdEqual(e.name, name) && (lang == kAnyLang || e.lang == lang))
            return &e;
    }
    return nullptr;
}

const ResEntry *ResFind(const ResList &res, uint16_t type, uint16_t name, uint16_t lang)
{
    return ResFind(res, ResNumber(type), ResNumber(name), lang);
}

ResEntry *ResFind(ResList *res, uint16_t type, uint16_t name, uint16_t lang)
{
    return const_cast<ResEntry *>(ResFind(*(const ResList *)res, type, name, lang));
}

const ResEntry *ResFindPreferring(const ResList &res, uint16_t type, uint16_t name, uint16_t lang)
{
    const ResEntry *own = ResFind(res, type, name, lang);
    return own ? own : ResFind(res, type, name, kAnyLang);
}

ResEntry *ResPut(ResList *res, ResEntry entry)
{
    for (ResEntry &e : *res) {
        if (ResSameKey(e, entry)) {
            e = std::move(entry);
            return &e;
        }
    }
    res->push_back(std::move(entry));
    return &res->back();
}

size_t ResRemove(ResList *res, uint16_t type, uint16_t name, uint16_t lang)
{
    const ResId t = ResNumber(type), n = ResNumber(name);
    const size_t before = res->size();
    res->erase(std::remove_if(res->begin(), res->end(),
                              [&](const ResEntry &e) {
                                  return ResIdEqual(e.type, t) && ResIdEqual(e.name, n) &&
                                         (lang == kAnyLang || e.lang == lang);
                              }),
               res->end());
    return before - res->size();
}

void ResSort(ResList *res)
{
    std::stable_sort(res->begin(), res->end(), ResLess);
}

bool ResFindDuplicate(const ResList &res, const ResEntry **first, const ResEntry **second)
{
    std::vector<const ResEntry *> order;
    for (const ResEntry &e : res)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const ResEntry *a, const ResEntry *b) { return ResLess(*a, *b); });
    for (size_t i = 1; i < order.size(); i++) {
        if (ResSameKey(*order[i - 1], *order[i])) {
            *first = order[i - 1];
            *second = order[i];
            return true;
        }
    }
    return false;
}

bool ResListEqual(const ResList &a, const ResList &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++) {
        const ResEntry &x = a[i];
        const ResEntry &y = b[i];
        if (!ResSameKey(x, y) || x.codePage != y.codePage || x.data != y.data || x.dataFile != y.dataFile ||
            x.dataFileSize != y.dataFileSize || x.dataFileOffset != y.dataFileOffset)
            return false;
    }
    return true;
}

}  // namespace tk
