// `medium new DIR`: a starter project: the project file, a library
// description with English texts, the template bootstrap and a README. It
// writes into an empty or new folder only, so nothing of the builder's is
// overwritten.
#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "tools/lib/fileio.h"
#include "tools/medium/cli.h"
#include "tools/medium/new_template.h"

namespace medium {

namespace {

const char kUsage[] =
    "usage: medium new DIR\n"
    "Writes a starter project into DIR (made when missing; it must be empty):\n"
    "  project.toml          what `medium build project.toml` builds: payloads, script,\n"
    "                        library, version information, signing\n"
    "  library.txt           the launcher's texts in English, built into _SETUP.DLL\n"
    "  bootstrap/template.c  the template bootstrap in C\n"
    "  README.md             the next steps\n"
    "Exit codes: 0 written; 1 DIR is not empty (or not a folder); 3 DIR cannot be\n"
    "written; 64 wrong command line.\n";

const char kProject[] = R"(# The medium's project: `medium build project.toml` makes medium/setup.exe,
# medium/SETUP.INS and medium/_SETUP.DLL, checks them as `medium inspect`
# does, and puts them in place only when they pass. Paths are relative to
# this file; options of `medium build` override these keys.

script = "SETUP.INS"              # your installation script (SETUP.INS or INSTALL.INS)
out = "medium"                    # the folder that receives the medium
# execution-level = "asInvoker"   # or highestAvailable (default: requireAdministrator)
# icon = "product.ico"            # the icon of setup.exe
# piece-size = 4194304            # payloads are compressed in pieces of this size

[payloads]
bootstrap = "payloads/bootstrap.exe"   # the program the launcher starts: see bootstrap/template.c
engine = "payloads/engine.exe"         # expanded beside it, never started by the launcher
companion = "payloads/companion.dat"   # expanded beside it too

[library]
description = "library.txt"       # built into _SETUP.DLL in the same step
# file = "_SETUP.DLL"             # or a library made before (then no description)

# Values written once: ${NAME} stands for them in [version-info] and in
# library.txt ($${ for the characters ${).
[define]
product = "Your Product"
version = "1.0.0.0"               # a.b.c.d, each part 0 to 65535 (missing parts are 0)
display-version = "1.0"           # what people read: the number, then any text ("1.0 beta")

# What Windows shows in setup.exe's properties. FileVersion and
# ProductVersion start with a version number; text after a blank is shown
# as it is.
[version-info]
CompanyName = "Your Company"
FileDescription = "${product} Setup"
FileVersion = "${version}"
LegalCopyright = "Copyright (C) Your Company"
ProductName = "${product}"
ProductVersion = "${display-version}"

# Signing: the command runs in this folder, without a shell, on the finished
# setup.exe ({in}) and writes the signed file ({out}), which then replaces it.
# Other {NAME}s are the keys below.
# [sign]
# command = "osslsigncode sign -pkcs12 {pfx} -readpass {passfile} -h sha256 -in {in} -out {out}"
# pfx = "signing/your.pfx"
# passfile = "signing/pass.txt"
# payloads = true               # sign the bootstrap, the engine and _SETUP.DLL too
)";

const char kLibrary[] = R"(# The resource library _SETUP.DLL: the launcher's texts, in English. Add a
# language with its own `language` block (see medium-library.md in
# /usr/share/doc/corvane-medium/), and a splash with `splash logo FILE` or
# `splash bitmap FILE`.

default English

language English
  lcid 1033, 2057, 3081, 4105        # US, UK, Australia, Canada
  codepage 1252
  7061 "The installation script could not be found:\n\n%s\n\n"
       "Make sure that all files of the installation medium are present, then run Setup again."
  7062 "Setup could not start the installation program. Close other programs, then run Setup again."
  7063 "Setup needs a folder on a drive with more than 500 KB free for its temporary files. "
       "Free some space, then run Setup again."
  7064 "Setup could not unpack the installation program. Run Setup again."
  7065 "Setup could not unpack the setup engine. Check that the drive has free space, then run Setup again."
  7066 "Setup could not unpack a support file. Check that the drive has free space, then run Setup again."
  7067 "A quoted argument on the command line has no closing quote:\n\n%s"
  7068 "The file _SETUP.DLL is missing. Copy all files of the installation medium, then run Setup again."
  7110 "${product} Setup"            # ${NAME}: a value of the project's [define]
  7111 1000              # the splash stays up at least 1 second
)";

const char kReadme[] = R"(# A medium project

1. Put your payloads into `payloads/`: `bootstrap.exe` (your setup program;
   `bootstrap/template.c` shows what it must do: build it with
   `i686-w64-mingw32-gcc -Os -s -mwindows -o payloads/bootstrap.exe bootstrap/template.c`),
   `engine.exe` and `companion.dat`; and your installation script as
   `SETUP.INS` beside this file.
2. Set your product's name and versions once, in `[define]` of
   `project.toml` (its `[version-info]` and `library.txt` use them as
   `${product}`, `${version}`, `${display-version}`), and your company in
   `[version-info]`; edit `library.txt` (the texts the launcher shows).
3. `medium build project.toml` makes `medium/`: copy its three files to the
   root of your medium.
4. To sign `setup.exe`, fill in `[sign]` in `project.toml`.

`man medium` lists every option; the walk-through and the library's
description are in `/usr/share/doc/corvane-medium/`.
)";

bool IsEmptyFolder(const std::string &dir)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    bool empty = true;
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            empty = false;
    }
    closedir(d);
    return empty;
}

}  // namespace

void NewHelp(FILE *out) { fputs(kUsage, out); }

int NewCommand(int argc, char **argv)
{
    std::string dir;
    for (int i = 1; i < argc; i++) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            fputs(kUsage, stdout);
            return kExitOk;
        }
        if (!a.empty() && a[0] == '-') {
            fprintf(stderr, "medium new: unknown option %s\n%s", a.c_str(), kUsage);
            return kExitUsage;
        }
        if (!dir.empty()) {
            fprintf(stderr, "medium new: one folder only (%s, then %s)\n", dir.c_str(), a.c_str());
            return kExitUsage;
        }
        dir = a;
    }
    if (dir.empty()) {
        fprintf(stderr, "medium new: no folder given\n%s", kUsage);
        return kExitUsage;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode) || !IsEmptyFolder(dir)) {
            fprintf(stderr, "medium new: %s: %s; give a new or empty folder, so that nothing is overwritten\n",
                    dir.c_str(), S_ISDIR(st.st_mode) ? "the folder is not empty" : "not a folder");
            return kExitInput;   // the folder given is wrong; nothing failed to write
        }
    } else if (mkdir(dir.c_str(), 0777) != 0) {
        fprintf(stderr, "medium new: %s: cannot create the folder (%s)\n", dir.c_str(), strerror(errno));
        return kExitIo;
    }
    for (const char *sub : {"/bootstrap", "/payloads"}) {
        if (mkdir((dir + sub).c_str(), 0777) != 0) {
            fprintf(stderr, "medium new: %s%s: cannot create the folder (%s)\n", dir.c_str(), sub, strerror(errno));
            return kExitIo;
        }
    }
    const struct {
        const char *name;
        const char *text;
    } files[] = {
        {"project.toml", kProject},
        {"library.txt", kLibrary},
        {"bootstrap/template.c", kTemplateBootstrap},
        {"README.md", kReadme},
    };
    for (const auto &f : files) {
        const std::string path = dir + "/" + f.name;
        std::string why;
        if (!tk::WriteFileAtomic(path, f.text, strlen(f.text), &why)) {
            fprintf(stderr, "medium new: %s\n", why.c_str());
            return kExitIo;
        }
        printf("wrote %s\n", path.c_str());
    }
    printf("next: put your payloads into %s/payloads/ and your script as %s/SETUP.INS, then "
           "'medium build %s/project.toml'\n",
           dir.c_str(), dir.c_str(), dir.c_str());
    return kExitOk;
}

}  // namespace medium
