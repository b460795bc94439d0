// Resource bytes that stay inside the module that holds them.
//
// A library from the medium may state resource sizes that run past the end of
// its file; the system's loader hands such a size on unchecked. Everything the
// launcher reads from a resource goes through ResourceBytes, which gives the
// bytes only when all of them lie in readable memory of the module's own
// mapping.
#pragma once

#include <windows.h>

#include <stdint.h>

// The bytes of resource (`type`, `name`) of `module` (null: the program's
// own image) and their count in *size. Null (and *size 0) when the resource is missing or does not lie
// wholly inside the module's mapping.
const unsigned char *ResourceBytes(HMODULE module, LPCSTR type, LPCSTR name, uint32_t *size);

// String `id` of `module`, read from its string block without trusting the
// block: the block's 16 counted strings must all lie within the resource, or
// the block counts as missing. Converted to the ANSI code page into `buffer`
// of `size` bytes, whole characters only, terminated. Returns the bytes
// copied (0 when the string is missing, empty, or the block is malformed), as
// LoadStringA does.
int LoadStringBounded(HMODULE module, int id, char *buffer, int size);
