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

#include "tools/lib/exitcodes.h"
#include "tools/lib/librarycheck.h"
#include "tools/lib/report.h"
#include "tools/medium/imagecheck.h"

namespace medium {

// The medium tool is built on the toolkit's model of images and resources.
using namespace tk;

struct Inspection {
    std::string path;
    std::string kind;        // "launcher", "library", "medium"
    ReportNode facts;        // an object
    std::vector<Finding> findings;
};

// Whole files: read, recognised and checked. A directory is a medium folder.
// `opt` says how far to check signatures.
void InspectPath(const std::string &path, Inspection *out, const ImageCheckOptions &opt = ImageCheckOptions());
void InspectLibraryImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                         LibraryView *view, const ImageCheckOptions &opt = ImageCheckOptions());
void InspectLauncherImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                          const std::string *countOverride, const ImageCheckOptions &opt = ImageCheckOptions());

// Exit status of inspect: 0 clean, 1 warnings only, 2 errors.
enum {
    kInspectClean = 0,
    kInspectWarnings = 1,
    kInspectErrors = 2,
    kInspectUsage = tk::kExitUsage,   // the command line is wrong (64, as in every command)
};
int InspectStatus(const std::vector<Finding> &findings);

void PrintInspection(FILE *out, const Inspection &in);
void PrintInspectionJson(FILE *out, const Inspection &in);

// `medium inspect [--json] PATH`: argv[0] is "inspect".
int InspectCommand(int argc, char **argv);
void InspectHelp(FILE *out);

}  // namespace medium
