// langtable: compile, dump and check language tables of resource libraries.
#include "tools/langtable/ltcli.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "base/platform.h"
#include "resmodule/langtable.h"
#include "tools/lib/fileio.h"
#include "tools/lib/librarycheck.h"
#include "tools/lib/ltdesc.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/report.h"
#include "tools/lib/textcodec.h"

namespace lt {

namespace {

#ifndef CORVANE_VERSION_TEXT
#define CORVANE_VERSION_TEXT "0"
#endif

// `text` (UTF-8) padded with spaces to `columns` terminal columns: one per
// character, two for the wide East Asian ones, so names in any script line up.
std::string PadColumns(const std::string &text, size_t columns)
{
    size_t used = 0;
    for (char16_t c : tk::Utf8ToUtf16(text)) {
        if (c >= 0xDC00 && c <= 0xDFFF)
            continue;   // the second half of a pair was counted with the first
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6);
        used += wide ? 2 : 1;
    }
    return used >= columns ? text : text + std::string(columns - used, ' ');
}

const char kUsage[] =
    "usage: langtable [--codepage CP] compile IN.txt OUT.bin\n"
    "       langtable [--codepage CP] dump IN.bin|_SETUP.DLL [OUT.txt]\n"
    "       langtable [--codepage CP] check IN.bin|_SETUP.DLL [--lcid N]\n"
    "       langtable --help | --version\n"
    "compile: text description -> table resource (type 1001, name 100); on success\n"
    "         one line with the languages, entries, bytes and time\n"
    "dump:    table resource -> text description (to OUT.txt or standard output)\n"
    "check:   read the table with the launcher's own parser and report on it (given a\n"
    "         library, the table inside it, then its references to the library's resources);\n"
    "         --lcid N shows the language chosen for the locale id N\n"
    "exit codes: 0 ok, 1 invalid description or refused table, 3 file error, 64 usage\n";

// Arguments each command takes after its name (min, max).
struct CommandShape {
    const char *name;
    size_t least, most;
    const char *takes;
};
const CommandShape kCommands[] = {
    {"compile", 2, 2, "IN.txt OUT.bin"},
    {"dump", 1, 2, "IN.bin|_SETUP.DLL [OUT.txt]"},
    {"check", 1, 1, "IN.bin [--lcid N]"},
};

double MillisecondsSince(const struct timespec &start)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double)(now.tv_sec - start.tv_sec) * 1e3 + (double)(now.tv_nsec - start.tv_nsec) / 1e6;
}

// Tables are small; a library holds one among other resources.
constexpr uint64_t kMaxInputBytes = 0xFFFFFFFFull;

bool ReadFile(const std::string &path, std::string *data, std::string *error)
{
    std::string why;
    if (tk::ReadWholeFile(path, kMaxInputBytes, "4 GiB", data, &why))
        return true;
    *error = path + ": cannot read: " + why;
    return false;
}

struct TableCloser {
    void operator()(LangTable *t) const { LangTableClose(t); }
};
using TablePtr = std::unique_ptr<LangTable, TableCloser>;

// Runs the launcher's parser over an exact-size copy of the bytes, as the
// launcher loads with flags 8. On failure *code is the parser's code (0 when
// the failure has no code).
TablePtr LauncherParse(const std::string &bytes, const std::string &path, int *ok, int *code)
{
    TablePtr table(LangTableCreate(path.size() < kPathBuffer ? path.c_str() : "", LANG_LOAD_LIBRARY));
    *ok = 0;
    *code = 0;
    if (!table)
        return table;
    std::vector<unsigned char> copy(bytes.begin(), bytes.end());
    const int result = LangTableParse(table.get(), copy.data(), (uint32_t)copy.size());
    *ok = result == LANG_PARSED;
    *code = result < 0 ? result : 0;
    return table;
}

std::string RefusalText(int code, uint32_t offset)
{
    char buf[64];
    snprintf(buf, sizeof(buf), " (stopped at byte %u)", (unsigned)offset);
    if (code == 0)
        return std::string("failed without a code: ") + ErrorText(0) + buf;
    return "error " + std::to_string(code) + ": " + ErrorText(code) + buf;
}

int Compile(const std::string &in, const std::string &outPath, FILE *out, FILE *err)
{
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::string text, error;
    if (!ReadFile(in, &text, &error)) {
        fprintf(err, "langtable: %s\n", error.c_str());
        return kExitIo;
    }
    Table table;
    std::vector<std::string> errors, warnings;
    if (!ParseDescription(text, &table, &errors, &warnings)) {
        for (const std::string &e : errors)
            fprintf(err, "%s: %s\n", in.c_str(), e.c_str());
        fprintf(err, "langtable: %s not written\n", outPath.c_str());
        return kExitInvalid;
    }
    for (const std::string &w : warnings)
        fprintf(err, "%s: warning: %s\n", in.c_str(), w.c_str());
    std::vector<uint8_t> bytes = Encode(table);
    std::string data(bytes.begin(), bytes.end());
    // What the launcher will make of it: the description checks should have
    // caught everything, so a refusal here is the tool's own fault.
    int ok, code;
    TablePtr parsed = LauncherParse(data, in, &ok, &code);
    if (!ok) {
        fprintf(err, "langtable: internal error: the launcher would refuse the result: %s\n",
                RefusalText(code, parsed ? parsed->failOffset : 0).c_str());
        return kExitInvalid;
    }
    if (!tk::WriteFileAtomic(outPath, data, &error)) {
        fprintf(err, "langtable: %s\n", error.c_str());
        return kExitIo;
    }
    fprintf(out, "langtable: compiled %zu language%s, %zu entr%s, %zu bytes into %s in %.1f ms\n",
            table.languages.size(), table.languages.size() == 1 ? "" : "s", table.entries.size(),
            table.entries.size() == 1 ? "y" : "ies", data.size(), outPath.c_str(), MillisecondsSince(start));
    return kExitOk;
}

// A library (an image: "MZ") gives the table inside it, in place of its
// bytes. False with `why` when its resources cannot be read or it holds no
// table; `library` says whether it was one.
bool TableOfLibrary(const std::string &in, std::string *bytes, bool *library, std::string *why)
{
    *library = bytes->size() >= 2 && (*bytes)[0] == 'M' && (*bytes)[1] == 'Z';
    if (!*library)
        return true;
    tk::ResList res;
    std::string error;
    if (!tk::ReadResources((const uint8_t *)bytes->data(), bytes->size(), &res, &error)) {
        *why = in + ", a library whose resources cannot be read: " + error;
        return false;
    }
    const tk::ResEntry *entry = tk::ResFind(res, RT_LANG_TABLE, RES_LANG_TABLE_NAME);
    if (!entry) {
        *why = in + ": a library without a language table (type 1001, name 100)";
        return false;
    }
    bytes->assign(entry->data.begin(), entry->data.end());
    return true;
}

int Dump(const std::string &in, const std::string &outPath, FILE *out, FILE *err)
{
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::string bytes, error;
    if (!ReadFile(in, &bytes, &error)) {
        fprintf(err, "langtable: %s\n", error.c_str());
        return kExitIo;
    }
    bool library = false;
    if (!TableOfLibrary(in, &bytes, &library, &error)) {
        fprintf(err, "langtable: %s; a probing library has none (medium inspect checks it)\n", error.c_str());
        return kExitInvalid;
    }
    int ok, code;
    TablePtr parsed = LauncherParse(bytes, in, &ok, &code);
    if (!ok) {
        fprintf(err, "%s: the launcher refuses this table: %s\n", in.c_str(),
                RefusalText(code, parsed ? parsed->failOffset : 0).c_str());
        return kExitInvalid;
    }
    Table table;
    if (!Decode((const uint8_t *)bytes.data(), bytes.size(), &table, &error)) {
        fprintf(err, "langtable: internal error: %s: %s\n", in.c_str(), error.c_str());
        return kExitInvalid;
    }
    std::string text = FormatDescription(table);
    if (outPath.empty()) {
        fwrite(text.data(), 1, text.size(), out);
        return ferror(out) ? kExitIo : kExitOk;
    }
    if (!tk::WriteFileAtomic(outPath, text, &error)) {
        fprintf(err, "langtable: %s\n", error.c_str());
        return kExitIo;
    }
    // (Dumped to standard output, the description is the output.)
    fprintf(out, "langtable: dumped %zu language%s, %zu entr%s from %s (%zu bytes) into %s in %.1f ms\n",
            table.languages.size(), table.languages.size() == 1 ? "" : "s", table.entries.size(),
            table.entries.size() == 1 ? "y" : "ies", in.c_str(), bytes.size(), outPath.c_str(),
            MillisecondsSince(start));
    return kExitOk;
}

bool ParseLcid(const char *text, long *value)
{
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(text, &end, 0);
    if (errno != 0 || end == text || *end != '\0' || v < -2147483648LL || v > 4294967295LL)
        return false;
    // The launcher formats GetUserDefaultLCID with "%ld": signed 32 bits.
    *value = (long)(int32_t)(uint32_t)(v & 0xFFFFFFFFLL);
    return true;
}

int Check(const std::string &in, bool haveLcid, long lcid, FILE *out, FILE *err)
{
    std::string bytes, error;
    if (!ReadFile(in, &bytes, &error)) {
        fprintf(err, "langtable: %s\n", error.c_str());
        return kExitIo;
    }
    // A library: the table inside it, and afterwards its references.
    bool library = false;
    const std::string image = bytes;
    if (!TableOfLibrary(in, &bytes, &library, &error)) {
        fprintf(out, "file        %s\n", error.c_str());
        if (error.find("without a language table") != std::string::npos)
            fprintf(out, "result      no table: the library is a probing one; medium inspect checks it\n");
        return kExitInvalid;
    }
    if (library)
        fprintf(out, "library     %s, table of %zu bytes\n", in.c_str(), bytes.size());
    int ok, code;
    TablePtr t = LauncherParse(bytes, in, &ok, &code);
    if (!t) {
        fprintf(err, "langtable: out of memory\n");
        return kExitIo;
    }
    fprintf(out, "file        %s, %zu bytes\n", in.c_str(), bytes.size());
    if (!ok) {
        fprintf(out, "result      refused: %s\n", RefusalText(code, t->failOffset).c_str());
        if (t->languageCount > 0)
            fprintf(out, "            languages read before that: %d\n", t->languageCount);
        return kExitInvalid;
    }
    Table table;
    if (!Decode((const uint8_t *)bytes.data(), bytes.size(), &table, &error)) {
        fprintf(err, "langtable: internal error: %s: %s\n", in.c_str(), error.c_str());
        return kExitInvalid;
    }
    fprintf(out, "version     0x%03X\n", table.version);
    fprintf(out, "splash type %d\n", t->splashType);
    fprintf(out, "languages   %d\n", t->languageCount);
    // Names are shown in UTF-8, each read in its own language's code page.
    std::vector<std::string> names;
    for (int i = 0; i < t->languageCount; i++)
        names.push_back(tk::LanguageNameText(t->languageNames[i], t->lcidLists[i]));
    std::string eligible;
    for (int i = 0; i < t->languageCount; i++) {
        bool yes = (t->languageFlags[i] & LANG_FLAG_ELIGIBLE) != 0;
        fprintf(out, "  %2d  %s flags %-3d %-13s LCIDs %s\n", i, PadColumns(names[(size_t)i], 20).c_str(),
                t->languageFlags[i],
                yes ? "eligible" : "not eligible", t->lcidLists[i][0] ? t->lcidLists[i] : "(none)");
        if (yes)
            eligible += (eligible.empty() ? "" : ", ") + names[(size_t)i];
    }
    fprintf(out, "eligible    %s\n", eligible.empty() ? "(none)" : eligible.c_str());
    if (t->defaultLanguage >= 0)
        fprintf(out, "default     %d %s\n", t->defaultLanguage, names[(size_t)t->defaultLanguage].c_str());
    else
        fprintf(out, "default     (none)\n");
    fprintf(out, "entries     %u (longest chain %u of %u)\n", (unsigned)t->entries->itemCount,
            (unsigned)KeyedTableLongestChain(t->entries), (unsigned)t->entries->bucketCount);

    if (haveLcid) {
        // The resource module's choice: the first eligible language whose
        // LCID list holds the locale id, else the default language, else the
        // first language.
        char lcidText[16];
        snprintf(lcidText, sizeof(lcidText), "%ld", lcid);
        char name[kLangNameBuffer];
        std::string how;
        LangTableMatchLcid(t.get(), lcidText, name, sizeof(name));
        if (LangTableSelect(t.get(), name)) {
            how = "its LCID list holds " + std::string(lcidText);
        } else {
            LangTableDefaultName(t.get(), name, sizeof(name));
            if (LangTableSelect(t.get(), name))
                how = "no eligible language lists " + std::string(lcidText) + "; the default language";
            else
                how = "no match and no default language; the first language";
        }
        if (t->languageCount == 0)
            fprintf(out, "locale %-5s no languages: every lookup finds nothing\n", lcidText);
        else
            fprintf(out, "locale %-5s %s (index %d): %s\n", lcidText, names[(size_t)t->currentLanguage].c_str(),
                    t->currentLanguage, how.c_str());
    }
    for (const std::string &w : Lint(table))
        fprintf(out, "note        %s\n", w.c_str());
    if (library) {
        // The table's references against the library, as medium inspect
        // checks them.
        tk::ReportNode facts;
        std::vector<tk::Finding> findings;
        tk::LibraryView view;
        tk::ResList res;
        if (!tk::ReadResources((const uint8_t *)image.data(), image.size(), &res, &error)) {
            fprintf(err, "langtable: internal error: %s: %s\n", in.c_str(), error.c_str());
            return kExitInvalid;
        }
        tk::InspectLibraryResources(res, nullptr, in, &facts, &findings, &view);
        int errors = 0;
        for (const tk::Finding &f : findings) {
            fprintf(out, "%s\n", tk::FindingLine(f).c_str());
            errors += f.severity == tk::Severity::Error;
        }
        if (errors) {
            fprintf(out, "result      %d error%s in the table's references\n", errors, errors == 1 ? "" : "s");
            return kExitInvalid;
        }
    }
    fprintf(out, "result      ok\n");
    return kExitOk;
}

}  // namespace

const char *ErrorText(int code)
{
    switch (code) {
    case LANG_ERR_NO_MEMORY_ENTRY:
        return "no memory for an entry or its value slots";
    case LANG_ERR_DUPLICATE_KEY:
        return "two entries have the same key (name and kind), or no memory for a key";
    case LANG_ERR_BAD_MAGIC:
        return "not a language table: the magic number is not 0xA723F8CB";
    case LANG_ERR_TOO_MANY_LANGUAGES:
        return "more than 30 languages";
    case LANG_ERR_WRITE_SPLASH:
        return "the splash resource could not be written to its file";
    case LANG_ERR_BAD_VERSION:
        return "format version above 0x201";
    case LANG_ERR_TRUNCATED:
        return "the resource ends before its counts say";
    case LANG_ERR_KEY_TOO_LONG:
        return "an entry's key (name, colon, kind) is longer than 255 characters";
    case 0:
        return "out of memory for a name or value text";
    default:
        return "unknown code";
    }
}

int ToolMain(int argc, char **argv, FILE *out, FILE *err)
{
    std::vector<std::string> args;
    bool haveLcid = false;
    long lcid = 0;
    int codePage = 1252;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--codepage" || a == "--lcid") {
            if (i + 1 >= argc) {
                fprintf(err, "langtable: %s wants a value\n%s", a.c_str(), kUsage);
                return kExitUsage;
            }
            const char *value = argv[++i];
            if (a == "--codepage") {
                char *end = nullptr;
                const unsigned long cp = strtoul(value, &end, 10);
                if (*value == 0 || *end != 0 || !tk::CodePageSupported((uint32_t)cp)) {
                    fprintf(err, "langtable: --codepage is a Windows ANSI code page: 874, 932, 936, 949, 950 or "
                                 "1250-1258\n");
                    return kExitUsage;
                }
                codePage = (int)cp;
            } else {
                if (!ParseLcid(value, &lcid)) {
                    fprintf(err, "langtable: --lcid wants a locale id, such as 1033 or 0x409\n");
                    return kExitUsage;
                }
                haveLcid = true;
            }
        } else if (a == "-h" || a == "--help" || a == "help") {
            fputs(kUsage, out);
            return kExitOk;
        } else if (a == "--version") {
            fprintf(out, "langtable %s\n", CORVANE_VERSION_TEXT);
            return kExitOk;
        } else if (a.size() > 1 && a[0] == '-') {
            fprintf(err, "langtable: unknown option '%s' (try langtable --help)\n", a.c_str());
            return kExitUsage;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        fputs(kUsage, err);
        return kExitUsage;
    }
    const std::string &cmd = args[0];
    const CommandShape *shape = nullptr;
    for (const CommandShape &c : kCommands) {
        if (cmd == c.name)
            shape = &c;
    }
    if (!shape) {
        fprintf(err, "langtable: unknown command '%s' (try langtable --help)\n", cmd.c_str());
        return kExitUsage;
    }
    if (args.size() - 1 < shape->least || args.size() - 1 > shape->most) {
        fprintf(err, "langtable: %s takes %s\n%s", shape->name, shape->takes, kUsage);
        return kExitUsage;
    }
    if (haveLcid && cmd != "check") {
        fprintf(err, "langtable: --lcid goes with check only\n");
        return kExitUsage;
    }
    // The item splitting of the launcher walks double-byte characters of
    // the code page; the tool reads names as the launcher will.
    tk::ParserCodePage parsing((uint32_t)codePage);
    int rc;
    if (cmd == "compile")
        rc = Compile(args[1], args[2], out, err);
    else if (cmd == "dump")
        rc = Dump(args[1], args.size() == 3 ? args[2] : std::string(), out, err);
    else
        rc = Check(args[1], haveLcid, lcid, out, err);
    return rc;
}

}  // namespace lt
