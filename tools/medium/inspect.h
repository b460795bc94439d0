// `medium inspect`: checks a medium before it ships. It reads a launcher
// (setup.exe), a resource library (_SETUP.DLL) or a medium folder as the
// launcher will, and reports what it holds and every problem a user would
// meet: payloads that do not expand whole, texts missing in a language or
// too long for the launcher's buffers, format texts with the wrong '%',
// splashes that name nothing or do not decode, code in the library.
//
// Every input is hostile: the images go through the bounded PE readers, the
// table through the launcher's own parser, pictures through BitmapCheck and
// logo scripts through the launcher's line parser.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "tools/medium/reslist.h"

namespace medium {

struct PeFacts;

enum class Severity { Note, Warning, Error };

// One problem: the file, the language and launcher id it concerns (empty and
// 0 when none), and "what is wrong; what to do".
struct Finding {
    Severity severity = Severity::Error;
    std::string file;
    std::string language;
    int id = 0;
    std::string text;
};

// The facts of a report: a value, or a list of named (object) or unnamed
// (array) items. Printed as indented lines, or as JSON.
struct ReportNode {
    std::string key;
    std::string value;
    bool number = false;
    bool isList = false;     // items are unnamed
    bool isObject = false;   // items are named
    std::vector<ReportNode> items;

    ReportNode &Text(const std::string &k, const std::string &v);
    ReportNode &Number(const std::string &k, uint64_t v);
    ReportNode &Flag(const std::string &k, bool v);
    ReportNode &Object(const std::string &k);   // k empty: an item of a list
    ReportNode &List(const std::string &k);
};

struct Inspection {
    std::string path;
    std::string kind;        // "launcher", "library", "medium"
    ReportNode facts;        // an object
    std::vector<Finding> findings;
};

// What one language of a library shows: its first box's caption and the
// splash, for the medium's summary.
struct LanguageView {
    std::string name;
    std::string lcids;
    std::string caption;     // UTF-8; empty: the launcher's own
    std::string splash;      // a phrase: "bitmap 7510 (400 x 240)", "none", ...
};

struct LibraryView {
    bool read = false;
    bool indexed = false;
    std::vector<LanguageView> languages;
    // The piece count strings that the library would supply (the launcher
    // then reads them from there); empty when it does not.
    std::string pieceCounts[3];
};

// Checks the resources of a library: the table (when there is one) against
// the resources it names, each message in each language, the splash each
// language gets. Facts go under `facts`, problems into `findings` (named
// `file`). `pe` may be null (no header checks, as for langtable check).
void InspectLibraryResources(const ResList &res, const PeFacts *pe, const std::string &file, ReportNode *facts,
                             std::vector<Finding> *findings, LibraryView *view);

// Whole files: read, recognised and checked. A directory is a medium folder.
void InspectPath(const std::string &path, Inspection *out);
void InspectLibraryImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                         LibraryView *view);
void InspectLauncherImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                          const std::string *countOverride);

// Exit status of inspect: 0 clean, 1 warnings only, 2 errors.
enum {
    kInspectClean = 0,
    kInspectWarnings = 1,
    kInspectErrors = 2,
    kInspectUsage = 64,   // the command line is wrong (sysexits' EX_USAGE)
};
int InspectStatus(const std::vector<Finding> &findings);

void PrintInspection(FILE *out, const Inspection &in);
void PrintInspectionJson(FILE *out, const Inspection &in);
std::string FindingLine(const Finding &f);

// `medium inspect [--json] PATH`: argv[0] is "inspect".
int InspectCommand(int argc, char **argv);
void InspectHelp(FILE *out);

}  // namespace medium
