// The language table: a binary index carried by the resource library that
// maps (entry name, kind) to one value text per language, and the languages
// with the locale ids they serve. The parse of the resource bytes is portable
// code, shared by the launcher, the langtable tool and the fuzzer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "resmodule/keyedtable.h"

enum {
    kLangMagic = (int32_t)0xA723F8CB,
    kLangMaxVersion = 0x201,
    kLangMaxLanguages = 30,
    kLangBuckets = 983,
    kLangNameChars = 51,      // language names fit the resource module's 52-byte buffer
};

// ResLastError codes.
enum {
    LANG_ERR_NO_MEMORY_ENTRY = -300,
    LANG_ERR_DUPLICATE_KEY = -302,
    LANG_ERR_BAD_MAGIC = -305,
    LANG_ERR_TOO_MANY_LANGUAGES = -306,
    LANG_ERR_WRITE_SPLASH = -307,
    LANG_ERR_BAD_VERSION = -308,
};

extern int ResLastError;

struct LangValue;
struct LangEntry;
struct LangTable;
