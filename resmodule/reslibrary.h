// Libraries opened for their resources only.
#pragma once

#include <windows.h>

// Loads a library for its resources only: its entry point never runs. System
// error boxes are suppressed while loading; null on failure.
HMODULE LoadResourceLibrary(const char *path);

// Library records: one per library loaded by path (as a data file), so that
// a library is mapped once however many parts of the launcher read it.
int LibraryOpen(const char *path);           // 1 when opened
HMODULE LibraryHandle(const char *path);     // null when not open
int LibraryClose(const char *path);          // always 1
// Closes the record that holds `module`.
void LibraryCloseModule(HMODULE module);
