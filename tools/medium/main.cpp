// medium: tools for people who build installation media, one subcommand each.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/medium/library_cli.h"

namespace {

const char kUsage[] =
    "usage: medium COMMAND [ARGUMENTS]\n"
    "commands:\n"
    "  library DESCRIPTION -o _SETUP.DLL   the resource library from a text description\n"
    "medium COMMAND --help shows a command's usage.\n";

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs(kUsage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "-h" || command == "--help") {
        fputs(kUsage, stdout);
        return 0;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "library")
        return medium::LibraryCommand(args, stdout, stderr);
    fprintf(stderr, "medium: unknown command %s\n%s", command.c_str(), kUsage);
    return 2;
}
