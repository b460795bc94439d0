// e2e_plant.dll: a library that does nothing. The rig copies it under the
// names it needs: beside a launcher as a library a careless search would
// pick up, and as CVINSTSE.dll, the module name of a running setup engine.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
