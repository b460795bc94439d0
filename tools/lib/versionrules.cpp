#include "tools/lib/versionrules.h"

#include "tools/lib/suggest.h"

namespace tk {

const char kVersionNumberRule[] =
    "a version is a.b.c.d: one to four whole numbers from 0 to 65535 separated by dots (missing parts are 0), "
    "then if you like a blank and a display text (3.1 beta)";

const std::vector<std::string> &StandardVersionKeys()
{
    static const std::vector<std::string> keys = {
        "Comments",         "CompanyName",      "FileDescription", "FileVersion",
        "InternalName",     "LegalCopyright",   "LegalTrademarks", "OriginalFilename",
        "PrivateBuild",     "ProductName",      "ProductVersion",  "SpecialBuild",
    };
    return keys;
}

const std::vector<std::string> &VersionKeysToSet()
{
    static const std::vector<std::string> keys = {
        "CompanyName", "FileDescription", "FileVersion", "LegalCopyright", "ProductName", "ProductVersion",
    };
    return keys;
}

int ScanVersionParts(const std::string &text, bool lenient, uint32_t parts[4], size_t *end)
{
    auto isDigit = [&](size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
    auto skipSpaces = [&](size_t at) {
        while (lenient && at < text.size() && text[at] == ' ')
            at++;
        return at;
    };
    int count = 0;
    size_t pos = skipSpaces(0);
    *end = 0;
    while (count < 4 && isDigit(pos)) {
        uint32_t value = 0;
        while (isDigit(pos)) {
            value = value * 10 + (uint32_t)(text[pos] - '0');
            if (value > 0xFFFF)
                return 0;
            pos++;
        }
        parts[count++] = value;
        *end = pos;
        // A join counts only when a number follows it.
        size_t join = skipSpaces(pos);
        if (join >= text.size() || !(text[join] == '.' || (lenient && text[join] == ',')))
            break;
        pos = skipSpaces(join + 1);
    }
    return count;
}

bool ParseVersionNumber(const std::string &key, const std::string &text, uint16_t parts[4], std::string *error)
{
    uint32_t read[4] = {0, 0, 0, 0};
    size_t end = 0;
    // A display version may follow the number after a blank ("3.1 beta"):
    // the number is the fixed version, the whole text the string.
    bool ok = ScanVersionParts(text, false, read, &end) > 0;
    if (ok && end < text.size())
        ok = text[end] == ' ' && text.find_first_not_of(' ', end) != std::string::npos;
    for (int i = 0; i < 4; i++)
        parts[i] = ok ? (uint16_t)read[i] : 0;
    if (!ok)
        *error = key + " '" + text + "' is not a version number: " + kVersionNumberRule;
    return ok;
}

bool PlanVersionInfo(const std::vector<std::pair<std::string, std::string>> &given, VersionPlan *plan,
                     std::vector<std::string> *errors)
{
    const size_t errorsBefore = errors->size();
    const std::vector<std::string> &standard = StandardVersionKeys();
    std::vector<std::string> warnedUnknown;
    for (const auto &kv : given) {
        const std::string &key = kv.first;
        if (key.empty()) {
            errors->push_back("a version key is empty; give KEY=VALUE, for example ProductName=Example");
            continue;
        }
        uint16_t parts[4];
        std::string why;
        if (key == "FileVersion" || key == "ProductVersion") {
            if (!ParseVersionNumber(key, kv.second, parts, &why)) {
                errors->push_back(why);
                continue;
            }
            const uint32_t ms = (uint32_t)parts[0] << 16 | parts[1];
            const uint32_t ls = (uint32_t)parts[2] << 16 | parts[3];
            if (key == "FileVersion") {
                plan->fixed.fileMs = ms;
                plan->fixed.fileLs = ls;
                plan->fileVersionSet = true;
            } else {
                plan->fixed.productMs = ms;
                plan->fixed.productLs = ls;
                plan->productVersionSet = true;
            }
        }
        bool isStandard = false;
        for (const std::string &s : standard)
            isStandard = isStandard || s == key;
        bool warned = false;
        for (const std::string &w : warnedUnknown)
            warned = warned || w == key;
        if (!isStandard && !warned) {
            warnedUnknown.push_back(key);
            const std::string closest = ClosestName(key, standard);
            plan->warnings.push_back(
                "version key '" + key + "' is not one Windows shows" +
                (closest.empty() ? std::string("; the standard keys are Comments, CompanyName, FileDescription, "
                                               "FileVersion, InternalName, LegalCopyright, LegalTrademarks, "
                                               "OriginalFilename, PrivateBuild, ProductName, ProductVersion, "
                                               "SpecialBuild")
                                 : "; did you mean '" + closest + "'?"));
        }
        bool replaced = false;
        for (auto &have : plan->strings) {
            if (have.first == key) {
                have.second = kv.second;
                replaced = true;
            }
        }
        if (!replaced)
            plan->strings.push_back(kv);
    }
    std::string missing;
    for (const std::string &k : VersionKeysToSet()) {
        bool set = false;
        for (const auto &have : plan->strings)
            set = set || have.first == k;
        if (!set)
            missing += (missing.empty() ? "" : ", ") + k;
    }
    if (!missing.empty())
        plan->warnings.push_back("version information: " + missing +
                                 " not set; setup.exe shows neutral values there until you set them "
                                 "(--version-info KEY=VALUE, or [version-info] in the project file)");
    return errors->size() == errorsBefore;
}

}  // namespace tk
