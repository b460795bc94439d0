// The description of a resource library, and its resources.
#include "tools/medium/library.h"

#include <stdio.h>

#include <algorithm>
#include <map>
#include <set>

#include "base/leadbyte.h"
#include "base/ids.h"
#include "resmodule/langtable.h"
#include "tools/lib/ltdesc.h"
#include "tools/lib/library_encode.h"
#include "tools/lib/linetok.h"
#include "tools/lib/numbers.h"
#include "tools/lib/stringtable.h"
#include "tools/lib/suggest.h"
#include "tools/lib/textcodec.h"

namespace medium {

namespace {

const size_t kMaxErrors = 20;
// The launcher's buffers: a message is read into kTextChars bytes, a
// caption into kCaptionChars, each with its terminator.
const size_t kMessageMost = kTextChars - 1;
const size_t kCaptionMost = kCaptionChars - 1;

const char kSplashName[] = "LOGO";
const char kNoSplashName[] = "NONE";   // names no entry: the launcher shows no splash

struct Messages {
    std::string file;
    std::vector<std::string> *errors;
    void Add(int line, const std::string &text)
    {
        if (errors->size() < kMaxErrors)
            errors->push_back(file + ":" + std::to_string(line) + ": " + text);
    }
};

struct Tok {
    bool quoted = false;
    std::string text;
};

// Splits one line into bare words and quoted texts; '#' outside quotes starts
// a comment. Inside quotes \n, \t, \\ and \" are the only escapes.
bool Tokenize(const std::string &line, std::vector<Tok> *toks, std::string *why)
{
    const size_t n = line.size();
    for (size_t i = 0; tk::SkipToToken(line, &i);) {
        Tok t;
        if (line[i] == '"') {
            t.quoted = true;
            char e = '\0';
            switch (tk::ReadQuoted(line, &i, tk::Quoting::Backslash, &t.text, &e)) {
            case tk::QuotedResult::Ok:
                break;
            case tk::QuotedResult::UnknownEscape:
                *why = std::string("unknown escape \\") + (e ? std::string(1, e) : std::string()) +
                       " in a quoted text; write \\n, \\t, \\\\ or \\\"";
                return false;
            case tk::QuotedResult::NotClosed:
                *why = "the quoted text has no closing \"; close it on the same line (continue on the next line "
                       "with another quoted text)";
                return false;
            }
            if (i < n && !tk::IsBlank(line[i]) && line[i] != '#') {
                *why = "put a blank after the closing \"";
                return false;
            }
        } else {
            while (i < n && !tk::IsBlank(line[i]) && line[i] != '"' && line[i] != '#')
                t.text += line[i++];
        }
        toks->push_back(t);
    }
    return true;
}

using tk::AllDigits;

// A decimal number (no sign), at most `most`.
bool ParseNumber(const std::string &s, uint64_t most, uint64_t *value)
{
    int64_t v = 0;
    if (!tk::ParseNumber(s, 0, (int64_t)most, tk::NumberForm(), &v))
        return false;
    *value = (uint64_t)v;
    return true;
}

bool ParseLcid(const std::string &s, uint32_t *lcid)
{
    // The launcher compares the locale id's signed decimal text: 1 up to
    // the largest positive 32-bit number.
    tk::NumberForm form;
    form.hex = true;
    int64_t v = 0;
    if (!tk::ParseNumber(s, 1, 0x7FFFFFFF, form, &v))
        return false;
    *lcid = (uint32_t)v;
    return true;
}

bool IsKnownTextId(uint16_t id)
{
    return (id >= IDS_SCRIPT_MISSING && id <= IDS_LIBRARY_MISSING) || id == IDS_CAPTION_REDIRECTED || id == IDS_SPLASH_MINIMUM;
}

std::string Quote(const std::string &name) { return "\"" + name + "\""; }

}  // namespace

uint16_t LibStringId(size_t index, uint16_t launcherId) { return (uint16_t)((index + 1) * 1000 + launcherId % 1000); }
uint16_t LibBitmapId(size_t index) { return (uint16_t)((index + 1) * 1000 + 510); }
uint16_t LibLogoId(size_t index) { return (uint16_t)((index + 1) * 1000 + 520); }

namespace {

const std::vector<std::string> &Statements()
{
    static const std::vector<std::string> words = {"default", "language", "lcid", "codepage", "splash"};
    return words;
}

bool IsStatement(const std::string &word)
{
    for (const std::string &s : Statements())
        if (s == word)
            return true;
    return false;
}

// One error for a word that starts no statement. A misspelled `language`
// would make every line of its block an error of its own (they belong to no
// language, or to the one before): those lines are skipped instead.
void UnknownStatement(Messages &m, int number, const std::string &word, bool *skipping)
{
    const std::string closest = ClosestName(word, Statements());
    *skipping = closest == "language";
    m.Add(number, "unknown statement \"" + word + "\"" +
                      (closest.empty() ? std::string() : ", did you mean '" + closest + "'?") +
                      (*skipping ? " (its lines up to the next language are not read)" : "") +
                      "; the statements are default, language, lcid, codepage, splash and text ids");
}

}  // namespace

bool ParseLibraryDescription(const std::string &file, const std::string &input, LibDescription *out,
                             std::vector<std::string> *errors)
{
    Messages m{file, errors};
    const size_t before = errors->size();
    *out = LibDescription();
    std::string text = input;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    // A file in another encoding is one fault, not one per line.
    {
        std::vector<uint32_t> points;
        size_t bad = 0;
        if (!Utf8Decode(text, &points, &bad)) {
            const size_t lineStart = text.rfind('\n', bad == 0 ? 0 : bad - 1);
            const size_t column = lineStart == std::string::npos || bad == 0 ? bad + 1 : bad - lineStart;
            const int line = 1 + (int)std::count(text.begin(), text.begin() + (long)bad, '\n');
            char hex[8];
            snprintf(hex, sizeof hex, "0x%02X", (unsigned char)text[bad]);
            errors->push_back(file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": byte " + hex +
                              " is not UTF-8 (the first such byte); the file is in another encoding: save it as "
                              "UTF-8");
            return false;
        }
    }

    LibText *open = nullptr;   // the text that a quoted line continues
    bool skipping = false;     // after a misspelled `language`, up to the next one
    int number = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        number++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<Tok> toks;
        std::string why;
        if (!Tokenize(line, &toks, &why)) {
            m.Add(number, why);
            open = nullptr;
            continue;
        }
        if (toks.empty())
            continue;   // blank and comment lines keep a text open
        LibLanguage *lang = out->languages.empty() ? nullptr : &out->languages.back();
        const std::string &word = toks[0].text;
        if (skipping && !toks[0].quoted && (word == "language" || word == "default"))
            skipping = false;
        if (skipping)
            continue;   // the misspelled language's own lines: its one error said so

        if (toks[0].quoted) {
            if (!open) {
                m.Add(number, "a quoted text with no id before it; start the line with the id, as in "
                              "7110 \"My Setup\"");
                continue;
            }
            for (const Tok &t : toks) {
                if (!t.quoted) {
                    m.Add(number, "\"" + t.text + "\" is not in quotes; quote every part of a text");
                    break;
                }
                open->utf8 += t.text;
            }
            continue;
        }
        open = nullptr;

        if (word == "default") {
            if (toks.size() != 2) {
                m.Add(number, "write default NAME, naming one language");
            } else if (out->defaultLine != 0) {
                m.Add(number, "a second default line (the first is line " + std::to_string(out->defaultLine) +
                                  "); keep one");
            } else {
                out->defaultName = toks[1].text;
                out->defaultLine = number;
            }
            continue;
        }
        if (word == "language") {
            if (toks.size() != 2) {
                m.Add(number, "write language NAME (quote a name with blanks), then its lcid, codepage, splash "
                              "and texts on the lines below");
                continue;
            }
            LibLanguage l;
            l.name = toks[1].text;
            l.line = number;
            out->languages.push_back(l);
            continue;
        }
        if (!lang && (word == "lcid" || word == "codepage" || word == "splash" || AllDigits(word))) {
            m.Add(number, "\"" + word + "\" belongs to a language; write a language line above it");
            continue;
        }
        if (!lang && !IsStatement(word)) {
            UnknownStatement(m, number, word, &skipping);
            continue;
        }
        if (word == "lcid") {
            if (lang->lcidLine != 0) {
                m.Add(number, "a second lcid line for language " + Quote(lang->name) + "; list all its locale ids "
                              "on one line");
                continue;
            }
            lang->lcidLine = number;
            std::string rest;
            for (size_t i = 1; i < toks.size(); i++) {
                if (toks[i].quoted) {
                    rest += ",";
                }
                rest += toks[i].text + " ";
            }
            std::string item;
            bool any = false;
            for (size_t i = 0; i <= rest.size(); i++) {
                char c = i < rest.size() ? rest[i] : ',';
                if (c != ',' && c != ' ') {
                    item += c;
                    continue;
                }
                if (item.empty())
                    continue;
                uint32_t lcid = 0;
                if (!ParseLcid(item, &lcid))
                    m.Add(number, "\"" + item + "\" is not a locale id; write decimal numbers such as 1033 "
                                  "(or hex 0x409), separated by commas");
                else
                    lang->lcids.push_back(lcid);
                any = true;
                item.clear();
            }
            if (!any)
                m.Add(number, "no locale ids; write lcid 1033, 2057 (decimal, separated by commas)");
            continue;
        }
        if (word == "codepage") {
            uint64_t cp = 0;
            if (lang->codePageLine != 0) {
                m.Add(number, "a second codepage line for language " + Quote(lang->name) + "; keep one");
            } else if (toks.size() != 2 || !ParseNumber(toks[1].text, 65535, &cp)) {
                m.Add(number, "write codepage N, the ANSI code page of the language's users, such as 1252");
            } else {
                lang->codePage = (uint32_t)cp;
                lang->codePageLine = number;
            }
            continue;
        }
        if (word == "splash") {
            if (lang->splashLine != 0) {
                m.Add(number, "a second splash line for language " + Quote(lang->name) + "; keep one");
                continue;
            }
            const std::string kind = toks.size() >= 2 ? toks[1].text : "";
            if (kind == "none" && toks.size() == 2) {
                lang->splash = LibSplash::None;
            } else if ((kind == "bitmap" || kind == "logo") && toks.size() == 3 && !toks[2].text.empty()) {
                lang->splash = kind == "bitmap" ? LibSplash::Bitmap : LibSplash::Logo;
                lang->splashFile = toks[2].text;
            } else {
                m.Add(number, "write splash bitmap FILE.bmp, splash logo FILE.lgo or splash none");
                continue;
            }
            lang->splashLine = number;
            continue;
        }
        if (AllDigits(word)) {
            uint64_t id = 0;
            if (!ParseNumber(word, 65535, &id) || !IsKnownTextId((uint16_t)id)) {
                std::string hint = (word == "7100" || word == "7200" || word == "7300")
                                       ? "the payload piece counts belong to the launcher; "
                                       : "";
                m.Add(number, hint + word + " is not a text of the library: give the messages 7061-7068, the "
                                            "caption 7110 and the splash time 7111");
                continue;
            }
            for (const LibText &t : lang->texts) {
                if (t.id == id) {
                    m.Add(number, "language " + Quote(lang->name) + " gives " + word + " twice (first on line " +
                                      std::to_string(t.line) + "); keep one");
                    id = 0;
                    break;
                }
            }
            if (id == 0)
                continue;
            LibText t;
            t.id = (uint16_t)id;
            t.line = number;
            bool ok = true;
            if (toks.size() < 2) {
                m.Add(number, "the text of " + word + " is missing; write it in double quotes after the id");
                ok = false;
            }
            for (size_t i = 1; ok && i < toks.size(); i++) {
                if (toks[i].quoted || (id == IDS_SPLASH_MINIMUM && toks.size() == 2)) {
                    t.utf8 += toks[i].text;
                } else {
                    m.Add(number, "\"" + toks[i].text + "\" is not in quotes; write the text of " + word +
                                      " in double quotes");
                    ok = false;
                }
            }
            if (!ok)
                continue;
            lang->texts.push_back(t);
            open = &lang->texts.back();
            continue;
        }
        UnknownStatement(m, number, word, &skipping);
    }
    if (errors->size() == before && out->languages.empty())
        m.Add(number, "no language; write at least one language line with its texts");
    return errors->size() == before;
}

namespace {

// The bytes of a text in its language's code page, checked as the launcher
// needs it. False after a message.
bool CheckText(Messages &m, const LibLanguage &lang, const LibText &t, std::string *encoded)
{
    const std::string who = "language " + Quote(lang.name) + ", text " + std::to_string(t.id) + ": ";
    if (t.utf8.empty()) {
        m.Add(t.line, who + "empty; leave the line out in every language to show the launcher's own text");
        return false;
    }
    uint32_t bad = 0;
    if (!ToCodePage(t.utf8, lang.codePage, encoded, &bad)) {
        m.Add(t.line, who + "code page " + std::to_string(lang.codePage) + " cannot hold " + DescribePoint(bad) +
                          "; the launcher shows texts in the user's ANSI code page: write it without that "
                          "character, or give the language the code page of its users");
        return false;
    }
    if (t.id == IDS_SPLASH_MINIMUM) {
        uint64_t ms = 0;
        if (!ParseNumber(t.utf8, 0xFFFFFFFFu, &ms) || ms > (uint64_t)kSplashMinimumCap) {
            m.Add(t.line, who + "the splash's minimum time is a number of milliseconds from 0 to " +
                              std::to_string(kSplashMinimumCap) + ", such as 2000");
            return false;
        }
        return true;
    }
    bool ok = true;
    const size_t most = t.id == IDS_CAPTION_REDIRECTED ? kCaptionMost : kMessageMost;
    if (encoded->size() > most) {
        m.Add(t.line, who + std::to_string(encoded->size()) + " characters in code page " +
                          std::to_string(lang.codePage) + " (a \\n counts one" +
                          (IsDoubleByteCodePage((int)lang.codePage) ? ", a double-byte character two" : "") + "); the launcher keeps " +
                          std::to_string(most) + ": shorten it");
        ok = false;
    }
    size_t percents = (size_t)std::count(t.utf8.begin(), t.utf8.end(), '%');
    if (t.id == IDS_SCRIPT_MISSING || t.id == IDS_UNCLOSED_QUOTE) {
        const char *what = t.id == IDS_SCRIPT_MISSING ? "the path(s) tried" : "the argument";
        size_t at = t.utf8.find('%');
        if (percents != 1 || t.utf8.compare(at, 2, "%s") != 0) {
            m.Add(t.line, who + "needs exactly one %s, where the launcher puts " + what + ", and no other '%' (it has " +
                              std::to_string(percents) + " '%')");
            ok = false;
        }
    } else if (percents != 0) {
        m.Add(t.line, who + "a '%' would be read as a format by the launcher; write the text without it "
                            "(\"percent\")");
        ok = false;
    }
    return ok;
}

bool NameFits(Messages &m, const LibLanguage &lang, std::string *encoded)
{
    const std::string who = "language " + Quote(lang.name) + ": ";
    uint32_t bad = 0;
    if (lang.name.empty()) {
        m.Add(lang.line, "a language needs a name; write language NAME");
        return false;
    }
    if (!ToCodePage(lang.name, lang.codePage, encoded, &bad)) {
        m.Add(lang.line, who + "code page " + std::to_string(lang.codePage) + " cannot hold " + DescribePoint(bad) +
                             " of the name; name it in letters of its code page");
        return false;
    }
    if (encoded->size() > kLangNameChars) {
        m.Add(lang.line, who + "the name has " + std::to_string(encoded->size()) + " characters; the launcher keeps " +
                             std::to_string(kLangNameChars) + ": shorten it");
        return false;
    }
    for (unsigned char c : *encoded) {
        if (c == ';' || c < 0x20 || c == 0x7F) {
            m.Add(lang.line, who + "the name may not hold ';' or control characters; leave them out");
            return false;
        }
    }
    if ((*encoded)[0] == '@') {
        m.Add(lang.line, who + "a name may not start with '@' (the table reads it as flags); leave it out");
        return false;
    }
    return true;
}

// The launcher finds a language by its name ignoring case (lstrcmpiA), which
// under code page 1252 also folds the accented capitals.
std::string Lower(std::string s, uint32_t codePage)
{
    for (char &c : s) {
        unsigned char u = (unsigned char)c;
        if ((u >= 'A' && u <= 'Z') || (codePage == 1252 && u >= 0xC0 && u <= 0xDE && u != 0xD7))
            c = (char)(u + 0x20);
    }
    return s;
}

}  // namespace

int BuildLibraryResources(const std::string &file, const std::string &folder, const LibDescription &desc,
                          const LibFileReader &read, ResList *out, std::vector<std::string> *errors)
{
    Messages m{file, errors};
    const size_t before = errors->size();
    bool io = false;
    out->clear();
    const size_t count = desc.languages.size();
    if (count == 0) {
        m.Add(1, "no language; write at least one language line with its texts");
        return kLibInvalid;
    }
    if (count > kLangMaxLanguages) {
        m.Add(desc.languages[kLangMaxLanguages].line, "more than " + std::to_string(kLangMaxLanguages) +
                                                      " languages; the language table holds at most that many");
        return kLibInvalid;
    }

    lt::Table table;
    std::vector<std::string> names(count);
    std::map<uint32_t, size_t> lcidOwner;
    std::map<std::string, size_t> nameOwner;
    for (size_t i = 0; i < count; i++) {
        const LibLanguage &lang = desc.languages[i];
        if (!CodePageSupported(lang.codePage)) {
            m.Add(lang.codePageLine ? lang.codePageLine : lang.line,
                  "language " + Quote(lang.name) + ": code page " + std::to_string(lang.codePage) +
                      " is not a Windows ANSI code page; give 874, 932, 936, 949, 950 or 1250-1258");
            continue;
        }
        if (!NameFits(m, lang, &names[i]))
            continue;
        auto seen = nameOwner.find(Lower(names[i], lang.codePage));
        if (seen != nameOwner.end()) {
            m.Add(lang.line, "language " + Quote(lang.name) + " has the name of the language on line " +
                                 std::to_string(desc.languages[seen->second].line) +
                                 " (letter case aside); the launcher would never choose it: rename it");
            continue;
        }
        nameOwner[Lower(names[i], lang.codePage)] = i;
        std::string item = names[i];
        for (size_t k = 0; k < lang.lcids.size(); k++) {
            const uint32_t lcid = lang.lcids[k];
            auto owner = lcidOwner.find(lcid);
            if (owner != lcidOwner.end()) {
                m.Add(lang.lcidLine, "language " + Quote(lang.name) + ": locale id " + std::to_string(lcid) +
                                         " is listed already by " + Quote(desc.languages[owner->second].name) +
                                         ", which the launcher takes first; list it once");
                continue;
            }
            lcidOwner[lcid] = i;
            item += (k == 0 ? ";" : ", ") + std::to_string(lcid);
        }
        lt::Language l;
        l.item = item;
        table.languages.push_back(l);
    }

    // The texts: every language gives the same ids, so that the table sends
    // each id to the library in every language.
    std::map<uint16_t, std::pair<size_t, int>> firstGiver;   // id -> (language, line)
    for (size_t i = 0; i < count; i++)
        for (const LibText &t : desc.languages[i].texts)
            firstGiver.insert({t.id, {i, t.line}});
    std::vector<std::vector<std::pair<uint16_t, std::u16string>>> strings(count);
    for (size_t i = 0; i < count; i++) {
        const LibLanguage &lang = desc.languages[i];
        for (const auto &g : firstGiver) {
            bool has = std::any_of(lang.texts.begin(), lang.texts.end(),
                                   [&](const LibText &t) { return t.id == g.first; });
            if (!has)
                m.Add(lang.line, "language " + Quote(lang.name) + " has no text " + std::to_string(g.first) + " (" +
                                     Quote(desc.languages[g.second.first].name) + " gives it on line " +
                                     std::to_string(g.second.second) +
                                     "); give it here too, or leave it out in every language");
        }
        if (!CodePageSupported(lang.codePage))
            continue;
        for (const LibText &t : lang.texts) {
            std::string encoded;
            if (CheckText(m, lang, t, &encoded))
                strings[i].push_back({LibStringId(i, t.id), Utf8ToUtf16(t.utf8)});
        }
    }

    size_t defaultIndex = 0;
    if (!desc.defaultName.empty()) {
        auto it = std::find_if(desc.languages.begin(), desc.languages.end(),
                               [&](const LibLanguage &l) { return l.name == desc.defaultName; });
        if (it == desc.languages.end())
            m.Add(desc.defaultLine, "the default language " + Quote(desc.defaultName) +
                                        " is not a language of this file; name one of its language lines");
        else
            defaultIndex = (size_t)(it - desc.languages.begin());
    }

    // The splash: one kind for the library (the table's header has one
    // splash type), a picture or script per language, or none.
    LibSplash kind = LibSplash::None;
    int kindLine = 0;
    bool mixed = false;
    for (const LibLanguage &lang : desc.languages) {
        if (lang.splash == LibSplash::None)
            continue;
        if (kind == LibSplash::None) {
            kind = lang.splash;
            kindLine = lang.splashLine;
        } else if (lang.splash != kind) {
            m.Add(lang.splashLine, "language " + Quote(lang.name) + " shows a " +
                                       (lang.splash == LibSplash::Bitmap ? "bitmap" : "logo script") +
                                       " splash, line " + std::to_string(kindLine) + " a " +
                                       (kind == LibSplash::Bitmap ? "bitmap" : "logo script") +
                                       "; a library shows one kind of splash: give every language a bitmap, or "
                                       "every language a logo script (or none)");
            mixed = true;
        }
    }
    std::vector<uint16_t> splashIds(count, 0);
    std::vector<ResEntry> pictures;
    std::map<std::vector<uint8_t>, uint16_t> sameBytes;
    for (size_t i = 0; i < count && !mixed; i++) {
        const LibLanguage &lang = desc.languages[i];
        if (lang.splash == LibSplash::None)
            continue;
        const std::string path =
            (!lang.splashFile.empty() && lang.splashFile[0] == '/') ? lang.splashFile : folder + lang.splashFile;
        std::vector<uint8_t> bytes;
        std::string why;
        if (!read(path, &bytes, &why)) {
            m.Add(lang.splashLine, "cannot read " + path + ": " + why + "; check the file name (relative to the "
                                                                        "description's folder)");
            io = true;
            continue;
        }
        ResEntry e;
        e.lang = 0;
        if (lang.splash == LibSplash::Bitmap) {
            if (!BmpToResource(bytes, &e.data, &why)) {
                m.Add(lang.splashLine, lang.splashFile + ": " + why);
                continue;
            }
            e.type = ResNumber(kRtBitmap);
            e.name = ResNumber(LibBitmapId(i));
        } else {
            if (!CodePageSupported(lang.codePage))
                continue;
            std::string script(bytes.begin(), bytes.end());
            if (script.compare(0, 3, "\xEF\xBB\xBF") == 0)
                script.erase(0, 3);
            std::string encoded;
            uint32_t bad = 0;
            if (!ToCodePage(script, lang.codePage, &encoded, &bad)) {
                m.Add(lang.splashLine, lang.splashFile + ": " +
                                           (bad ? "code page " + std::to_string(lang.codePage) + " of language " +
                                                      Quote(lang.name) + " cannot hold " + DescribePoint(bad) +
                                                      "; write the script without it"
                                                : std::string("not UTF-8; save the script as UTF-8")));
                continue;
            }
            const auto problems = CheckLogoScript(encoded, lang.codePage);
            for (const auto &p : problems)
                m.Add(lang.splashLine, lang.splashFile + (p.first ? ":" + std::to_string(p.first) : std::string()) +
                                           ": " + p.second);
            if (!problems.empty())
                continue;
            e.data.assign(encoded.begin(), encoded.end());
            e.type = ResNumber(RT_LANG_TABLE);
            e.name = ResNumber(LibLogoId(i));
        }
        auto same = sameBytes.find(e.data);
        if (same != sameBytes.end()) {
            splashIds[i] = same->second;   // one resource serves both languages
            continue;
        }
        sameBytes[e.data] = e.name.id;
        splashIds[i] = e.name.id;
        pictures.push_back(e);
    }

    if (errors->size() != before)
        return io ? kLibUnreadable : kLibInvalid;

    // The language table.
    table.splashType = kind == LibSplash::Bitmap ? SPLASH_TYPE_BITMAP
                       : kind == LibSplash::Logo ? SPLASH_TYPE_LOGO
                                                 : SPLASH_TYPE_NONE;
    table.defaultIndex = (uint8_t)defaultIndex;
    for (const auto &g : firstGiver) {
        lt::Entry e;
        e.name = std::to_string(g.first);
        e.kind = RES_KIND_STRING;
        for (size_t i = 0; i < count; i++) {
            lt::Value v;
            v.type = 1;
            v.number = LibStringId(i, g.first);
            e.values.push_back(v);
        }
        table.entries.push_back(e);
    }
    if (kind != LibSplash::None) {
        lt::Entry name, picture;
        name.name = "SPLASH";
        name.kind = kSplashEntryKind;
        picture.name = kSplashName;
        picture.kind = table.splashType;
        for (size_t i = 0; i < count; i++) {
            lt::Value n;
            n.type = 0;
            n.text = splashIds[i] ? kSplashName : kNoSplashName;
            name.values.push_back(n);
            lt::Value p;
            p.type = 1;
            p.number = splashIds[i];
            picture.values.push_back(p);
        }
        table.entries.push_back(name);
        table.entries.push_back(picture);
    }
    // The launcher must read each item back as written.
    for (size_t i = 0; i < count; i++) {
        lt::SplitItem s = lt::Split(table.languages[i].item);
        if (s.name != names[i] || s.flags != 1)
            m.Add(desc.languages[i].line, "language " + Quote(desc.languages[i].name) +
                                              ": the launcher would read the name as \"" + s.name + "\"; rename it");
    }
    if (errors->size() != before)
        return kLibInvalid;

    for (size_t i = 0; i < count; i++) {
        const LibLanguage &lang = desc.languages[i];
        AddStringTables(strings[i], lang.lcids.empty() ? 0 : (uint16_t)(lang.lcids[0] & 0xFFFF), out);
    }
    for (ResEntry &e : pictures) {
        e.lang = 0;
        out->push_back(e);
    }
    ResEntry t;
    t.type = ResNumber(RT_LANG_TABLE);
    t.name = ResNumber(RES_LANG_TABLE_NAME);
    t.lang = 0;
    t.data = lt::Encode(table);
    out->push_back(t);
    ResSort(out);
    return kLibOk;
}

}  // namespace medium
