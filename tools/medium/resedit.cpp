// Resource encoders: strings, version, icons, manifest, payload record.
#include "tools/medium/resedit.h"

#include <string.h>

#include <algorithm>

#include "base/bytes.h"
#include "tools/lib/bytesink.h"
#include "tools/lib/icongroup.h"
#include "tools/lib/problem.h"
#include "tools/lib/versioninfo.h"
#include "tools/lib/versionrules.h"

namespace medium {

// ---- Version resource ----

namespace {

constexpr int kMaxVersionDepth = 6;

struct VNode {
    std::u16string key;
    uint16_t type = 0;          // 1: text value, 0: binary
    uint16_t valueLength = 0;   // as stored: characters for text, bytes for binary
    std::vector<uint8_t> value;
    std::vector<VNode> children;
};

// Reads the node at `at` of `data`, which ends before `limit`, with its
// children: the one node reader checks every length.
bool ParseNode(const std::vector<uint8_t> &data, uint32_t at, uint32_t limit, int depth, uint32_t *nodes, VNode *node,
               uint32_t *end, std::string *err)
{
    if (depth > kMaxVersionDepth || ++*nodes > tk::kMaxVersionNodes) {
        *err = "version resource nested too deep or too many entries";
        return false;
    }
    tk::VersionNode n;
    if (!tk::ReadVersionNode(data.data(), at, limit, "entry", &n, err))
        return false;
    node->key = n.key;
    node->type = (uint16_t)n.type;
    node->valueLength = (uint16_t)n.valueLength;
    node->value.assign(data.begin() + n.valueAt, data.begin() + n.valueAt + n.valueSize);
    for (uint32_t pos = tk::NextVersionChild(n, n.childrenAt); pos != 0;) {
        VNode child;
        uint32_t childEnd = 0;
        if (!ParseNode(data, pos, n.end, depth + 1, nodes, &child, &childEnd, err))
            return false;
        node->children.push_back(std::move(child));
        pos = tk::NextVersionChild(n, childEnd);
    }
    *end = n.end;
    return true;
}

void WriteNode(const VNode &node, ByteSink *out)
{
    out->Align(4);
    const size_t start = out->Size();
    out->U16(0);   // the length, patched below
    out->U16(node.valueLength);
    out->U16(node.type);
    out->Utf16(node.key);
    out->U16(0);
    out->Align(4);
    out->Bytes(node.value);
    for (const VNode &c : node.children)
        WriteNode(c, out);
    out->SetU16At(start, (uint32_t)(out->Size() - start));
}

bool ParseVersionInfo(const std::vector<uint8_t> &in, VNode *root, std::string *err)
{
    uint32_t nodes = 0, end = 0;
    if (in.size() > 0xFFFF) {
        *err = "version resource larger than 64 KiB";
        return false;
    }
    if (!ParseNode(in, 0, (uint32_t)in.size(), 0, &nodes, root, &end, err))
        return false;
    if (root->key != u"VS_VERSION_INFO" || root->value.size() != 52 || GetUi32(root->value.data()) != 0xFEEF04BD) {
        *err = "not a version resource (no VS_VERSION_INFO with fixed file info)";
        return false;
    }
    return true;
}

}  // namespace

bool EditVersionInfo(const std::vector<uint8_t> &in, const std::vector<std::pair<std::string, std::string>> &keys,
                     std::vector<uint8_t> *out, std::string *err)
{
    VNode root;
    if (!ParseVersionInfo(in, &root, err))
        return false;
    VNode *strings = nullptr;
    for (VNode &c : root.children) {
        if (c.key == u"StringFileInfo")
            strings = &c;
    }
    if (!strings || strings->children.empty()) {
        *err = "version resource has no string table to set keys in";
        return false;
    }
    for (const auto &kv : keys) {
        std::u16string key, value;
        if (kv.first.empty() || !Utf8ToUtf16(kv.first, &key) || !Utf8ToUtf16(kv.second, &value)) {
            *err = "version key \"" + kv.first + "\": empty or not UTF-8";
            return false;
        }
        if (value.size() > 1000) {
            *err = "version value of \"" + kv.first + "\" longer than 1000 characters";
            return false;
        }
        ByteSink text;
        text.Utf16(value);
        text.U16(0);
        std::vector<uint8_t> bytes = text.Take();
        for (VNode &table : strings->children) {
            VNode *slot = nullptr;
            for (VNode &s : table.children) {
                if (s.key == key)
                    slot = &s;
            }
            if (!slot) {
                table.children.push_back(VNode());
                slot = &table.children.back();
                slot->key = key;
            }
            slot->type = 1;
            slot->valueLength = (uint16_t)(value.size() + 1);
            slot->value = bytes;
        }
        // The numeric version follows the string, so the two never disagree;
        // a string that is no version number is refused, not left beside
        // an old number.
        const bool file = kv.first == "FileVersion", product = kv.first == "ProductVersion";
        if (file || product) {
            uint16_t parts[4];
            if (!ParseVersionNumber(kv.first, kv.second, parts, err))
                return false;
            ByteSink fixed(&root.value);
            const size_t at = file ? 8 : 16;
            fixed.SetU32At(at, (uint32_t)parts[0] << 16 | parts[1]);
            fixed.SetU32At(at + 4, (uint32_t)parts[2] << 16 | parts[3]);
        }
    }
    out->clear();
    ByteSink sink(out);
    WriteNode(root, &sink);
    if (out->size() > 0xFFFF) {
        *err = "version resource would exceed 64 KiB";
        return false;
    }
    return true;
}

// ---- Icons ----

bool ParseIco(const std::vector<uint8_t> &ico, std::vector<IconImage> *images, std::string *err)
{
    images->clear();
    if (ico.size() > 0x7FFFFFFF) {
        *err = "icon file too large";
        return false;
    }
    ByteReader r;
    ReaderInit(&r, ico.data(), (uint32_t)ico.size());
    uint32_t reserved = ReaderU16(&r);
    uint32_t type = ReaderU16(&r);
    uint32_t count = ReaderU16(&r);
    if (r.err || reserved != 0 || type != 1) {
        *err = "not an icon file (header is not 0, 1)";
        return false;
    }
    if (count == 0 || count > kMaxIconImages) {
        *err = "icon file holds " + std::to_string(count) + " images (1 to " + std::to_string(kMaxIconImages) + " allowed)";
        return false;
    }
    for (uint32_t i = 0; i < count; i++) {
        IconImage img;
        img.width = (uint8_t)ReaderU8(&r);
        img.height = (uint8_t)ReaderU8(&r);
        img.colors = (uint8_t)ReaderU8(&r);
        ReaderU8(&r);
        img.planes = (uint16_t)ReaderU16(&r);
        img.bitCount = (uint16_t)ReaderU16(&r);
        uint32_t bytes = ReaderU32(&r);
        uint32_t offset = ReaderU32(&r);
        if (r.err) {
            *err = "icon directory runs past the end of the file";
            return false;
        }
        const std::string which = "icon image " + std::to_string(i + 1);
        if (offset > ico.size() || bytes > ico.size() - offset || bytes < 40) {
            *err = which + " (" + std::to_string(bytes) + " bytes at " + std::to_string(offset) +
                   ") lies outside the file or is too small";
            return false;
        }
        const uint8_t *p = ico.data() + offset;
        // The same image check as inspect's, so build takes no icon that
        // inspect would refuse.
        Problems problems;
        const bool png = CheckIconImage(p, bytes, img.width ? img.width : 256, img.height ? img.height : 256, which,
                                        "its directory entry", &problems);
        for (const Finding &f : problems) {
            if (f.severity == Severity::Error) {
                *err = f.text;
                return false;
            }
        }
        if (!png) {
            if (img.bitCount == 0)
                img.bitCount = (uint16_t)GetUi16(p + 14);
            if (img.planes == 0)
                img.planes = 1;
        }
        img.data.assign(p, p + bytes);
        images->push_back(std::move(img));
    }
    return true;
}

bool ReplaceIconGroup(ResList *res, uint16_t groupId, const std::vector<uint8_t> &ico, std::string *err)
{
    std::vector<IconImage> images;
    if (!ParseIco(ico, &images, err))
        return false;
    uint16_t lang = 0x409;
    std::vector<uint16_t> oldIcons;
    if (const ResEntry *g = ResFind(*res, kRtGroupIcon, groupId)) {
        lang = g->lang;
        ByteReader r;
        ReaderInit(&r, g->data.data(), (uint32_t)g->data.size());
        ReaderTake(&r, 4);
        uint32_t count = ReaderU16(&r);
        for (uint32_t i = 0; i < count && !r.err; i++) {
            ReaderTake(&r, 12);
            uint32_t id = ReaderU16(&r);
            if (!r.err)
                oldIcons.push_back((uint16_t)id);
        }
    }
    // Out go the group (every language) and the images it used.
    ResRemove(res, kRtGroupIcon, groupId);
    for (uint16_t id : oldIcons)
        ResRemove(res, kRtIcon, id);
    ByteSink group;
    group.U16(0);   // reserved
    group.U16(1);   // icons
    group.U16((uint32_t)images.size());
    uint16_t next = 1;
    for (const IconImage &img : images) {
        while (ResFind(*res, kRtIcon, next))
            next++;
        ResEntry e;
        e.type = ResNumber(kRtIcon);
        e.name = ResNumber(next);
        e.lang = lang;
        e.data = img.data;
        ResPut(res, e);
        group.U8(img.width);
        group.U8(img.height);
        group.U8(img.colors);
        group.U8(0);
        group.U16(img.planes);
        group.U16(img.bitCount);
        group.U32((uint32_t)img.data.size());
        group.U16(next);
    }
    ResEntry g;
    g.type = ResNumber(kRtGroupIcon);
    g.name = ResNumber(groupId);
    g.lang = lang;
    g.data = group.Take();
    ResPut(res, g);
    return true;
}

// ---- Manifest ----

bool IsExecutionLevel(const std::string &level)
{
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

namespace {

// The value of the level attribute: [begin, end) in `text`.
bool FindLevel(const std::string &text, size_t *begin, size_t *end)
{
    size_t element = text.find("<requestedExecutionLevel");
    if (element == std::string::npos)
        return false;
    size_t close = text.find('>', element);
    size_t attr = text.find(" level=\"", element);
    if (attr == std::string::npos || close == std::string::npos || attr > close)
        return false;
    *begin = attr + 8;
    *end = text.find('"', *begin);
    return *end != std::string::npos && *end < close;
}

}  // namespace

bool SetExecutionLevel(const std::vector<uint8_t> &in, const std::string &level, std::vector<uint8_t> *out,
                       std::string *err)
{
    if (!IsExecutionLevel(level)) {
        *err = "unknown execution level \"" + level + "\"";
        return false;
    }
    std::string text(in.begin(), in.end());
    size_t b = 0, e = 0;
    if (!FindLevel(text, &b, &e)) {
        *err = "manifest has no requestedExecutionLevel element with a level";
        return false;
    }
    text.replace(b, e - b, level);
    out->assign(text.begin(), text.end());
    return true;
}

}  // namespace medium
