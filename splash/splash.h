// The splash: chosen through the resource library's language table, created
// as a modeless, ownerless dialog, and shown until the launched setup sends
// "SETUP_MSG_LOGOCLOSE_SE".
#pragma once

#include <windows.h>

#include "base/ids.h"

// Splash modes: the creation parameter of the dialog.
enum SplashMode {
    SPLASH_MODE_DIALOG = 1,    // the template draws itself, with an etched frame
    SPLASH_MODE_LOGO = 2,      // logo script text in dialog 7501
    SPLASH_MODE_BITMAP = 3,    // a bitmap in dialog 7501, without the frame
};

// Registers the close message, chooses the splash and creates it. Returns the
// shown dialog, or null when no splash is shown. `instance` (the launcher's
// module, kept in g_splash.instance) gives the dialog 7501 of modes 2 and 3.
// `sourceDirectory` (at most 262 characters) is kept for the logo script's
// fallback file.
HWND SplashCreate(HINSTANCE instance, const char *sourceDirectory);

// Asks the language table for the splash (SplashChooseFromTable of the open
// library's table). 1 when it made a choice: `typeOut` holds the type and,
// unless it is 9, `moduleOut` the primary library and `idOut` the resource
// id. 0 leaves the choice to the default dialog.
int SplashChoose(int *typeOut, HMODULE *moduleOut, int *idOut);

// Creates the splash of a type that SplashChoose gave. Null for type 9, for
// types other than 2, 4 and 5, for an id outside 1..65535, and when the
// bitmap, the logo resource or the dialog cannot be had. A type-5 splash's
// temporary logo file is gone when this returns.
HWND SplashCreateTyped(int type, HMODULE module, int id);

// Copies resource (type, name) of the library at `libraryPath` into a file.
// With `makeTempName` the file is the Windows directory followed by
// "_ins1163.tmp", written into `filePath` of `cap` bytes; otherwise
// `filePath` names it. 1 on success; 0 when the library or the resource is
// missing, or with ResLastError -307 when the file cannot be written whole
// (a partial file is removed).
int ResourceToFile(const char *libraryPath, int makeTempName, int type, int name, char *filePath, size_t cap);
