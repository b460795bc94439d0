// The resource module of the launcher (corvane_win), run in a test program.
#include "tests/e2e/library_info.h"

#include "base/ids.h"
#include "resmodule/langtable.h"
#include "resmodule/resmodule.h"

namespace libinfo {

namespace {

enum { kCaptionChars = 80, kTextChars = 244 };

bool FileExists(const std::string &path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Load(HMODULE module, UINT id, int cap) {
    char text[kTextChars] = "";
    const int n = LoadStringA(module, id, text, cap);
    return n > 0 ? std::string(text, size_t(n)) : std::string();
}

std::string Redirected(UINT id, int cap) {
    return Load(ResRedirectModule(RES_KIND_STRING, int(id)), UINT(ResRedirectId(RES_KIND_STRING, int(id))), cap);
}

}  // namespace

LibraryInfo Inspect(const std::string &libraryPath) {
    LibraryInfo info;
    info.lcid = GetUserDefaultLCID();
    info.present = FileExists(libraryPath);
    ResModuleClose();
    ResLastError = 0;
    info.opened = ResModuleOpen(GetModuleHandleA(nullptr), 1, libraryPath.c_str(), "") == 1;
    info.lastError = ResLastError;
    const LangTable *table = ResModuleLanguageTable();
    if (info.opened && table != nullptr) {
        info.indexed = true;
        info.languages = table->languageCount;
        const int current = table->currentLanguage;
        if (current >= 0 && current < table->languageCount)
            info.language = table->languageNames[current];
        const std::string lcid = std::to_string(long(info.lcid));
        char listed[kLangNameBuffer] = "";
        if (LangTableMatchLcid(table, lcid.c_str(), listed, sizeof listed) && info.language == listed)
            info.why = std::string("the user's locale ") + lcid + " is listed";
        else if (current == table->defaultLanguage)
            info.why = std::string("the default: no language lists the user's locale ") + lcid;
        else
            info.why = std::string("the first language: no language lists the user's locale ") + lcid +
                       " and there is no default";
    }
    ResModuleClose();
    return info;
}

std::string Describe(const LibraryInfo &info) {
    if (!info.present)
        return "missing: the launcher uses its own resources";
    if (!info.opened) {
        if (info.lastError != 0)
            return "not opened (its language table failed to load, code " + std::to_string(info.lastError) +
                   "): the launcher uses its own resources";
        return "not opened (not a loadable library): the launcher uses its own resources";
    }
    if (!info.indexed)
        return "probed (no language table): strings the library holds replace the launcher's";
    return "indexed, " + std::to_string(info.languages) + " languages: " + info.language + " (" + info.why + ")";
}

BoxStrings ErrorBoxStrings(const std::string &launcherPath, const std::string &libraryPath, UINT id) {
    BoxStrings out;
    HMODULE own = LoadLibraryExA(launcherPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (own == nullptr)
        return out;
    out.ok = true;
    ResModuleClose();
    // A missing or unloadable library fails the open, which still makes the
    // launcher the module that answers.
    ResModuleOpen(own, 1, libraryPath.c_str(), "");
    out.caption = Redirected(IDS_CAPTION_REDIRECTED, kCaptionChars);
    if (!out.caption.empty()) {
        out.text = Redirected(id, kTextChars);
    } else {
        out.caption = Load(own, IDS_CAPTION_OWN, kCaptionChars);
        out.text = Load(own, id, kTextChars);
    }
    ResModuleClose();
    // Later lookups must not answer with a module that is gone.
    ResModuleOpen(GetModuleHandleA(nullptr), 1, "", "");
    FreeLibrary(own);
    return out;
}

}  // namespace libinfo
