// The few platform calls that the portable core needs.
//
// Everything that parses or walks text (text and path helpers, the command
// line scan, the language table, the keyed table, the ordered list, the logo
// line parser) goes through this header and never includes <windows.h>, so it
// builds both for Windows and for the native test and fuzz build. The Windows
// implementation is platform_win32.cpp (CharNextA, GlobalAlloc, lstrcmpiA);
// the native one is platform_host.cpp.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Next character after `p`; stays at the terminator. A character is two bytes
// when its first byte is a lead byte of the current code page and the next
// byte is not the terminator.
const char *NextChar(const char *p);
// Character before `p`; stays at `start`.
const char *PrevChar(const char *start, const char *p);

// Case-insensitive and exact comparison of two texts (lstrcmpiA, lstrcmpA):
// 0 when equal.
int TextCompareNoCase(const char *a, const char *b);
int TextCompare(const char *a, const char *b);

// Memory blocks: zero-filled, fixed-address memory that carries its own handle
// in a header of kBlockHeaderSize bytes (4 on 32-bit Windows, a whole handle
// on 64-bit), so it can be released from the data pointer alone.
// Pools are nominal: PoolCreate always gives 1 and PoolDestroy frees nothing.
constexpr uint32_t kBlockHeaderSize = sizeof(void *);
void *BlockAlloc(int32_t pool, uint32_t size);   // null when out of memory
int BlockFree(int32_t pool, void *data);          // data must come from BlockAlloc; always 1
int32_t PoolCreate(uint32_t sizeHint, uint32_t flags);  // always 1
int PoolDestroy(int32_t pool);                    // always 1

// Files read once from start to end, as bytes (no text-mode translation).
// InputFileOpen gives null when the file cannot be opened for reading (also
// for a directory); InputFileRead gives the count read into `buffer` (at most
// `cap`), 0 at the end or on an error; InputFileClose accepts null.
struct InputFile;
InputFile *InputFileOpen(const char *path);
uint32_t InputFileRead(InputFile *file, void *buffer, uint32_t cap);
void InputFileClose(InputFile *file);

#ifdef CORVANE_HOST
// Native build only: the code page whose lead bytes NextChar honours.
// 1252 (no lead bytes, the default), or any ANSI code page: 932, 936, 949
// and 950 have lead bytes (base/leadbyte.h). Returns the code page it
// replaces, for a caller that puts it back.
int HostSetCodePage(int codePage);
// Native build only: makes the next `n` BlockAlloc calls succeed and every
// later one fail, so tests can reach out-of-memory paths; -1 switches it off.
void HostFailAllocAfter(int n);
// Native build only: an input file over an open stream (a memory stream in
// the fuzz targets); InputFileClose closes the stream.
InputFile *HostInputFromStream(void *stdioStream);
#endif
