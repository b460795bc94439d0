// Text and path helpers over zero-terminated byte strings in the system's
// multibyte (ANSI) code page. Every helper walks character by character with
// NextChar, so the second byte of a double-byte character is never taken for
// a backslash, quote, blank or delimiter.
//
// Buffer idiom: a helper that writes takes the destination's capacity in
// bytes (terminator included), always terminates, never splits a double-byte
// character, and says whether everything fitted.
#pragma once

#include <stddef.h>

enum {
    kPathChars = 260,        // characters of a path, terminator not counted
    kPathBuffer = 261,       // bytes of a path buffer
    kJoinedPathBuffer = 264, // a directory from a 263-byte buffer with a short file name
    kLongPathBuffer = 280,   // a 262-character directory and a file name
};

// 1 when the character at p takes two bytes.
int IsDoubleByteChar(const char *p);
// Copies the first character of src (one or two bytes) to dst; no terminator.
// The caller makes sure that two bytes fit. Returns 1.
int CopyChar(char *dst, const char *src);

size_t TextLength(const char *text);

// Copy / append src into dst of `cap` bytes. Returns 1 when all of src fitted;
// otherwise copies the whole characters that fit, terminates, and returns 0.
int TextCopy(char *dst, size_t cap, const char *src);
int TextAppend(char *dst, size_t cap, const char *src);

// Formats `format` into dst of `cap` bytes: the first "%s" becomes `argument`
// (none counts as empty), "%%" becomes "%", any other '%' stands as it is.
// Returns 1 when everything fitted, else cuts at a character boundary and
// returns 0.
int FormatOneArgument(char *dst, size_t cap, const char *format, const char *argument);

// Decimal text to number: leading white space (blanks, tabs, line ends,
// vertical tabs, form feeds) skipped, an optional sign, then digits up to the
// first other character; no digits give 0. Arithmetic wraps in 32 bits.
long ParseDecimal(const char *text);

// Ends a non-empty path with a backslash. Returns 1 when the path already
// ended in one or the backslash fitted, 0 when the buffer of `cap` bytes had
// no room (the path is then unchanged).
int AddTrailingBackslash(char *path, size_t cap);

// Writes `directory`, a backslash unless it ends in one (or is empty), and
// `name` into `out` of `cap` bytes. Returns 1 when all of it fitted; else 0
// with `out` empty, so that a cut path is never used as a name.
int PathJoin(char *out, size_t cap, const char *directory, const char *name);

// Writes the directory part of `path` into `out` of `cap` bytes: a root keeps
// its separator ("C:\", "C:", "\"), deeper directories lose the trailing one
// ("C:\DISK1"), a name without separators gives empty text. Returns 1 when it
// fitted, else 0 with `out` empty.
int DirectoryPart(const char *path, char *out, size_t cap);

// Wraps a text that holds a blank (0x20) in double quotes, in place.
// Returns 1 when the text begins with a double quote (left as it is) or was
// quoted, 0 when it holds no blank (unchanged), -1 when the quoted text would
// not fit in `cap` bytes (unchanged).
int QuoteIfSpaces(char *text, size_t cap);

// Copies the text up to the first occurrence of the one-byte delimiter
// (the first byte of `delimiter`) into dst of `cap` bytes. Returns the
// position right after the delimiter, the position of the terminator at the
// end of the text, or null when the token does not fit in cap - 1 bytes
// (dst is then left empty). A double-byte character is never compared with
// the delimiter nor split.
const char *CopyToken(const char *source, char *dst, size_t cap, const char *delimiter);

// Removes leading and trailing blanks and tabs in place. 0 for a null text,
// else 1.
int TrimBlanks(char *text);

// 1 when a directory search for `path` finds an entry (wildcards match, a
// directory counts). Windows build only.
int FileExists(const char *path);
