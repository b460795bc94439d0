// Start-up checks of the installation medium.
#pragma once

#define RESOURCE_LIBRARY_FILE "_SETUP.DLL"
#define DEFAULT_SCRIPT_FILE   "SETUP.INS"
#define FALLBACK_SCRIPT_FILE  "INSTALL.INS"

// Restricts the search for libraries loaded by name to the system
// directory, where the system offers that (looked up at run time, so older
// systems still run the launcher). Called first thing.
void HardenLibrarySearch();

// Looks for _SETUP.DLL in the source directory (INSTALL.INS there will do
// as well) and opens it as the resource module. 1 when start-up may go on;
// 0 after box 7068.
int CheckResourceLibrary();

// 1 when the script exists; unless -f named it, INSTALL.INS in the script's
// directory will do as well.
int ScriptExists(const char *path);
