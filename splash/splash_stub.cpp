// Stand-in until the splash is built: no splash is ever shown, so start-up
// goes on as under -s. splash.cpp replaces this file in the source list.
#include "splash/splash.h"

HWND SplashCreate(HINSTANCE instance, const char *sourceDirectory)
{
    (void)instance;
    (void)sourceDirectory;
    return NULL;
}
