// The rules for a medium's version information, checked before anything is
// written: which string keys Windows knows, and what a version number is.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

namespace tk {

// The string keys of a version resource that Windows' file properties and
// installers read, in the order a resource compiler writes them.
const std::vector<std::string> &StandardVersionKeys();

// The keys a medium should set itself: without them its setup.exe names no
// vendor or product.
const std::vector<std::string> &VersionKeysToSet();

// The rule, as shown in errors.
extern const char kVersionNumberRule[];

// The version numbers at the start of `text`: up to four decimal numbers of
// 0 to 65535 joined by dots, or with `lenient` also by commas, with spaces
// around the joins and before the first ("1, 2, 3, 4", "1.2.3 beta"), as
// version strings in files are often written. Returns how many were read
// (0 when there is none, or a number above 65535) and sets `*end` just past
// the last one read.
int ScanVersionParts(const std::string &text, bool lenient, uint32_t parts[4], size_t *end);

// "a.b.c.d": one to four decimal numbers, each 0..65535, separated by dots;
// missing parts are 0 ("4.2" is 4.2.0.0), and may be followed by a blank and
// a display text ("3.1 beta" is 3.1.0.0). False, with `error` naming the key,
// the text and the rule, for anything else ("beta 3.1", "4.2.0.x",
// "4.2.0.70000", "", "1..2", "+1").
bool ParseVersionNumber(const std::string &key, const std::string &text, uint16_t parts[4], std::string *error);

// The fixed part of a version resource: the file and product versions as
// two 32-bit halves each (most significant first), as VS_FIXEDFILEINFO
// holds them.
struct FixedVersion {
    uint32_t fileMs = 0, fileLs = 0;
    uint32_t productMs = 0, productLs = 0;
};

// What a build's version settings come to, before any byte is written.
struct VersionPlan {
    // Every key to set, in the order given; a later value of the same key
    // replaces the earlier one (command-line flags after a project's keys).
    std::vector<std::pair<std::string, std::string>> strings;
    bool fileVersionSet = false;     // then fixed.file* follow FileVersion
    bool productVersionSet = false;  // then fixed.product* follow ProductVersion
    FixedVersion fixed;
    std::vector<std::string> warnings;
};

// Checks `given` (KEY=VALUE pairs in order): FileVersion and ProductVersion
// must follow the number rule (an error otherwise); a key outside the
// standard set is kept with a warning naming the closest standard key; a
// standard key that a medium should set and `given` leaves out gets one
// warning listing them all. An empty key is an error.
bool PlanVersionInfo(const std::vector<std::pair<std::string, std::string>> &given, VersionPlan *plan,
                     std::vector<std::string> *errors);

}  // namespace tk
