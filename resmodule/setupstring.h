// The launcher's strings, loaded through the resource redirection.
#pragma once

// Loads string `id` through the resource redirection into `buffer` of `size`
// characters. Returns the characters copied, 0 when the module chosen lacks it.
int LoadSetupString(int id, char *buffer, int size);
