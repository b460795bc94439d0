// Fuzzes the resource library description: [define] expansion, parser, text
// checks and the resources built from it. The files a description names are a small sound
// logo script (".lgo") and bitmap (".bmp"); others cannot be read. A built
// library must hold a language table that the launcher's parser reads, with
// one language per description language, and well-formed string blocks.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resmodule/langtable.h"
#include "tools/lib/defines.h"
#include "tools/medium/library.h"

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static bool EndsWith(const std::string &s, const char *tail)
{
    size_t n = strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

static bool Read(const std::string &path, std::vector<uint8_t> *data, std::string *why)
{
    static const char kLogo[] = "#background=1,2,3\n<Arial,30>Setup\n";
    static const uint8_t kBmp[] = {'B', 'M', 62, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0,
                                   1,   0,   0,  0, 1, 0, 24, 0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0,
                                   0,   0,   0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 1, 2, 3,  4, 5, 6, 0,  0};
    if (EndsWith(path, ".lgo")) {
        data->assign(kLogo, kLogo + sizeof kLogo - 1);
        return true;
    }
    if (EndsWith(path, ".bmp")) {
        data->assign(kBmp, kBmp + sizeof kBmp);
        return true;
    }
    *why = "no such file";
    return false;
}

static void CheckStringBlock(const std::vector<uint8_t> &d)
{
    size_t at = 0;
    for (int i = 0; i < 16; i++) {
        Check(d.size() - at >= 2);
        size_t n = d[at] | (d[at + 1] << 8);
        at += 2;
        Check((d.size() - at) / 2 >= n);
        at += 2 * n;
    }
    Check(at == d.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text((const char *)data, size);
    // A project's [define] values, as the build puts them in first: lines
    // are kept (errors keep their line numbers), and a fault names its place.
    std::string expanded, why;
    if (tk::ExpandDefinesInLines("f.txt", text, {{"p", "Ex"}, {"v", "1 beta"}}, "define it", &expanded,
                                 &why)) {
        Check(std::count(expanded.begin(), expanded.end(), '\n') == std::count(text.begin(), text.end(), '\n'));
        text = expanded;
    } else {
        Check(why.compare(0, 6, "f.txt:") == 0);
    }
    medium::LibDescription desc;
    std::vector<std::string> errors;
    bool parsed = medium::ParseLibraryDescription("f.txt", text, &desc, &errors);
    Check(parsed == errors.empty());
    Check(errors.size() <= 20);
    for (const std::string &e : errors)
        Check(e.compare(0, 6, "f.txt:") == 0);
    if (!parsed)
        return 0;

    medium::ResList res;
    errors.clear();
    int code = medium::BuildLibraryResources("f.txt", "", desc, Read, &res, &errors);
    Check(code == medium::kLibOk || code == medium::kLibInvalid || code == medium::kLibUnreadable);
    Check((code == medium::kLibOk) == errors.empty());
    Check((code == medium::kLibOk) == !res.empty());
    if (code != medium::kLibOk)
        return 0;

    const medium::ResEntry *table = nullptr;
    for (const medium::ResEntry &e : res) {
        if (e.type.id == medium::kRtString)
            CheckStringBlock(e.data);
        if (e.type.id == 1001 && e.name.id == 100)
            table = &e;
    }
    Check(table != nullptr);
    LangTable *t = LangTableCreate("x", 8);
    Check(t != nullptr);
    Check(LangTableParse(t, table->data.data(), (uint32_t)table->data.size()) == 1);
    Check(t->languageCount == (int)desc.languages.size());
    LangTableClose(t);

    // The same description, the same resources.
    medium::ResList again;
    errors.clear();
    Check(medium::BuildLibraryResources("f.txt", "", desc, Read, &again, &errors) == medium::kLibOk);
    Check(again.size() == res.size());
    for (size_t i = 0; i < res.size(); i++)
        Check(again[i].data == res[i].data);
    return 0;
}
