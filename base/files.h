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

// Paths the system gives in UTF-16, as ANSI text that names the same file.
//
// 1 when every character of `wide` converts to code page `codePage` and back
// unchanged (no letter lost to the default character, none taken for a
// look-alike, as U+0100 for "A" or U+00A5 for "\" in code page 932), and the
// whole text with its terminator fits `cap` bytes of `out`. Otherwise 0, and
// `out` holds no usable name.
int WideNameToCodePage(unsigned codePage, const wchar_t *wide, char *out, size_t cap);

// A path the system wrote into `path` (`length` characters, as the wide call
// returned it, in a buffer of kPathBuffer characters), as the ANSI name of
// the same file in `out` of `cap` bytes: the path itself when it converts to
// the ANSI code page unchanged (long names stay long), else its short (8.3)
// form when that one does. 0 when the system gave none (0), or one that did
// not fit its buffer (a cut path names another file), or when neither form
// can be had: the volume keeps no short names, the path does not exist, or
// it does not fit `cap`. A name with '?' for each lost letter would name
// another file, or be taken for a wildcard.
//   wchar_t wide[kPathBuffer];
//   AnsiPathFromWide(wide, GetWindowsDirectoryW(wide, kPathBuffer), out, cap)
int AnsiPathFromWide(const wchar_t *path, unsigned long length, char *out, size_t cap);
