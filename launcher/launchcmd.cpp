// The bootstrap's command line.
#include "launcher/launchcmd.h"

#include "base/text.h"

enum {
    // A directory (262 characters at most) with a file name, in quotes.
    kProgramBuffer = 300,
};

int BuildLaunchCommand(char *out, size_t cap, const char *directory, const char *fileName,
                       const CommandLineResult *options, int splashShown)
{
    if (cap == 0)
        return 0;

    // Unquoted, a program path with a blank lets the system try the text up
    // to the blank first ("C:\Program" for "C:\Program Files\..."), so a
    // planted C:\Program.exe would run instead.
    char program[kProgramBuffer];
    int fits = PathJoin(program, sizeof program, directory, fileName) &&
               QuoteIfSpaces(program, sizeof program) >= 0;

    char workDir[kProgramBuffer];
    fits = fits && TextCopy(workDir, sizeof workDir, directory) &&
           QuoteIfSpaces(workDir, sizeof workDir) >= 0;

    // The parts in order, appended by one loop.
    const char *const parts[] = {
        program, " ", options->forwarded, " ",
        options->addZ1 ? " -z1" : "", splashShown ? " -cx" : " -c", " -x", workDir,
    };
    out[0] = '\0';
    for (const char *part : parts)
        fits = fits && TextAppend(out, cap, part);
    if (!fits) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}
