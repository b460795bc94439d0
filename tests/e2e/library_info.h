// What the launcher makes of a medium's resource library, found with the
// launcher's own resource module in this process: whether it opens, whether
// it is probed or indexed, which language is chosen for this process's
// locale (the launcher's too, when both start under the same LC_ALL), and
// the caption and text of an error box as the launcher loads them. Used by
// the medium runner's report and by the end-to-end cases.
#pragma once

#include <windows.h>

#include <string>

namespace libinfo {

struct LibraryInfo {
    bool present = false;   // the file exists
    bool opened = false;    // ResModuleOpen succeeded
    bool indexed = false;   // through a language table
    int languages = 0;      // indexed: the table's language count
    std::string language;   // indexed: the chosen language's name
    std::string why;        // indexed: why that language
    LCID lcid = 0;          // the user's locale id in this process
    int lastError = 0;      // ResLastError of a failed open (0: none)
};

// Opens the library as the launcher does (ResModuleOpen with no secondary
// library), notes the outcome and closes it again.
LibraryInfo Inspect(const std::string &libraryPath);
// One line: "indexed, 3 languages: Deutsch (the user's locale 1031 is listed)".
std::string Describe(const LibraryInfo &info);

// Caption and text of the launcher's error box for message `id`, loaded as
// its error box loads them: through the redirection of the library (absent
// or unloadable: none), the launcher's own caption 7112 and text when the
// redirected caption 7110 is empty; cut to the launcher's 80 and 244
// characters. The text is not formatted. ok is false when the launcher
// cannot be read.
struct BoxStrings {
    bool ok = false;
    std::string caption;
    std::string text;
};
BoxStrings ErrorBoxStrings(const std::string &launcherPath, const std::string &libraryPath, UINT id);

}  // namespace libinfo
