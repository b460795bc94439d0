// The error box and string loading through the resource redirection.
#include "launcher/errorbox.h"

#include <windows.h>

#include "base/ids.h"
#include "base/state.h"
#include "base/text.h"
#include "resmodule/resbytes.h"
#include "resmodule/setupstring.h"

enum {
    // Room for the longest text with a whole path or command line in it.
    kMessageBuffer = 1024,
};

int ShowLaunchError(int id, const char *argument)
{
    char caption[kCaptionChars] = "";
    char text[kTextChars] = "";
    char copy[kLongPathBuffer] = "";  // a 262-character path and "/INSTALL.INS"
    char message[kMessageBuffer] = "";
    HINSTANCE own = (HINSTANCE)g_launcher.instance;

    if (LoadSetupString(IDS_CAPTION_REDIRECTED, caption, kCaptionChars) > 0) {
        LoadSetupString(id, text, kTextChars);
    } else {
        // Caption and text come from the same table, so they match in language.
        LoadStringBounded(own, IDS_CAPTION_OWN, caption, kCaptionChars);
        LoadStringBounded(own, id, text, kTextChars);
    }

    if (id == IDS_SCRIPT_MISSING) {
        TextCopy(copy, sizeof copy, argument ? argument : "");
        if (!g_launcher.scriptGiven)
            TextAppend(copy, sizeof copy, "/INSTALL.INS");
        FormatOneArgument(message, sizeof message, text, copy);
    } else if (id == IDS_UNCLOSED_QUOTE) {
        FormatOneArgument(message, sizeof message, text, argument);
    } else {
        TextCopy(message, sizeof message, text);
    }

    g_launcher.abortFlag = 1;
    MessageBoxA(NULL, message, caption, MB_OK | MB_ICONERROR);
    return 1;
}
