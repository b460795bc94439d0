// The bootstrap's command line.
#include "launcher/launchcmd.h"

#include "base/state.h"
#include "base/text.h"

enum {
    // A directory (262 characters at most) with a file name, in quotes.
    kProgramBuffer = 300,
};

int BuildLaunchCommand(char *out, size_t cap, const char *directory, const char *fileName)
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

    out[0] = '\0';
    fits = fits && TextAppend(out, cap, program) && TextAppend(out, cap, " ") &&
           TextAppend(out, cap, g_launcher.commandLine ? g_launcher.commandLine : "") &&
           TextAppend(out, cap, " ");
    if (fits && g_launcher.addZ1)
        fits = TextAppend(out, cap, " -z1");
    fits = fits && TextAppend(out, cap, g_launcher.splashWindow ? " -cx" : " -c") &&
           TextAppend(out, cap, " -x") && TextAppend(out, cap, workDir);
    if (!fits) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}
