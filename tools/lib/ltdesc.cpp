// Language table descriptions: text <-> model <-> resource bytes.
#include "tools/lib/ltdesc.h"

#include <stdio.h>
#include <string.h>

#include <map>

#include "base/bytes.h"
#include "resmodule/langtable.h"
#include "tools/lib/bytesink.h"
#include "tools/lib/linetok.h"
#include "tools/lib/numbers.h"

namespace lt {

namespace {

using tk::IsBlank;
using tk::QuotedResult;
using tk::Quoting;
using tk::ReadQuoted;
using tk::SkipToToken;

const size_t kMaxErrors = 20;

void WriteCounted(tk::ByteSink *w, const std::string &s)
{
    w->U8((unsigned)s.size());
    w->Bytes(s.data(), s.size());
}

std::string ReadCounted(ByteReader *r)
{
    uint32_t n = ReaderU8(r);
    const unsigned char *p = ReaderTake(r, n);
    return p ? std::string((const char *)p, n) : std::string();
}

// The resource bytes into `w`.
void EncodeTo(tk::ByteSink *w, const Table &table)
{
    w->U32((uint32_t)kLangMagic);
    w->U16(table.version);
    w->U16(table.headerReserved);
    w->U16(table.splashType);
    w->U8(table.defaultIndex);
    w->U8((unsigned)table.languages.size());
    for (const Language &l : table.languages)
        WriteCounted(w, l.item);
    w->U8(table.listReserved);
    w->U16((unsigned)table.entries.size());
    for (const Entry &e : table.entries) {
        WriteCounted(w, e.name);
        w->U8((unsigned)e.kind);
        for (const Value &v : e.values) {
            w->U8((unsigned)v.type);
            if (v.type == LANG_VALUE_NUMBER)
                w->U16(v.number);
            else
                WriteCounted(w, v.text);
        }
    }
    w->Bytes(table.trailer.data(), table.trailer.size());
}

// Bounds-checked reader for Decode.
// --- description tokens ------------------------------------------------------

struct Piece {
    enum Kind { Bare, Quoted, Hex } kind;
    std::string bytes;
};

struct Token {
    std::vector<Piece> pieces;
    std::string Bytes() const
    {
        std::string s;
        for (const Piece &p : pieces)
            s += p.bytes;
        return s;
    }
    bool IsBare() const { return pieces.size() == 1 && pieces[0].kind == Piece::Bare; }
    bool IsWord(const char *word) const { return IsBare() && pieces[0].bytes == word; }
    bool IsText() const
    {
        for (const Piece &p : pieces) {
            if (p.kind == Piece::Bare)
                return false;
        }
        return !pieces.empty();
    }
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits one line into tokens. A token is pieces written without blanks
// between them: bare characters, "quoted text" ("" for a quote) and <hex
// bytes>. '#' outside quotes starts a comment.
bool Tokenize(const std::string &line, std::vector<Token> *tokens, std::string *error)
{
    size_t i = 0;
    const size_t n = line.size();
    while (SkipToToken(line, &i)) {
        Token token;
        while (i < n && !IsBlank(line[i]) && line[i] != '#') {
            Piece piece;
            if (line[i] == '"') {
                piece.kind = Piece::Quoted;
                char unused = '\0';
                if (ReadQuoted(line, &i, Quoting::Doubled, &piece.bytes, &unused) != QuotedResult::Ok) {
                    *error = "a quoted text is not closed";
                    return false;
                }
            } else if (line[i] == '<') {
                piece.kind = Piece::Hex;
                i++;
                for (;;) {
                    while (i < n && IsBlank(line[i]))
                        i++;
                    if (i >= n) {
                        *error = "a <hex bytes> group is not closed";
                        return false;
                    }
                    if (line[i] == '>') {
                        i++;
                        break;
                    }
                    int hi = HexDigit(line[i]);
                    int lo = i + 1 < n ? HexDigit(line[i + 1]) : -1;
                    if (hi < 0 || lo < 0) {
                        *error = "a <hex bytes> group holds something other than pairs of hex digits";
                        return false;
                    }
                    piece.bytes += (char)(hi * 16 + lo);
                    i += 2;
                }
            } else {
                piece.kind = Piece::Bare;
                while (i < n && !IsBlank(line[i]) && line[i] != '"' && line[i] != '<' && line[i] != '#')
                    piece.bytes += line[i++];
            }
            token.pieces.push_back(piece);
        }
        tokens->push_back(token);
    }
    return true;
}

using tk::AllDigits;

// A bare number token, or 0x hex when allowHex, a '-' when `lo` is below
// 0; within [lo, hi].
bool ParseNumber(const Token &token, long lo, long hi, bool allowHex, long *value)
{
    if (!token.IsBare())
        return false;
    tk::NumberForm form;
    form.hex = allowHex;
    form.sign = lo < 0;
    int64_t v = 0;
    if (!tk::ParseNumber(token.pieces[0].bytes, lo, hi, form, &v))
        return false;
    *value = (long)v;
    return true;
}

std::string Printable(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + "\"";
}

// The text as a description token: quoted, "" for a quote, control bytes as
// <hex> pieces between quoted pieces.
std::string QuoteText(const std::string &s)
{
    std::string out;
    bool inQuote = false;
    bool inHex = false;
    for (unsigned char c : s) {
        bool control = c < 0x20 || c == 0x7F;
        if (control) {
            if (inQuote) {
                out += '"';
                inQuote = false;
            }
            char hex[4];
            snprintf(hex, sizeof(hex), "%02X", c);
            out += inHex ? " " : "<";
            out += hex;
            inHex = true;
        } else {
            if (inHex) {
                out += '>';
                inHex = false;
            }
            if (!inQuote) {
                out += '"';
                inQuote = true;
            }
            if (c == '"')
                out += "\"\"";
            else
                out += (char)c;
        }
    }
    if (inHex)
        out += '>';
    if (inQuote)
        out += '"';
    if (out.empty())
        out = "\"\"";
    return out;
}

std::string BuildItem(const std::string &name, bool hasFlags, long flags, bool hasList, const std::string &list)
{
    std::string item;
    if (hasFlags)
        item += "@" + std::to_string(flags) + ";";
    item += name;
    if (hasList)
        item += ";" + list;
    return item;
}

std::string Describe(const SplitItem &s)
{
    return "name " + Printable(s.name) + ", LCID list " + Printable(s.lcids) + ", flags " +
           std::to_string(s.flags);
}

// Warnings for LCID lists that cannot match as written: the launcher compares
// each trimmed item with the user's locale id in signed decimal.
void CheckLcidList(const std::string &list, const std::string &where, std::vector<std::string> *warnings)
{
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() > kLangLcidItemChars) {
            warnings->push_back(where + ": an LCID item longer than 119 characters ends the launcher's "
                                        "search of this list");
            return;
        }
        size_t a = item.find_first_not_of(" \t");
        size_t b = item.find_last_not_of(" \t");
        std::string trimmed = a == std::string::npos ? std::string() : item.substr(a, b - a + 1);
        std::string digits = !trimmed.empty() && trimmed[0] == '-' ? trimmed.substr(1) : trimmed;
        if (!trimmed.empty() && !AllDigits(digits))
            warnings->push_back(where + ": LCID item " + Printable(trimmed) +
                                " is not a decimal number and never matches a locale id");
        if (comma == std::string::npos)
            return;
        start = comma + 1;
    }
}

}  // namespace

SplitItem Split(const std::string &item)
{
    char name[kLangItemChars + 2];
    char lcids[kLangLcidBuffer];
    SplitItem s;
    s.flags = LangSplitItem(item.c_str(), name, sizeof(name), lcids, sizeof(lcids));
    s.name = name;
    s.lcids = lcids;
    return s;
}

std::string EntryKey(const Entry &entry)
{
    return std::string(entry.name.c_str()) + ":" + std::to_string(entry.kind);
}

std::vector<uint8_t> Encode(const Table &table)
{
    tk::ByteSink w;
    EncodeTo(&w, table);
    return w.Take();
}

bool Decode(const uint8_t *data, size_t size, Table *table, std::string *error)
{
    if (size > 0xFFFFFFFFu) {
        *error = "larger than a resource can be";
        return false;
    }
    ByteReader r;
    ReaderInit(&r, data, (uint32_t)size);
    Table t;
    uint32_t magic = ReaderU32(&r);
    if (!r.err && magic != (uint32_t)kLangMagic) {
        *error = "not a language table (wrong magic number)";
        return false;
    }
    t.version = (uint16_t)ReaderU16(&r);
    t.headerReserved = (uint16_t)ReaderU16(&r);
    t.splashType = (uint16_t)ReaderU16(&r);
    t.defaultIndex = (uint8_t)ReaderU8(&r);
    unsigned count = ReaderU8(&r);
    if (!r.err && count > kLangMaxLanguages) {
        *error = "more than 30 languages";
        return false;
    }
    for (unsigned i = 0; i < count && !r.err; i++) {
        Language l;
        l.item = ReadCounted(&r);
        t.languages.push_back(l);
    }
    t.listReserved = (uint8_t)ReaderU8(&r);
    unsigned entries = ReaderU16(&r);
    for (unsigned e = 0; e < entries && !r.err; e++) {
        Entry entry;
        entry.name = ReadCounted(&r);
        entry.kind = (int)ReaderU8(&r);
        for (unsigned i = 0; i < count && !r.err; i++) {
            Value v;
            v.type = (int)ReaderU8(&r);
            if (v.type == LANG_VALUE_NUMBER)
                v.number = (uint16_t)ReaderU16(&r);
            else
                v.text = ReadCounted(&r);
            entry.values.push_back(v);
        }
        t.entries.push_back(entry);
    }
    if (r.err) {
        *error = "the resource ends before its counts say";
        return false;
    }
    t.trailer.assign((const char *)data + r.pos, size - r.pos);
    *table = t;
    return true;
}

bool ParseDescription(const std::string &text, Table *out, std::vector<std::string> *errors,
                      std::vector<std::string> *warnings)
{
    Table table;
    std::map<std::string, int> keyLines;
    std::map<std::string, int> seen;     // header keyword -> line
    std::string defaultName;
    int defaultLine = 0;
    bool defaultByName = false;
    // A language line that failed leaves the count of languages unknown:
    // the entries below it are not counted against it, so one mistake
    // gives one error.
    int failedLanguages = 0;
    size_t pos = 0;
    int lineNo = 0;

    while (pos < text.size() && errors->size() < kMaxErrors) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

        std::string where = "line " + std::to_string(lineNo);
        auto fail = [&](const std::string &message) { errors->push_back(where + ": " + message); };

        std::vector<Token> tok;
        std::string tokError;
        if (!Tokenize(line, &tok, &tokError)) {
            fail(tokError);
            const size_t first = line.find_first_not_of(" \t");
            if (first != std::string::npos && line.compare(first, 9, "language ") == 0)
                failedLanguages++;
            continue;
        }
        if (tok.empty())
            continue;
        if (!tok[0].IsBare()) {
            fail("a line begins with a keyword (version, splash, default, language, entry, ...)");
            continue;
        }
        const std::string keyword = tok[0].pieces[0].bytes;

        bool header = keyword == "version" || keyword == "splash" || keyword == "default" ||
                      keyword == "header-reserved" || keyword == "list-reserved" || keyword == "trailer";
        if (header) {
            auto it = seen.find(keyword);
            if (it != seen.end()) {
                fail(keyword + " is given twice (first on line " + std::to_string(it->second) + ")");
                continue;
            }
            seen[keyword] = lineNo;
        }

        long v = 0;
        if (keyword == "version") {
            if (tok.size() != 2 || !ParseNumber(tok[1], 0, 0xFFFF, true, &v)) {
                fail("version wants one number, such as 0x201");
                continue;
            }
            if (v > kLangMaxVersion) {
                fail("version above 0x201: the launcher refuses the table (code -308)");
                continue;
            }
            table.version = (uint16_t)v;
        } else if (keyword == "splash") {
            if (tok.size() != 2 || !ParseNumber(tok[1], 0, 0xFFFF, true, &v)) {
                fail("splash wants one number from 0 to 65535 (the splash type)");
                continue;
            }
            table.splashType = (uint16_t)v;
        } else if (keyword == "header-reserved") {
            if (tok.size() != 2 || !ParseNumber(tok[1], 0, 0xFFFF, true, &v)) {
                fail("header-reserved wants one number from 0 to 65535");
                continue;
            }
            table.headerReserved = (uint16_t)v;
        } else if (keyword == "list-reserved") {
            if (tok.size() != 2 || !ParseNumber(tok[1], 0, 0xFF, true, &v)) {
                fail("list-reserved wants one number from 0 to 255");
                continue;
            }
            table.listReserved = (uint8_t)v;
        } else if (keyword == "trailer") {
            if (tok.size() != 2 || !tok[1].IsText()) {
                fail("trailer wants one quoted text or <hex bytes>");
                continue;
            }
            table.trailer = tok[1].Bytes();
        } else if (keyword == "default") {
            defaultLine = lineNo;
            if (tok.size() == 3 && tok[1].IsWord("index")) {
                if (!ParseNumber(tok[2], 0, 255, false, &v)) {
                    fail("default index wants a number from 0 to 255");
                    continue;
                }
                table.defaultIndex = (uint8_t)v;
            } else if (tok.size() == 2) {
                defaultName = tok[1].Bytes();
                defaultByName = true;
            } else {
                fail("default wants a language name, or index and a number");
                continue;
            }
        } else if (keyword == "language") {
            const size_t errorsBefore = errors->size();
            struct CountFailure {
                const std::vector<std::string> *errors;
                size_t before;
                int *failed;
                ~CountFailure()
                {
                    if (errors->size() > before)
                        (*failed)++;
                }
            } countFailure{errors, errorsBefore, &failedLanguages};
            if (!table.entries.empty()) {
                fail("languages come before the entries");
                continue;
            }
            if (table.languages.size() >= (size_t)kLangMaxLanguages) {
                fail("more than 30 languages");
                continue;
            }
            Language lang;
            lang.line = lineNo;
            if (tok.size() == 3 && tok[1].IsWord("raw")) {
                lang.item = tok[2].Bytes();
                if (lang.item.size() > kLangItemChars) {
                    fail("a language item holds at most 255 bytes");
                    continue;
                }
            } else {
                if (tok.size() < 2) {
                    fail("language wants a name");
                    continue;
                }
                std::string name = tok[1].Bytes();
                bool hasFlags = false, hasList = false;
                long flags = 1;
                std::string list;
                bool bad = false;
                for (size_t i = 2; i < tok.size() && !bad; i += 2) {
                    if (i + 1 >= tok.size()) {
                        fail("flags and lcid each want a value");
                        bad = true;
                    } else if (tok[i].IsWord("flags") && !hasFlags) {
                        if (!ParseNumber(tok[i + 1], -999999999L, 999999999L, false, &flags)) {
                            fail("flags wants a decimal number");
                            bad = true;
                        }
                        hasFlags = true;
                    } else if (tok[i].IsWord("lcid") && !hasList) {
                        list = tok[i + 1].Bytes();
                        hasList = true;
                    } else {
                        fail("after the name come flags N and lcid LIST, each at most once");
                        bad = true;
                    }
                }
                if (bad)
                    continue;
                if (name.size() > kLangNameChars) {
                    fail("a language name holds at most 51 characters (the launcher's name buffer)");
                    continue;
                }
                if (name.find(';') != std::string::npos) {
                    fail("a language name cannot hold \";\"");
                    continue;
                }
                if (!hasFlags && !name.empty() && name[0] == '@') {
                    fail("a name that begins with \"@\" needs flags (else \"@\" starts a flags part)");
                    continue;
                }
                lang.item = BuildItem(name, hasFlags, flags, hasList, list);
                if (lang.item.size() > kLangItemChars) {
                    fail("this language's item text would be longer than 255 bytes");
                    continue;
                }
                SplitItem s = Split(lang.item);
                if (s.name != name || s.lcids != list || s.flags != (int)flags) {
                    fail("the launcher would read this language as " + Describe(s) +
                         "; write it with language raw if that is meant");
                    continue;
                }
            }
            table.languages.push_back(lang);
        } else if (keyword == "entry") {
            if (tok.size() < 3) {
                fail("entry wants a name, a kind and one value per language");
                continue;
            }
            if (table.entries.size() >= (size_t)kLangMaxEntries) {
                fail("more than 65535 entries");
                continue;
            }
            Entry entry;
            entry.line = lineNo;
            entry.name = tok[1].Bytes();
            if (entry.name.size() > kLangItemChars) {
                fail("an entry name holds at most 255 bytes");
                continue;
            }
            static const char *const kKindNames[] = {"string", "dialog", "icon", "bitmap"};
            bool kindOk = ParseNumber(tok[2], 0, 255, false, &v);
            for (int k = 0; k < 4 && !kindOk; k++) {
                if (tok[2].IsWord(kKindNames[k])) {
                    v = k + 1;
                    kindOk = true;
                }
            }
            if (!kindOk) {
                fail("the kind is a number from 0 to 255, or string, dialog, icon or bitmap");
                continue;
            }
            entry.kind = (int)v;
            bool bad = false;
            for (size_t i = 3; i < tok.size() && !bad; i++) {
                Value value;
                const Token &t = tok[i];
                long number = 0;
                if (t.IsBare() && AllDigits(t.pieces[0].bytes)) {
                    if (!ParseNumber(t, 0, 0xFFFF, false, &number)) {
                        fail("value " + std::to_string(i - 2) + ": a number value is at most 65535");
                        bad = true;
                        break;
                    }
                    value.type = LANG_VALUE_NUMBER;
                    value.number = (uint16_t)number;
                } else if (t.IsText()) {
                    value.type = 0;
                    value.text = t.Bytes();
                } else if (t.pieces.size() >= 2 && t.pieces[0].kind == Piece::Bare &&
                           t.pieces[0].bytes.size() >= 2 && t.pieces[0].bytes.back() == ':' &&
                           AllDigits(t.pieces[0].bytes.substr(0, t.pieces[0].bytes.size() - 1))) {
                    Token typeToken;
                    typeToken.pieces.push_back(
                        {Piece::Bare, t.pieces[0].bytes.substr(0, t.pieces[0].bytes.size() - 1)});
                    Token rest;
                    rest.pieces.assign(t.pieces.begin() + 1, t.pieces.end());
                    if (!ParseNumber(typeToken, 0, 255, false, &number) || number == LANG_VALUE_NUMBER ||
                        !rest.IsText()) {
                        fail("value " + std::to_string(i - 2) +
                             ": a typed text is TYPE:\"text\" with a type from 0 to 255 other than 1");
                        bad = true;
                        break;
                    }
                    value.type = (int)number;
                    value.text = rest.Bytes();
                } else {
                    fail("value " + std::to_string(i - 2) +
                         ": a value is a number (0 to 65535), a \"quoted text\" or TYPE:\"text\"");
                    bad = true;
                    break;
                }
                if (value.text.size() > kLangValueChars) {
                    fail("value " + std::to_string(i - 2) + ": a text value holds at most 255 bytes");
                    bad = true;
                    break;
                }
                entry.values.push_back(value);
            }
            if (bad)
                continue;
            if (table.languages.empty() && failedLanguages == 0 && !entry.values.empty()) {
                fail("an entry before any language: languages come first; move the language lines above the entries");
                continue;
            }
            if (failedLanguages == 0 && entry.values.size() != table.languages.size()) {
                fail(std::to_string(entry.values.size()) + " values for " +
                     std::to_string(table.languages.size()) + " languages: give one value per language");
                continue;
            }
            std::string key = EntryKey(entry);
            if (key.size() > kLangLoadKeyChars) {
                fail("the entry's key " + Printable(key) +
                     " is longer than 255 characters: the launcher refuses the table (code -310)");
                continue;
            }
            auto it = keyLines.find(key);
            if (it != keyLines.end()) {
                fail("entry " + Printable(key) + " repeats the entry of line " + std::to_string(it->second) +
                     ": the launcher refuses the table (code -302)");
                continue;
            }
            keyLines[key] = lineNo;
            table.entries.push_back(entry);
        } else {
            fail("unknown keyword " + Printable(keyword));
        }
    }

    if (defaultByName && errors->empty()) {
        bool found = false;
        for (size_t i = 0; i < table.languages.size(); i++) {
            if (Split(table.languages[i].item).name == defaultName) {
                table.defaultIndex = (uint8_t)i;
                found = true;
                break;
            }
        }
        if (!found)
            errors->push_back("line " + std::to_string(defaultLine) + ": no language is named " +
                              Printable(defaultName));
    }
    if (!errors->empty())
        return false;

    *warnings = Lint(table);
    *out = table;
    return true;
}

std::vector<std::string> Lint(const Table &table)
{
    std::vector<std::string> warnings;
    int firstEligible = -1;
    for (size_t i = 0; i < table.languages.size(); i++) {
        const Language &l = table.languages[i];
        SplitItem s = Split(l.item);
        std::string where = l.line ? "line " + std::to_string(l.line) : "language " + std::to_string(i);
        if (s.name.size() > kLangNameChars)
            warnings.push_back(where + ": the launcher cuts the name " + Printable(s.name) +
                               " to 51 characters");
        CheckLcidList(s.lcids, where, &warnings);
        if (firstEligible < 0 && (s.flags & LANG_FLAG_ELIGIBLE))
            firstEligible = (int)i;
    }
    if (table.languages.empty()) {
        warnings.push_back("no languages: entries hold no values and every lookup finds nothing");
    } else if (firstEligible < 0) {
        warnings.push_back("no language is eligible (flags bit 0): the table has no default language "
                           "and no locale selects a language");
    } else if (table.defaultIndex >= table.languages.size() ||
               !(Split(table.languages[table.defaultIndex].item).flags & LANG_FLAG_ELIGIBLE)) {
        warnings.push_back("the default language (index " + std::to_string(table.defaultIndex) +
                           ") is not an eligible language; the launcher uses " +
                           Printable(Split(table.languages[(size_t)firstEligible].item).name) + " instead");
    }
    if (!table.trailer.empty())
        warnings.push_back(std::to_string(table.trailer.size()) +
                           " bytes after the last entry are ignored by the launcher");
    return warnings;
}

std::string FormatDescription(const Table &table)
{
    std::string out;
    char buf[64];
    out += "# Language table description; build it with: langtable compile THIS.txt OUT.bin\n";
    snprintf(buf, sizeof(buf), "version 0x%03X\n", table.version);
    out += buf;
    out += "splash " + std::to_string(table.splashType) + "\n";
    if (table.headerReserved != 0)
        out += "header-reserved " + std::to_string(table.headerReserved) + "\n";

    // By name when the name leads back to the same language.
    bool byName = false;
    if (table.defaultIndex < table.languages.size()) {
        std::string name = Split(table.languages[table.defaultIndex].item).name;
        for (size_t i = 0; i < table.languages.size(); i++) {
            if (Split(table.languages[i].item).name == name) {
                byName = (i == table.defaultIndex);
                break;
            }
        }
        if (byName)
            out += "default " + QuoteText(name) + "\n";
    }
    if (!byName)
        out += "default index " + std::to_string(table.defaultIndex) + "\n";

    out += "\n# language NAME [flags N] [lcid LIST], or language raw ITEM-TEXT\n";
    for (const Language &l : table.languages) {
        SplitItem s = Split(l.item);
        bool hasFlags = !l.item.empty() && l.item[0] == '@';
        std::string line;
        for (int hasList = 1; hasList >= 0 && line.empty(); hasList--) {
            if (!hasList && !s.lcids.empty())
                break;
            if (BuildItem(s.name, hasFlags, s.flags, hasList != 0, s.lcids) != l.item)
                continue;
            if (s.name.size() > kLangNameChars || s.name.find(';') != std::string::npos ||
                (!hasFlags && !s.name.empty() && s.name[0] == '@'))
                continue;
            line = "language " + QuoteText(s.name);
            if (hasFlags)
                line += " flags " + std::to_string(s.flags);
            if (hasList)
                line += " lcid " + QuoteText(s.lcids);
        }
        if (line.empty())
            line = "language raw " + QuoteText(l.item);
        out += line + "\n";
    }
    if (table.listReserved != 0)
        out += "list-reserved " + std::to_string(table.listReserved) + "\n";

    out += "\n# entry NAME KIND VALUE... (one value per language: NUMBER, \"text\" or TYPE:\"text\")\n";
    for (const Entry &e : table.entries) {
        std::string line = "entry " + QuoteText(e.name) + " " + std::to_string(e.kind);
        for (const Value &v : e.values) {
            line += " ";
            if (v.type == LANG_VALUE_NUMBER)
                line += std::to_string(v.number);
            else if (v.type == 0)
                line += QuoteText(v.text);
            else
                line += std::to_string(v.type) + ":" + QuoteText(v.text);
        }
        out += line + "\n";
    }
    if (!table.trailer.empty()) {
        // Ignored bytes are rarely text: shown as hex.
        out += "\ntrailer <";
        for (size_t i = 0; i < table.trailer.size(); i++) {
            snprintf(buf, sizeof(buf), i ? " %02X" : "%02X", (unsigned char)table.trailer[i]);
            out += buf;
        }
        out += ">\n";
    }
    return out;
}

}  // namespace lt
