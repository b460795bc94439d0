// Test seam of the launch: what the launcher handed to the system, for the
// Windows tests. Nothing in the launcher calls it, so the linker leaves it
// out of setup.exe.
#pragma once

// The command last handed to WinExec (a 768-byte block made at the first
// launch and kept): null before it, empty text after a refused one.
char *LaunchCommandBlock();
