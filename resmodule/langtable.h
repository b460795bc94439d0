// The language table: a binary index carried by the resource library that
// maps (entry name, kind) to one value text per language, and the languages
// with the locale ids they serve. The parse of the resource bytes is portable
// code, shared by the launcher, the langtable tool and the fuzzer; only the
// fetch of the resource from a library is Windows code.
//
// Resource layout (little-endian, texts without terminator, a counted text is
// a length byte L and L bytes):
//   0  u32 magic 0xA723F8CB      6  u16 not read      10 u8 default language
//   4  u16 version <= 0x201      8  u16 splash type   11 u8 language count N
//   12 N counted language items, 1 byte not read, u16 entry count M,
//   M entries: counted name, u8 kind, N values (u8 type; type 1: u16 number,
//   else a counted text). Whatever follows the last entry is ignored.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/ids.h"
#include "base/text.h"
#include "resmodule/keyedtable.h"

enum {
    kLangMagic = (int32_t)0xA723F8CB,
    kLangMaxVersion = 0x201,
    kLangMaxLanguages = 30,
    kLangMaxEntries = 0xFFFF,
    kLangBuckets = 983,
    kLangPoolSizeHint = 10000,
    kLangPoolFlags = 4099,
    kLangNameChars = 51,         // language names fit the resource module's 52-byte buffer
    kLangNameBuffer = kLangNameChars + 1,
    kLangFlagsChars = 19,        // flags text of a language item
    kLangItemChars = 255,        // a counted text
    kLangLcidBuffer = kLangItemChars + 2,
    kLangLcidItemChars = 119,    // one item of an LCID list
    kLangLoadKeyChars = 255,     // "%s:%d" key of an entry at load
    kLangLookupKeyChars = 79,    // "%s:%d" key of a lookup
    kLangValueChars = 255,       // a value text; LangTableLookup wants 256 bytes
    kLangValueBuffer = kLangValueChars + 1,
};

// Load flags: the first set bit of 4, 1, 2, 8 (in that order) picks the
// source. Only 8 (the library's resource) loads anything; the others, and no
// bit at all, give an empty table. Bit 8 also restricts LangTableMatchLcid to
// eligible languages; bits 1 and 8 let LangTableSplashType answer.
enum {
    LANG_LOAD_LIBRARY = 8,
    LANG_LOAD_SPLASH_MASK = 9,
};

// Value type whose value is a 16-bit number (kept as its decimal text);
// every other type carries a counted text.
enum { LANG_VALUE_NUMBER = 1 };

// Only bit 0 of a language's flags means something: eligible.
enum { LANG_FLAG_ELIGIBLE = 1 };

// LangTableParse's result on success; its failure codes, which ResLastError takes.
enum {
    LANG_PARSED = 1,
    LANG_ERR_NO_MEMORY_ENTRY = -300,     // no memory for an entry or its value slots
    LANG_ERR_DUPLICATE_KEY = -302,       // key exists already, or no memory for its node
    LANG_ERR_BAD_MAGIC = -305,
    LANG_ERR_TOO_MANY_LANGUAGES = -306,
    LANG_ERR_WRITE_SPLASH = -307,        // splash resource could not be written to its file
    LANG_ERR_BAD_VERSION = -308,
    LANG_ERR_TRUNCATED = -309,           // the resource ends before its counts say
    LANG_ERR_KEY_TOO_LONG = -310,        // an entry's "%s:%d" key is longer than 255
};

// Last negative code of a failed language-table load in the launcher and of
// the splash's resource copy (the LANG_ERR_* codes). 0 at start; nothing in
// the launcher reads it; never reset. Tools read LangTableParse's result.
extern int ResLastError;

struct LangValue {
    int type;           // 0..255 as read
    char *text;         // terminated; type 1: the number in decimal
};

struct LangEntry {
    char *name;         // terminated copy of the counted name
    int kind;           // 0..255
    int valueCount;     // the table's language count
    LangValue *values;  // valueCount slots, language-list order
};

// A table and everything it holds (entries table, entries, texts, keys)
// live in its arena, whose first block holds the table itself.
struct LangTable {
    Arena arena;
    int32_t pool;
    int loadFlags;
    char libraryPath[kPathBuffer];
    KeyedTable *entries;                 // "%s:%d" key -> LangEntry
    int splashType;                      // header field, 0..65535
    int defaultLanguage;                 // index, or -1 for none
    int currentLanguage;                 // 0 until a selection succeeds
    int languageCount;                   // 0..30
    char languageNames[kLangMaxLanguages][kLangNameBuffer];
    char lcidLists[kLangMaxLanguages][kLangLcidBuffer];
    int languageFlags[kLangMaxLanguages];
    uint32_t failOffset;                 // byte offset where the parse stopped (a failure's place)
};

// Creates an empty table: its pool, its arena holding the table and its
// 983-bucket entries table; language count 0. Null when out of memory or when `libraryPath`
// (null counts as empty) has more than 260 characters.
LangTable *LangTableCreate(const char *libraryPath, int loadFlags);

// 1 when `loadFlags` choose the library's resource as the source: bit 8 is
// the first of 4, 1, 2, 8 that is set.
int LangTableLoadsFromLibrary(int loadFlags);

// Fills a fresh table from the resource bytes data[0..size-1]. Every read is
// checked against `size`; nothing past it is read. Returns:
//   LANG_PARSED (1)  the table is filled
//   0                no memory for a name or value text (no code)
//   LANG_ERR_*  (<0) the failure's code
// failOffset is where the parse stopped; on failure the table holds what was
// read so far, and the caller closes it.
int LangTableParse(LangTable *table, const unsigned char *data, uint32_t size);

// Fetches a copy of the table resource of the library at `libraryPath`: a
// memory block (BlockAlloc, pool `pool`) holding *sizeOut bytes of resource
// and two zero bytes after them, or null.
typedef unsigned char *(*LangResourceFetch)(const char *libraryPath, int32_t pool, uint32_t *sizeOut);

// LangTableCreate, then, when the flags choose the library, `fetch` and
// LangTableParse; the copy is released. Null on any failure, with nothing
// left for the caller to release.
LangTable *LangTableLoadWith(const char *libraryPath, int loadFlags, LangResourceFetch fetch);

// Windows build: LangTableLoadWith over the resource of type 1001, name 100
// of the library, which is loaded as a data file (its code never runs).
LangTable *LangTableLoad(const char *libraryPath, int loadFlags);

// Releases the table's arena (the table and everything it holds) and its
// pool. None -> 0, else 1.
int LangTableClose(LangTable *table);

// Copies the current language's value of the entry keyed "%s:%d" (name,
// kind) into textOut of `cap` bytes (256 hold any value) -> 1. Not found, a
// key longer than 79 characters, no value for the current language, or a
// value that does not fit -> 0 with textOut untouched.
int LangTableLookup(const LangTable *table, const char *name, int kind, char *textOut, size_t cap);

// The header's splash type when the table exists and its load flags have 1 or
// 8 set (mask 9); otherwise -1.
int LangTableSplashType(const LangTable *table);

// Index of the first language whose name equals `name` ignoring case, or -1.
int LangTableFind(const LangTable *table, const char *name);

// Makes the language named `name` current -> 1; not found (or no table) -> 0
// and the current language stays.
int LangTableSelect(LangTable *table, const char *name);

// Copies the default language's name into nameOut of `cap` bytes (52 hold
// any name) -> 1. No table, no default language, or a name that does not fit
// -> 0 with nameOut untouched.
int LangTableDefaultName(const LangTable *table, char *nameOut, size_t cap);

// Sets nameOut (of `cap` bytes, at least 1) to empty text, then gives the
// name of the first language considered whose LCID list holds `lcidText` -> 1;
// none -> 0. Under load flag 8 only eligible languages are considered.
int LangTableMatchLcid(const LangTable *table, const char *lcidText, char *nameOut, size_t cap);

// Splits a language item text: "@flags;" (optional), the name up to the next
// ";", then the LCID list. The name is cut to fit nameOut (`nameCap` bytes);
// the flags text is read from its first 19 characters; the LCID list fits
// when lcidCap exceeds the item's length. Returns the language flags.
int LangSplitItem(const char *item, char *nameOut, size_t nameCap, char *lcidOut, size_t lcidCap);

// 1 when an item of the comma-separated list, trimmed of blanks and tabs,
// equals `text` ignoring case. Both must be non-empty. An item longer than
// 119 characters ends the walk.
int LangLcidListHolds(const char *list, const char *text);
