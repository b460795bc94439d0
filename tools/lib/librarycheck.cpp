// The check of a resource library: the language table against the
// library's resources, every message in every language as the launcher
// loads it, and the splash each language gets.
#include "tools/lib/librarycheck.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>

#include "base/ids.h"
#include "base/leadbyte.h"
#include "base/platform.h"
#include "base/text.h"
#include "resmodule/langtable.h"
#include "splash/bitmapcheck.h"
#include "splash/logo.h"
#include "splash/splashchoice.h"
#include "tools/lib/library_encode.h"
#include "tools/lib/problem.h"
#include "tools/lib/stringtable.h"
#include "tools/lib/textcodec.h"

namespace tk {
namespace {

// A medium-library convention: SPLASH names NONE for a language without one.
const char kNoSplashName[] = "NONE";

// Bitmaps wider or taller than this are cut on a small screen.
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;

const uint16_t kMessages[] = {IDS_SCRIPT_MISSING, IDS_LAUNCH_FAILED, IDS_NO_WORK_DIRECTORY, IDS_EXPAND_BOOTSTRAP,
                              IDS_EXPAND_ENGINE, IDS_EXPAND_COMPANION, IDS_UNCLOSED_QUOTE, IDS_LIBRARY_MISSING,
                              IDS_CAPTION_REDIRECTED};
const uint16_t kPieceCountIds[3] = {IDS_PIECES_BOOTSTRAP, IDS_PIECES_ENGINE, IDS_PIECES_COMPANION};

struct Lang {
    std::string name;        // as the table holds it (ANSI bytes)
    std::string lcids;
    bool eligible = true;
    uint16_t langId = 0;     // first LCID's low 16 bits, 0 when none
    uint32_t codePage = 1252;
    bool codePageKnown = false;
};

struct TableCloser {
    void operator()(LangTable *t) const { LangTableClose(t); }
};
using TablePtr = std::unique_ptr<LangTable, TableCloser>;

// ANSI bytes of the table (keys, values) shown as UTF-8, read as code page
// 1252; control characters as '?'.
std::string Printable(const std::string &ansi)
{
    return AnsiText(ansi, 1252);
}

// Ids from the table are wider than a resource's 16 bits: those are absent.
const ResEntry *FindNumbered(const ResList &res, uint16_t type, uint32_t id)
{
    return id > 0xFFFF ? nullptr : ResFind(res, type, (uint16_t)id);
}

struct Checker {
    const ResList &res;
    const std::string &file;
    std::vector<Finding> *findings;

    void Add(Severity s, const std::string &language, int id, const std::string &text)
    {
        AddProblem(findings, s, file, text, id, language);
    }
};

// Bytes of `text` in `codePage`; a character the code page lacks counts as
// the one '?' the platform puts in its place and is named in `*missing`.
uint64_t AnsiLength(const std::u16string &text, uint32_t codePage, uint32_t *missing)
{
    *missing = 0;
    std::string utf8 = Utf16ToUtf8(text);
    std::string bytes;
    uint32_t bad = 0;
    if (ToCodePage(utf8, codePage, &bytes, &bad))
        return bytes.size();
    // One character at a time, only as far as a buffer of the launcher
    // could reach (a longer text is too long either way).
    uint64_t n = 0;
    std::u16string one;
    for (size_t i = 0; i < text.size() && n < 4ull * kTextChars; i++) {
        one.assign(1, text[i]);
        if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size())
            one.push_back(text[++i]);
        if (ToCodePage(Utf16ToUtf8(one), codePage, &bytes, &bad)) {
            n += bytes.size();
        } else {
            n += 1;
            if (!*missing)
                *missing = bad ? bad : 0xFFFD;
        }
    }
    return n;
}

void CheckPercent(Checker &c, const std::string &lang, uint16_t id, const std::u16string &text)
{
    int formats = 0;
    int others = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] != u'%')
            continue;
        if (i + 1 < text.size() && text[i + 1] == u's') {
            formats++;
            i++;
        } else {
            others++;
        }
    }
    const bool format = id == IDS_SCRIPT_MISSING || id == IDS_UNCLOSED_QUOTE;
    if (format && formats != 1)
        c.Add(Severity::Error, lang, id,
              formats == 0 ? std::string("the text holds no %s: the user never sees ") +
                                 (id == IDS_SCRIPT_MISSING ? "the script's path" : "the argument") +
                                 "; write one %s where it belongs"
                           : "the text holds " + std::to_string(formats) +
                                 " %s; the launcher fills the first only: keep exactly one");
    if (!format && formats > 0)
        c.Add(Severity::Error, lang, id, "the text holds %s, which the launcher shows as it stands: remove it");
    if (others > 0)
        c.Add(Severity::Error, lang, id,
              "the text holds a '%' that is not %s; the launcher's texts hold no other '%': write it out "
              "(\"percent\")");
}

// The text of message `id` as one language gets it, checked.
struct MessageSource {
    bool fromLibrary = false;
    uint32_t libraryId = 0;
    std::u16string text;
    StringFound state = StringFound::Absent;
};

void CheckMessage(Checker &c, const Lang &lang, const std::string &langLabel, uint16_t id, const MessageSource &m,
                  bool tableListsMessages, bool indexed, ReportNode *node)
{
    const bool caption = id == IDS_CAPTION_REDIRECTED;
    node->Number("id", id);
    if (!m.fromLibrary) {
        node->Text("source", "launcher");
        // Only the library's own choice is checked: the launcher's English
        // texts keep the rules. An indexed library that maps some messages
        // but not this one shows English to everybody here.
        if (indexed && tableListsMessages && id != IDS_LIBRARY_MISSING)
            c.Add(Severity::Note, langLabel, id,
                  "the table does not list this message: every language sees the launcher's English text; "
                  "add an entry \"" + std::to_string(id) + " string\" for every language");
        return;
    }
    node->Text("source", "library " + std::to_string(m.libraryId));
    if (m.state == StringFound::BadBlock) {
        c.Add(Severity::Error, langLabel, id,
              "the string block of library string " + std::to_string(m.libraryId) +
                  " runs past its end; the launcher takes nothing from a block it cannot walk: build the library again");
        return;
    }
    if (m.state == StringFound::Absent) {
        if (id == IDS_LIBRARY_MISSING)
            return;   // never shown from the library
        if (caption)
            c.Add(Severity::Warning, langLabel, id,
                  "the table sends the caption to library string " + std::to_string(m.libraryId) +
                      ", which is missing or empty: the launcher then shows its own English caption and message; "
                      "add the string");
        else
            c.Add(Severity::Error, langLabel, id,
                  "the table sends the message to library string " + std::to_string(m.libraryId) +
                      ", which is missing or empty: the user sees an empty box; add the string or correct the table");
        return;
    }
    uint32_t missing = 0;
    const uint64_t bytes = AnsiLength(m.text, lang.codePage, &missing);
    const uint32_t cap = caption ? kCaptionChars : kTextChars;
    node->Number("length", bytes);
    node->Text("text", Utf16ToUtf8(m.text));
    if (bytes > cap - 1)
        c.Add(Severity::Error, langLabel, id,
              std::to_string(bytes) + " bytes in code page " + std::to_string(lang.codePage) + " (a \\n counts one); " +
                  "the launcher keeps " + std::to_string(cap - 1) + " and cuts the rest: shorten it");
    if (missing)
        c.Add(Severity::Warning, langLabel, id,
              "code page " + std::to_string(lang.codePage) + " cannot hold " + DescribePoint(missing) +
                  "; users of that code page see '?': write it without that character");
    CheckPercent(c, langLabel, id, m.text);
}

// A logo script's problems, and its lines as the launcher reads them (in
// the language's code page) for proofreading. The splash's size is left
// out: the launcher measures the lines with GDI fonts at run time.
void CheckLogo(Checker &c, const std::string &langLabel, uint32_t id, const std::vector<uint8_t> &data,
               uint32_t codePage, ReportNode *lines)
{
    std::string script(data.begin(), data.end());
    const uint32_t parserCodePage = IsDoubleByteCodePage((int)codePage) ? codePage : 1252;
    for (const auto &p : CheckLogoScript(script, parserCodePage))
        c.Add(Severity::Warning, langLabel, (int)id,
              "logo script" + (p.first ? ", line " + std::to_string(p.first) : std::string()) + ": " + p.second);
    if (script.find('\0') != std::string::npos)
        return;
    for (const std::string &line : LauncherLogoLines(script, parserCodePage))
        lines->Text("", AnsiText(line, codePage));
}

// The splash one language gets, as SplashChoose and SplashCreateTyped make
// it; `table` has the language current (null: a probing library).
std::string CheckSplash(Checker &c, LangTable *table, const Lang &lang, const std::string &langLabel,
                        ReportNode *node)
{
    // The verdict is the launcher's own (SplashChooseFromTable); the texts
    // read here only explain it.
    int type = -1;
    int chosenId = 0;
    const bool chosen = table && SplashChooseFromTable(table, &type, &chosenId);
    if (chosen && type == SPLASH_TYPE_NONE)
        return "none (splash type 9)";
    char name[kSplashNameBuffer] = "";
    const bool named = table && LangTableLookup(table, "SPLASH", kSplashEntryKind, name, sizeof name);
    char text[kSplashIdBuffer] = "";
    if (chosen)
        LangTableLookup(table, name, type, text, sizeof text);
    else if (named && type != SPLASH_TYPE_DEFAULT && strcmp(name, kNoSplashName) != 0)
        c.Add(Severity::Warning, langLabel, 0,
              "the SPLASH entry names \"" + Printable(name) + "\" but the table has no entry \"" + Printable(name) +
                  "\" of kind " + std::to_string(type) +
                  " (the splash type): the launcher falls back to dialog 7500; add the entry or correct the name");
    if (!chosen) {
        // The default dialog 7500, through the redirection.
        uint32_t id = IDD_SPLASH_DEFAULT;
        bool fromLibrary = false;
        if (table) {
            char value[kLangValueBuffer];
            if (LangTableLookup(table, "7500", RES_KIND_DIALOG, value, sizeof value)) {
                id = (uint32_t)ParseDecimal(value);
                fromLibrary = true;
            }
        } else {
            fromLibrary = FindNumbered(c.res, kRtDialog, IDD_SPLASH_DEFAULT) != nullptr;
        }
        if (!fromLibrary)
            return "none (no dialog 7500 in the library, and the launcher has none)";
        if (!FindNumbered(c.res, kRtDialog, id)) {
            c.Add(Severity::Warning, langLabel, IDD_SPLASH_DEFAULT,
                  "the default splash is library dialog " + std::to_string(id) +
                      ", which the library does not hold: no splash is shown; add the dialog or correct the table");
            return "none (dialog " + std::to_string(id) + " is missing)";
        }
        return "dialog " + std::to_string(id) + " (the default splash)";
    }

    const long id = chosenId;
    const std::string entry = "the splash entry \"" + Printable(name) + "\" names ";
    if (id < 1 || id > 0xFFFF) {
        c.Add(Severity::Error, langLabel, 0,
              entry + "\"" + Printable(text) + "\", which is no resource id (1 to 65535): no splash is shown; write a number");
        return "none (bad id)";
    }
    const uint32_t rid = (uint32_t)id;
    switch (type) {
    case SPLASH_TYPE_DIALOG:
        if (!FindNumbered(c.res, kRtDialog, rid)) {
            c.Add(Severity::Error, langLabel, (int)rid,
                  entry + "dialog " + std::to_string(rid) + ", which the library does not hold: no splash is shown; "
                  "add the dialog or correct the entry");
            return "none (dialog " + std::to_string(rid) + " is missing)";
        }
        return "dialog " + std::to_string(rid);
    case SPLASH_TYPE_BITMAP: {
        const ResEntry *e = FindNumbered(c.res, kRtBitmap, rid);
        if (!e) {
            c.Add(Severity::Error, langLabel, (int)rid,
                  entry + "bitmap " + std::to_string(rid) + ", which the library does not hold: no splash is shown; "
                  "add the bitmap or correct the entry");
            return "none (bitmap " + std::to_string(rid) + " is missing)";
        }
        int32_t w = 0;
        int32_t h = 0;
        if (e->data.size() > 0xFFFFFFFFu ||
            !BitmapCheck(e->data.data(), (uint32_t)e->data.size(), &w, &h)) {
            c.Add(Severity::Error, langLabel, (int)rid,
                  "bitmap " + std::to_string(rid) + " does not decode: its header promises more than the resource "
                  "holds, or a format the platform does not draw; the launcher shows no splash: make the bitmap "
                  "again (medium library checks the file)");
            return "none (bitmap " + std::to_string(rid) + " is damaged)";
        }
        if (w > kScreenWidth || h > kScreenHeight)
            c.Add(Severity::Warning, langLabel, (int)rid,
                  "bitmap " + std::to_string(rid) + " is " + std::to_string(w) + " x " + std::to_string(h) +
                      ": a " + std::to_string(kScreenWidth) + " x " + std::to_string(kScreenHeight) +
                      " screen cuts it; make it smaller");
        return "bitmap " + std::to_string(rid) + " (" + std::to_string(w) + " x " + std::to_string(h) + ")";
    }
    case SPLASH_TYPE_LOGO: {
        const ResEntry *e = FindNumbered(c.res, RT_LANG_TABLE, rid);
        if (!e) {
            c.Add(Severity::Error, langLabel, (int)rid,
                  entry + "logo script " + std::to_string(rid) + " (type 1001), which the library does not hold: "
                  "no splash is shown; add the script or correct the entry");
            return "none (logo script " + std::to_string(rid) + " is missing)";
        }
        CheckLogo(c, langLabel, rid, e->data, lang.codePage, &node->List("logoScript"));
        return "text splash from logo script " + std::to_string(rid) + " (its size is measured at run time)";
    }
    default:
        c.Add(Severity::Warning, langLabel, 0,
              "splash type " + std::to_string(type) + " shows no splash (2 dialog, 4 bitmap, 5 text, 8 default, "
              "9 none): set the table's splash type");
        return "none (splash type " + std::to_string(type) + ")";
    }
}

// Entries the launcher reads but that the message and splash checks do not
// cover: each value must name a resource the library holds.
void CheckOtherEntries(Checker &c, LangTable *table, const std::vector<Lang> &langs)
{
    std::vector<LangEntry *> entries;
    const KeyedTable *keyed = table->entries;
    for (uint32_t b = 0; keyed && b < keyed->bucketCount; b++) {
        for (KeyedNode *n = keyed->buckets[b]; n; n = n->next)
            entries.push_back((LangEntry *)n->value);
    }
    std::sort(entries.begin(), entries.end(), [](const LangEntry *a, const LangEntry *b) {
        int d = strcmp(a->name, b->name);
        return d != 0 ? d < 0 : a->kind < b->kind;
    });
    for (const LangEntry *e : entries) {
        const long number = ParseDecimal(e->name);
        const bool message = e->kind == RES_KIND_STRING &&
                             std::find(std::begin(kMessages), std::end(kMessages), number) != std::end(kMessages);
        // Splash entries (the header's type) are checked per language.
        if (message || e->kind == table->splashType || (strcmp(e->name, "7500") == 0 && e->kind == RES_KIND_DIALOG))
            continue;
        uint16_t type = 0;
        const char *what = "";
        switch (e->kind) {
        case RES_KIND_STRING: type = kRtString; what = "string"; break;
        case RES_KIND_DIALOG: type = kRtDialog; what = "dialog"; break;
        case RES_KIND_ICON: type = kRtGroupIcon; what = "icon"; break;
        case RES_KIND_BITMAP: type = kRtBitmap; what = "bitmap"; break;
        case SPLASH_TYPE_LOGO: type = RT_LANG_TABLE; what = "logo script"; break;
        default: continue;
        }
        for (int i = 0; i < e->valueCount && i < (int)langs.size(); i++) {
            const char *v = e->values[i].text ? e->values[i].text : "";
            const long id = ParseDecimal(v);
            bool held;
            if (type == kRtString) {
                std::u16string s;
                held = LookupString(c.res, (uint32_t)id, langs[(size_t)i].langId, &s) == StringFound::Text;
            } else {
                held = id >= 1 && FindNumbered(c.res, type, (uint32_t)id) != nullptr;
            }
            if (!held)
                c.Add(Severity::Warning, AnsiText(langs[(size_t)i].name, langs[(size_t)i].codePage), number > 0 ? (int)number : 0,
                      "entry \"" + Printable(e->name) + "\" of kind " + std::to_string(e->kind) + " names " + what +
                          " \"" + Printable(v) + "\", which the library does not hold; add it or correct the entry");
        }
    }
}

}  // namespace

std::string AnsiText(const std::string &ansi, uint32_t codePage)
{
    std::string visible = ansi;
    for (char &ch : visible) {
        if ((unsigned char)ch < 0x20 || ch == 0x7F)
            ch = '?';
    }
    std::string utf8;
    FromCodePage(visible, CodePageSupported(codePage) ? codePage : 1252, &utf8);
    return utf8;
}

uint32_t CodePageOfLcidList(const std::string &lcids, bool *known)
{
    return CodePageOfLanguage((uint32_t)strtoul(lcids.c_str(), nullptr, 10), known);
}

std::vector<uint64_t> LcidNumbers(const std::string &lcids)
{
    std::vector<uint64_t> out;
    size_t at = 0;
    while (at <= lcids.size()) {
        size_t end = lcids.find(',', at);
        if (end == std::string::npos)
            end = lcids.size();
        size_t b = at, e = end;
        while (b < e && lcids[b] == ' ')
            b++;
        while (e > b && lcids[e - 1] == ' ')
            e--;
        uint64_t v = 0;
        bool ok = b < e && e - b <= 10;
        for (size_t i = b; ok && i < e; i++) {
            ok = lcids[i] >= '0' && lcids[i] <= '9';
            v = v * 10 + (uint64_t)(lcids[i] - '0');
        }
        if (ok && v <= 0xFFFFFFFFu)
            out.push_back(v);
        at = end + 1;
    }
    return out;
}

std::string LanguageNameText(const std::string &name, const std::string &lcids)
{
    bool known = false;
    return AnsiText(name, CodePageOfLcidList(lcids, &known));
}

void InspectLibraryResources(const ResList &res, const PeImage *pe, const std::string &file, ReportNode *facts,
                             std::vector<Finding> *findings, LibraryView *view)
{
    Checker c{res, file, findings};
    *view = LibraryView();
    view->read = true;

    if (pe) {
        if (pe->entryRva != 0)
            c.Add(Severity::Error, "", 0,
                  "the library has an entry point: its code would run if it were loaded as a program; build it "
                  "resource-only (medium library, or -nostdlib -Wl,--entry=0)");
        if (!pe->imports.empty())
            c.Add(Severity::Warning, "", 0,
                  "the library imports other libraries; a resource library needs none: build it resource-only");
        facts->Flag("entryPoint", pe->entryRva != 0);
        facts->Flag("executableSections", HasExecutableSection(*pe));
    }

    // The table: the launcher's own parser, on an exact copy.
    const ResEntry *tableEntry = FindNumbered(res, RT_LANG_TABLE, RES_LANG_TABLE_NAME);
    TablePtr table;
    if (tableEntry) {
        table.reset(LangTableCreate("", LANG_LOAD_LIBRARY));
        std::vector<unsigned char> copy(tableEntry->data.begin(), tableEntry->data.end());
        const int result = table && copy.size() <= 0xFFFFFFFFu
                               ? LangTableParse(table.get(), copy.data(), (uint32_t)copy.size())
                               : 0;
        if (result != LANG_PARSED) {
            c.Add(Severity::Error, "", 0,
                  "the launcher refuses the language table (error " + std::to_string(result < 0 ? result : 0) +
                      "): it shows its own English texts and no splash; check it with langtable check");
            facts->Text("kind", "indexed, table refused");
            return;
        }
    }
    view->indexed = table != nullptr;
    facts->Text("kind", table ? "indexed" : "probing");

    std::vector<Lang> langs;
    if (table) {
        facts->Number("splashType", (uint64_t)table->splashType);
        facts->Text("default", table->defaultLanguage >= 0
                                   ? LanguageNameText(table->languageNames[table->defaultLanguage],
                                                      table->lcidLists[table->defaultLanguage])
                                   : std::string("(none)"));
        facts->Number("entries", table->entries ? table->entries->itemCount : 0);
        for (int i = 0; i < table->languageCount; i++) {
            Lang l;
            l.name = table->languageNames[i];
            l.lcids = table->lcidLists[i];
            l.eligible = (table->languageFlags[i] & LANG_FLAG_ELIGIBLE) != 0;
            l.langId = (uint16_t)(strtoul(l.lcids.c_str(), nullptr, 10) & 0xFFFF);
            l.codePage = CodePageOfLcidList(l.lcids, &l.codePageKnown);
            for (int k = 0; k < i; k++) {
                if (TextCompareNoCase(table->languageNames[k], table->languageNames[i]) == 0)
                    c.Add(Severity::Warning, AnsiText(l.name, l.codePage), 0,
                          "another language has this name but for letter case; the launcher finds languages by "
                          "name and always takes the first: rename one");
            }
            langs.push_back(l);
        }
        if (langs.empty())
            c.Add(Severity::Warning, "", 0, "the table lists no languages: every text comes from the launcher");
    } else {
        // One language for everyone: that of the library's string blocks.
        Lang l;
        l.name = "(every language)";
        for (const ResEntry &e : res) {
            if (!e.type.named && e.type.id == kRtString) {
                l.langId = e.lang;
                break;
            }
        }
        l.codePage = CodePageOfLanguage(l.langId, &l.codePageKnown);
        langs.push_back(l);
    }

    bool tableListsMessages = false;
    if (table) {
        char value[kLangValueBuffer];
        for (uint16_t id : kMessages) {
            if (id != IDS_LIBRARY_MISSING && table->languageCount > 0) {
                table->currentLanguage = 0;
                tableListsMessages = tableListsMessages ||
                                     LangTableLookup(table.get(), std::to_string(id).c_str(), RES_KIND_STRING, value, sizeof value);
            }
        }
    }

    ReportNode &languages = facts->List("languages");
    for (size_t li = 0; li < langs.size(); li++) {
        const Lang &lang = langs[li];
        const std::string label = table ? AnsiText(lang.name, lang.codePage) : lang.name;
        if (table)
            table->currentLanguage = (int)li;
        ReportNode &ln = languages.Object("");
        ln.Text("name", label);
        if (table) {
            ln.Numbers("lcids", LcidNumbers(lang.lcids));
            ln.Flag("eligible", lang.eligible);
        }
        ln.Number("codePage", lang.codePage);
        ln.Flag("codePageKnown", lang.codePageKnown);
        LanguageView lv;
        lv.name = label;
        lv.lcids = lang.lcids;

        ReportNode &messages = ln.List("messages");
        for (uint16_t id : kMessages) {
            MessageSource m;
            if (table) {
                char value[kLangValueBuffer];
                if (LangTableLookup(table.get(), std::to_string(id).c_str(), RES_KIND_STRING, value, sizeof value)) {
                    m.fromLibrary = true;
                    const long mapped = ParseDecimal(value);
                    m.libraryId = mapped < 0 ? 0u : (uint32_t)mapped;
                    m.state = LookupString(res, m.libraryId, lang.langId, &m.text);
                }
            } else {
                m.state = LookupString(res, id, lang.langId, &m.text);
                m.fromLibrary = m.state != StringFound::Absent;
                m.libraryId = id;
            }
            CheckMessage(c, lang, label, id, m, tableListsMessages, table != nullptr, &messages.Object(""));
            if (id == IDS_CAPTION_REDIRECTED && m.fromLibrary && m.state == StringFound::Text)
                lv.caption = Utf16ToUtf8(m.text);
        }

        // The splash's minimum time, when the library supplies it.
        {
            std::u16string minimum;
            bool given = false;
            char value[kLangValueBuffer];
            if (table && LangTableLookup(table.get(), "7111", RES_KIND_STRING, value, sizeof value))
                given = LookupString(res, (uint32_t)ParseDecimal(value), lang.langId, &minimum) == StringFound::Text;
            else if (!table)
                given = LookupString(res, IDS_SPLASH_MINIMUM, lang.langId, &minimum) == StringFound::Text;
            if (given) {
                const std::string t = Utf16ToUtf8(minimum);
                const long ms = ParseDecimal(t.c_str());
                ln.Number("splashMinimumMs", ms < 0 ? 0u : (uint64_t)ms);
                if (ms < 0 || ms > kSplashMinimumCap)
                    c.Add(Severity::Warning, label, IDS_SPLASH_MINIMUM,
                          "the splash's minimum time \"" + t + "\" is outside 0 to 30000 ms; the launcher holds it "
                          "at most 30 s: write a number of milliseconds up to 30000");
            }
        }

        lv.splash = CheckSplash(c, table.get(), lang, label, &ln);
        ln.Text("splash", lv.splash);
        view->languages.push_back(lv);
    }

    // Piece counts belong to the launcher; a library that supplies them
    // changes what the launcher expands.
    for (int p = 0; p < 3; p++) {
        const uint16_t id = kPieceCountIds[p];
        std::u16string text;
        bool supplied = false;
        if (table) {
            char value[kLangValueBuffer];
            for (int i = 0; i < table->languageCount && !supplied; i++) {
                table->currentLanguage = i;
                if (LangTableLookup(table.get(), std::to_string(id).c_str(), RES_KIND_STRING, value, sizeof value)) {
                    supplied = true;
                    LookupString(res, (uint32_t)ParseDecimal(value), langs[(size_t)i].langId, &text);
                }
            }
        } else {
            supplied = LookupString(res, id, langs[0].langId, &text) == StringFound::Text;
        }
        if (!supplied)
            continue;
        view->pieceCounts[p] = Utf16ToUtf8(text);
        c.Add(Severity::Error, "", id,
              "the library supplies string " + std::to_string(id) + " (\"" + view->pieceCounts[p] +
                  "\"), the piece count of payload " + std::to_string(id) +
                  ": the launcher expands that many pieces instead of its own count; remove the string " +
                  (table ? "and its table entry" : "from the library"));
    }

    if (table)
        CheckOtherEntries(c, table.get(), langs);
}

}  // namespace tk
