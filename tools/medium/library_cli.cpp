// The `medium library` command: read, check, write through a temporary file.
#include "tools/medium/library_cli.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <utility>

#include "tools/lib/defines.h"
#include "tools/lib/fileio.h"
#include "tools/lib/folders.h"
#include "tools/medium/cli.h"
#include "tools/medium/library.h"
#include "tools/lib/library_encode.h"
#include "tools/lib/pe_image.h"

namespace medium {

namespace {

const char kLibraryUsage[] =
    "usage: medium library DESCRIPTION -o _SETUP.DLL [--define NAME=VALUE]...\n"
    "Builds the resource library _SETUP.DLL from a text description: languages, their texts\n"
    "(UTF-8), the language table and a splash per language (man medium; the description's\n"
    "statements: medium-library.md in /usr/share/doc/corvane-medium/). With --define, ${NAME}\n"
    "in the description is VALUE ($${ is the characters ${).\n"
    "Exit codes: 0 written; 1 the description, or a file it names, is wrong or unreadable;\n"
    "3 the output could not be written (the old file stays); 64 wrong command line.\n";

// The description and the files it names (bitmaps, logo scripts).
bool ReadFile(const std::string &path, std::vector<uint8_t> *data, std::string *why)
{
    return ReadWholeFile(path, kBmpMaxFile, "64 MB", data, why);
}

}  // namespace

void LibraryHelp(FILE *out) { fputs(kLibraryUsage, out); }

int LibraryCommand(int argc, char **argv)
{
    return RunLibraryCommand(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}

int RunLibraryCommand(const std::vector<std::string> &args, FILE *out, FILE *err, const Defines *given)
{
    std::string input, output;
    Defines defines = given ? *given : Defines();
    bool expand = given != nullptr;
    for (size_t i = 0; i < args.size(); i++) {
        const std::string &a = args[i];
        if (a == "-h" || a == "--help") {
            fputs(kLibraryUsage, out);
            return kExitOk;
        }
        if (a == "-o" || a == "--output") {
            if (i + 1 >= args.size() || !output.empty()) {
                fprintf(err, "medium library: -o takes one output file\n%s", kLibraryUsage);
                return kExitUsage;
            }
            output = args[++i];
            continue;
        }
        if (a == "--define" || a.rfind("--define=", 0) == 0) {
            std::string text;
            if (a != "--define")
                text = a.substr(9);
            else if (i + 1 < args.size())
                text = args[++i];
            else {
                fprintf(err, "medium library: --define takes NAME=VALUE\n%s", kLibraryUsage);
                return kExitUsage;
            }
            std::pair<std::string, std::string> d;
            std::string why;
            if (!ParseDefine(text, &d, &why)) {
                fprintf(err, "medium library: --define %s\n", why.c_str());
                return kExitUsage;
            }
            // A later --define of the same name wins, as on a compiler's command line.
            bool replaced = false;
            for (auto &have : defines)
                if (have.first == d.first) {
                    have.second = d.second;
                    replaced = true;
                }
            if (!replaced)
                defines.push_back(d);
            expand = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            fprintf(err, "medium library: unknown option %s\n%s", a.c_str(), kLibraryUsage);
            return kExitUsage;
        }
        if (!input.empty()) {
            fprintf(err, "medium library: one description only (%s, then %s)\n%s", input.c_str(), a.c_str(),
                    kLibraryUsage);
            return kExitUsage;
        }
        input = a;
    }
    if (input.empty() || output.empty()) {
        fprintf(err, "medium library: %s\n%s", input.empty() ? "no description given" : "no output given (-o FILE)",
                kLibraryUsage);
        return kExitUsage;
    }

    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadFile(input, &bytes, &why)) {
        fprintf(err, "%s: cannot read the description (%s); check the path\n", input.c_str(), why.c_str());
        return kExitInput;
    }
    std::vector<std::string> errors;
    LibDescription desc;
    const size_t slash = input.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : input.substr(0, slash + 1);
    ResList res;
    int code = kLibInvalid;
    std::string text(bytes.begin(), bytes.end());
    if (expand) {
        std::string expanded;
        const char *remedy = given ? "define it in the project's [define] table" : "give it with --define NAME=VALUE";
        if (!ExpandDefinesInLines(input, text, defines, remedy, &expanded, &why)) {
            fprintf(err, "%s\nmedium library: nothing written\n", why.c_str());
            return kExitInput;
        }
        text = std::move(expanded);
    }
    if (ParseLibraryDescription(input, text, &desc, &errors))
        code = BuildLibraryResources(input, folder, desc, ReadFile, &res, &errors);
    for (const std::string &e : errors)
        fprintf(err, "%s\n", e.c_str());
    if (code != kLibOk) {
        fprintf(err, "medium library: nothing written\n");
        return kExitInput;
    }

    std::vector<uint8_t> image;
    if (!WriteResourceDll(res, &image, &why)) {
        fprintf(err, "%s: %s\nmedium library: nothing written\n", output.c_str(), why.c_str());
        return kExitInput;
    }
    // The output's folder is made as `medium build` makes its --out; a
    // failed write takes it away again.
    std::vector<std::string> made;
    if (!tk::MakeParentFolders(output, &made, &why)) {
        fprintf(err, "%s: cannot create its folder (%s)\nmedium library: nothing written\n", output.c_str(),
                why.c_str());
        return kExitIo;
    }
    if (!tk::WriteFileAtomic(output, image, &why)) {
        for (size_t i = made.size(); i-- > 0;)
            rmdir(made[i].c_str());
        fprintf(err, "%s\n", why.c_str());
        return kExitIo;
    }

    std::string names;
    for (const LibLanguage &l : desc.languages)
        names += (names.empty() ? "" : ", ") + l.name;
    const char *splash = "no splash";
    for (const LibLanguage &l : desc.languages)
        if (l.splash != LibSplash::None)
            splash = l.splash == LibSplash::Bitmap ? "bitmap splash" : "text splash";
    fprintf(out, "%s: %zu language%s (%s), %zu text%s each, %s; %zu resources, %zu bytes\n", output.c_str(),
            desc.languages.size(), desc.languages.size() == 1 ? "" : "s", names.c_str(),
            desc.languages[0].texts.size(), desc.languages[0].texts.size() == 1 ? "" : "s", splash, res.size(),
            image.size());
    return kExitOk;
}

}  // namespace medium
