// Libraries opened for their resources only.
#pragma once

#include <windows.h>

// Loads a library for its resources only: its entry point never runs. System
// error boxes are suppressed while loading; null on failure.
HMODULE LoadResourceLibrary(const char *path);
