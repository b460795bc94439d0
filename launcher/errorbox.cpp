// The error box and string loading through the resource redirection.
#include "launcher/errorbox.h"

#include <windows.h>

#include "base/ids.h"
#include "launcher/state.h"
#include "base/text.h"
#include "resmodule/resbytes.h"
#include "resmodule/setupstring.h"

enum {
    // Room for the longest text with a whole path or command line in it.
    kMessageBuffer = 1024,
};

void ShowLaunchError(int id, const char *argument, size_t length)
{
    // Not cleared first: the string loads and the copies below terminate
    // each buffer before it is read.
    char caption[kCaptionChars];
    char text[kTextChars];
    char copy[kMessageBuffer];   // the argument's bytes that can show
    char message[kMessageBuffer];
    HINSTANCE own = (HINSTANCE)g_launcher.instance;

    if (LoadSetupString(IDS_CAPTION_REDIRECTED, caption, kCaptionChars) > 0) {
        LoadSetupString(id, text, kTextChars);
    } else {
        // Caption and text come from the same table, so they match in language.
        LoadStringBounded(own, IDS_CAPTION_OWN, caption, kCaptionChars);
        LoadStringBounded(own, id, text, kTextChars);
    }

    // Only 7061 and 7067 come with an argument; any other text is shown as
    // it is, '%' and all.
    if (argument) {
        // The argument is a piece of a longer text. What the message cannot
        // hold is never shown, so a longer piece is cut here, at a whole
        // character, as the message would cut it.
        TextCopy(copy, length < sizeof copy ? length + 1 : sizeof copy, argument);
        FormatOneArgument(message, sizeof message, text, copy);
    } else {
        TextCopy(message, sizeof message, text);
    }
    MessageBoxA(NULL, message, caption, MB_OK | MB_ICONERROR);
}
