// Files the launcher writes. Windows build only.
#pragma once

#include <windows.h>

#include <stdint.h>

// Creates `path` as a new, empty file open for writing (others may read).
// A file of that name is deleted first, and the new one is created
// exclusively, so an old file is never written through and one that
// reappears in between makes the creation fail. A name that is a link to a
// file elsewhere, or a directory, is left alone and fails at once.
// INVALID_HANDLE_VALUE on failure.
HANDLE FileCreateNew(const char *path);

// Writes all `size` bytes; 0 on an error or a short write (a full disk).
int FileWriteAll(HANDLE file, const void *data, uint32_t size);

// 1 when `path` exists and is a link to a file elsewhere (where the system
// can tell). Such a name is never deleted: that could remove its target.
int NameIsLink(const char *path);

// 1 when `path` names a directory.
int IsDirectory(const char *path);
