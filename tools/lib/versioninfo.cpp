#include "tools/lib/versioninfo.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "base/bytes.h"
#include "tools/lib/textcodec.h"
#include "tools/lib/versionrules.h"

namespace tk {
namespace {

constexpr uint32_t kNodeHeader = 6;   // wLength, wValueLength, wType
constexpr uint32_t kTypeText = 1;

const char *const kStandardKeys[] = {
    "Comments",       "CompanyName",  "FileDescription", "FileVersion",   "InternalName", "LegalCopyright",
    "LegalTrademarks", "OriginalFilename", "PrivateBuild", "ProductName", "ProductVersion", "SpecialBuild",
};

using Node = VersionNode;

struct Reader {
    const uint8_t *data;
    uint32_t size;
    uint32_t nodes;
    Problems *problems;
};

uint32_t Align4(uint32_t v) { return (v + 3) & ~3u; }

std::string Utf8(const std::u16string &s) { return Utf16ToUtf8(s); }

bool ReadNode(Reader *rd, uint32_t at, uint32_t limit, const char *what, Node *n)
{
    if (++rd->nodes > kMaxVersionNodes) {
        AddError(rd->problems, "the version resource holds more than " + std::to_string(kMaxVersionNodes) + " nodes");
        return false;
    }
    std::string why;
    if (!ReadVersionNode(rd->data, at, limit, what, n, &why)) {
        AddError(rd->problems, why);
        return false;
    }
    return true;
}

// Calls `each` for every child of `parent`; false when one is damaged.
template <class F> bool ForChildren(Reader *rd, const Node &parent, const char *what, F each)
{
    for (uint32_t at = NextVersionChild(parent, parent.childrenAt); at != 0;) {
        Node child;
        if (!ReadNode(rd, at, parent.end, what, &child))
            return false;
        if (!each(child))
            return false;
        at = NextVersionChild(parent, child.end);
    }
    return true;
}

std::string TextValue(const Reader *rd, const Node &n)
{
    std::u16string v;
    for (uint32_t i = 0; i + 1 < n.valueSize; i += 2) {
        uint32_t c = GetUi16(rd->data + n.valueAt + i);
        if (c == 0)
            break;
        v += (char16_t)c;
    }
    return Utf8(v);
}

size_t Distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); j++)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); i++) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); j++) {
            size_t up = row[j];
            size_t same = (a[i - 1] | 0x20) == (b[j - 1] | 0x20) ? 0 : 1;
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + same});
            diag = up;
        }
    }
    return row[b.size()];
}

void CheckKey(const std::string &table, const std::string &key, Problems *problems)
{
    const char *best = nullptr;
    size_t bestDistance = 0;
    for (const char *k : kStandardKeys) {
        if (key == k)
            return;
        size_t d = Distance(key, k);
        if (!best || d < bestDistance) {
            best = k;
            bestDistance = d;
        }
    }
    std::string hint = bestDistance <= 3 ? std::string("; did you mean \"") + best + "\"?"
                                         : std::string("; the platform shows only its standard keys");
    AddWarning(problems, "the version table " + table + " has the unknown key \"" + key + "\"" + hint);
}

void CompareVersion(const VersionString &s, uint32_t ms, uint32_t ls, const char *fixedName,
                    Severity severity, Problems *problems)
{
    uint32_t parts[4] = {0, 0, 0, 0};
    uint32_t fixed[4] = {ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF};
    size_t end = 0;
    const int count = ScanVersionParts(s.value, true, parts, &end);
    if (count == 0) {
        AddWarning(problems, "the version table " + s.table + " has " + s.key + " \"" + s.value +
                                                 "\", which does not start with a version number");
        return;
    }
    for (int i = 0; i < 4; i++) {
        if ((i < count ? parts[i] : 0) != fixed[i]) {
            AddProblem(problems, severity, "the version table " + s.table + " has " + s.key + " \"" + s.value +
                                            "\", but the fixed " + fixedName + " is " + VersionText(ms, ls) +
                                            "; make them agree");
            return;
        }
    }
}

void ReadStringTable(Reader *rd, const Node &table, VersionInfo *out, Problems *problems)
{
    std::string name = Utf8(table.key);
    bool hex = name.size() == 8;
    for (char c : name)
        hex = hex && isxdigit((unsigned char)c);
    if (!hex)
        AddError(problems, "the version resource has a string table named \"" + name +
                               "\" where 8 hex digits (language and code page) are expected");
    std::vector<std::string> seen;
    ForChildren(rd, table, "string", [&](const Node &s) {
        VersionString vs;
        vs.table = name;
        vs.key = Utf8(s.key);
        if (s.type != kTypeText && s.valueSize)
            AddWarning(problems, "the version table " + name + " has \"" + vs.key + "\" as binary data, not text");
        vs.value = TextValue(rd, s);
        if (std::find(seen.begin(), seen.end(), vs.key) != seen.end())
            AddWarning(problems, "the version table " + name + " has the key \"" + vs.key + "\" twice");
        seen.push_back(vs.key);
        CheckKey(name, vs.key, problems);
        out->strings.push_back(vs);
        return true;
    });
}

}  // namespace

bool ReadVersionNode(const uint8_t *data, uint32_t at, uint32_t limit, const char *what, VersionNode *n,
                     std::string *why)
{
    ByteReader r;
    ReaderInit(&r, data, limit);
    ReaderSeek(&r, at);
    uint32_t length = ReaderU16(&r);
    n->valueLength = ReaderU16(&r);
    n->type = ReaderU16(&r);
    const std::string where = "the version resource's " + std::string(what) + " at offset " + std::to_string(at);
    if (r.err || length < kNodeHeader || length > limit - at) {
        *why = where + " has wLength " + std::to_string(length) + ", but " + std::to_string(limit - at) +
               " bytes are left; the resource is damaged";
        return false;
    }
    n->at = at;
    n->end = at + length;
    ReaderInit(&r, data, n->end);
    ReaderSeek(&r, at + kNodeHeader);
    n->key.clear();
    for (;;) {
        uint32_t c = ReaderU16(&r);
        if (r.err || n->key.size() > kMaxVersionKeyChars) {
            *why = where + " has a key without its terminating zero";
            return false;
        }
        if (c == 0)
            break;
        n->key += (char16_t)c;
    }
    if (n->type > kTypeText) {
        *why = where + " (\"" + Utf16ToUtf8(n->key) + "\") has wType " + std::to_string(n->type) +
               " where 0 or 1 is expected";
        return false;
    }
    n->valueAt = Align4(r.pos);
    n->valueSize = n->type == kTypeText ? n->valueLength * 2 : n->valueLength;
    if (n->valueSize && (n->valueAt > n->end || n->valueSize > n->end - n->valueAt)) {
        *why = where + " (\"" + Utf16ToUtf8(n->key) + "\") has a value of " + std::to_string(n->valueSize) +
               " bytes that runs past its node";
        return false;
    }
    n->childrenAt = std::min(n->end, Align4(n->valueAt + n->valueSize));
    return true;
}

uint32_t NextVersionChild(const VersionNode &parent, uint32_t childEnd)
{
    const uint32_t at = std::min(parent.end, Align4(childEnd));
    return parent.end - at < kNodeHeader ? 0 : at;
}

std::string VersionText(uint32_t ms, uint32_t ls)
{
    char b[48];
    snprintf(b, sizeof b, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
    return b;
}

void ReadVersionInfo(const uint8_t *data, size_t size, VersionInfo *out, Problems *problems)
{
    *out = VersionInfo();
    if (size > 0xFFFF) {
        // wLength is 16 bits: the node cannot be longer.
        size = 0xFFFF;
    }
    Reader rd{data, (uint32_t)size, 0, problems};
    Node root;
    if (!ReadNode(&rd, 0, rd.size, "root node", &root))
        return;
    if (Utf8(root.key) != "VS_VERSION_INFO") {
        AddError(problems, "the version resource's root is named \"" + Utf8(root.key) + "\" where VS_VERSION_INFO is expected");
        return;
    }
    if (root.valueSize != kVsFixedSize) {
        AddError(problems, "the version resource's fixed information has " + std::to_string(root.valueSize) +
                               " bytes where 52 are expected");
        return;
    }
    const uint8_t *f = data + root.valueAt;
    if (GetUi32(f) != kVsFixedSignature) {
        char sig[12];
        snprintf(sig, sizeof sig, "%08X", GetUi32(f));
        AddError(problems, std::string("the version resource's fixed information has the signature 0x") + sig +
                               " where 0xFEEF04BD is expected; the resource is damaged");
        return;
    }
    out->fileVersionMS = GetUi32(f + 8);
    out->fileVersionLS = GetUi32(f + 12);
    out->productVersionMS = GetUi32(f + 16);
    out->productVersionLS = GetUi32(f + 20);
    out->fileFlags = GetUi32(f + 28);
    out->fileOS = GetUi32(f + 32);
    out->fileType = GetUi32(f + 36);
    out->read = true;

    ForChildren(&rd, root, "block", [&](const Node &block) {
        std::string name = Utf8(block.key);
        if (name == "StringFileInfo")
            return ForChildren(&rd, block, "string table", [&](const Node &t) {
                ReadStringTable(&rd, t, out, problems);
                return true;
            });
        if (name == "VarFileInfo")
            return ForChildren(&rd, block, "variable", [&](const Node &var) {
                if (Utf8(var.key) != "Translation") {
                    AddWarning(problems, "the version resource has the unknown variable \"" + Utf8(var.key) + "\"");
                    return true;
                }
                if (var.valueSize % 4)
                    AddError(problems, "the version resource's Translation has " + std::to_string(var.valueSize) +
                                           " bytes, not a multiple of 4");
                for (uint32_t i = 0; i + 4 <= var.valueSize; i += 4)
                    out->translations.push_back(GetUi32(data + var.valueAt + i));
                return true;
            });
        AddWarning(problems, "the version resource has the unknown block \"" + name + "\"");
        return true;
    });

    for (const VersionString &s : out->strings) {
        if (s.key == "FileVersion")
            CompareVersion(s, out->fileVersionMS, out->fileVersionLS, "file version", Severity::Error, problems);
        else if (s.key == "ProductVersion")
            CompareVersion(s, out->productVersionMS, out->productVersionLS, "product version", Severity::Warning,
                           problems);
    }
    for (const VersionString &s : out->strings) {
        if (&s != &out->strings.front() && s.table == (&s - 1)->table)
            continue;
        unsigned long lang = strtoul(s.table.substr(0, 4).c_str(), nullptr, 16);
        unsigned long cp = strtoul(s.table.size() == 8 ? s.table.substr(4).c_str() : "0", nullptr, 16);
        uint32_t want = (uint32_t)(lang | (cp << 16));
        if (std::find(out->translations.begin(), out->translations.end(), want) == out->translations.end())
            AddWarning(problems, "the version table " + s.table +
                                     " is not listed in VarFileInfo's Translation; the platform may not show it");
    }
}

}  // namespace tk
