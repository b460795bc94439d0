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
// as well) and opens it as the resource module. Returns:
//   0     start-up may go on (the open's own result does not matter)
//   7068  neither file is there
int CheckResourceLibrary();

// Returns:
//   1  the script exists, or (unless `scriptGiven`: -f named it) INSTALL.INS
//      stands in the script's directory
//   0  otherwise
int ScriptExists(const char *path, int scriptGiven);
