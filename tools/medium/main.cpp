// medium: makes installation media from the prebuilt launcher stub.
#include <malloc.h>
#include <stdio.h>
#include <string.h>

#include "tools/lib/fileio.h"
#include "tools/medium/cli.h"
#include "tools/medium/extract.h"
#include "tools/medium/inspect.h"

#ifndef CORVANE_VERSION_TEXT
#define CORVANE_VERSION_TEXT "0"
#endif

namespace {

struct Command {
    const char *name;
    const char *summary;
    int (*run)(int argc, char **argv);
    void (*help)(FILE *out);
};

// One line per subcommand.
const Command kCommands[] = {
    {"new", "write a starter project: project file, library description, template bootstrap", medium::NewCommand,
     medium::NewHelp},
    {"build", "make setup.exe, the script and _SETUP.DLL in a folder, from a project file or flags", medium::BuildCommand,
     medium::BuildHelp},
    {"library", "make the resource library _SETUP.DLL from a text description", medium::LibraryCommand,
     medium::LibraryHelp},
    {"inspect", "check a setup.exe, a _SETUP.DLL or a medium folder (exit 0 clean, 1 warnings, 2 errors)",
     medium::InspectCommand, medium::InspectHelp},
    {"extract", "expand and check the three payloads of a setup.exe into a folder", medium::ExtractCommand,
     medium::ExtractHelp},
    {"record", "the payload check record, for builds that compile their own resource script",
     medium::RecordCommand, medium::RecordHelp},
};

const Command *FindCommand(const char *name)
{
    for (const Command &c : kCommands) {
        if (strcmp(c.name, name) == 0)
            return &c;
    }
    return nullptr;
}

void Usage(FILE *out)
{
    fprintf(out,
            "usage: medium COMMAND [OPTIONS]\n"
            "       medium help COMMAND | medium COMMAND --help\n"
            "       medium --version\n\n"
            "Commands:\n");
    for (const Command &c : kCommands)
        fprintf(out, "  %-10s %s\n", c.name, c.summary);
    fprintf(out,
            "\nExit codes (szdd and langtable: 0 and 64 alike, the rest in medium(1)):\n"
            "  code  new, build, library, extract, record    inspect\n"
            "  0     done                                    clean\n"
            "  1     bad input (a file missing, unreadable   warnings only\n"
            "        or not what it claims)\n"
            "  2     -                                       errors\n"
            "  3     the output could not be written         -\n"
            "        (nothing half-written is left)\n"
            "  4     build: the finished medium failed       -\n"
            "        inspect's checks (nothing put in place)\n"
            "  64    wrong command line                      wrong command line\n");
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        Usage(stderr);
        return medium::kExitUsage;
    }
    const char *first = argv[1];
    if (strcmp(first, "--help") == 0 || strcmp(first, "-h") == 0) {
        Usage(stdout);
        return medium::kExitOk;
    }
    if (strcmp(first, "--version") == 0) {
        printf("medium %s\n", CORVANE_VERSION_TEXT);
        return medium::kExitOk;
    }
    if (strcmp(first, "help") == 0) {
        if (argc < 3) {
            Usage(stdout);
            return medium::kExitOk;
        }
        const Command *c = FindCommand(argv[2]);
        if (!c) {
            fprintf(stderr, "medium: unknown command '%s'; see 'medium --help'\n", argv[2]);
            return medium::kExitUsage;
        }
        c->help(stdout);
        return medium::kExitOk;
    }
    const Command *c = FindCommand(first);
    if (!c) {
        fprintf(stderr, "medium: unknown command '%s'; see 'medium --help'\n", first);
        return medium::kExitUsage;
    }
    tk::InstallTempCleanup();
    // Payload pieces (megabytes each, one per worker) are taken from the
    // system and given back whole: with the allocator's moving threshold a
    // freed piece stays resident beside the next one.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    return c->run(argc - 1, argv + 1);
}
