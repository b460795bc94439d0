// The langtable tool's model of a language table resource, its readable text
// description (see README.md), and the conversions between the two. The
// model holds every byte of a resource, the fields the launcher skips
// included, so that dump followed by compile gives back the same bytes.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace lt {

struct Value {
    int type = 0;           // 1: number; any other: text
    uint16_t number = 0;    // type 1
    std::string text;       // other types, at most 255 bytes
};

struct Entry {
    std::string name;       // at most 255 bytes
    int kind = 0;           // 0..255
    std::vector<Value> values;
    int line = 0;           // description line, 0 when decoded from bytes
};

struct Language {
    std::string item;       // the item text exactly as stored, at most 255 bytes
    int line = 0;
};

struct Table {
    uint16_t version = 0x201;
    uint16_t headerReserved = 0;    // bytes 6-7, not read by the launcher
    uint16_t splashType = 0;
    uint8_t defaultIndex = 0;
    uint8_t listReserved = 0;       // the byte after the language list, not read
    std::vector<Language> languages;
    std::vector<Entry> entries;
    std::string trailer;            // bytes after the last entry, ignored
};

// The resource bytes of `table`.
std::vector<uint8_t> Encode(const Table &table);

// Reads resource bytes into `table`. False with a message when they do not
// follow the layout (the launcher's parser says why in its own terms).
bool Decode(const uint8_t *data, size_t size, Table *table, std::string *error);

// Reads a text description. False with "line N: ..." messages (one per line
// found wrong, at most 20) in `errors`. On success `warnings` gets Lint's.
bool ParseDescription(const std::string &text, Table *table, std::vector<std::string> *errors,
                      std::vector<std::string> *warnings);

// Things the launcher accepts but that are probably not meant: names it cuts,
// LCID items that never match, no eligible or an ineligible default
// language, ignored bytes. "line N: " leads when the line is known.
std::vector<std::string> Lint(const Table &table);

// The text description of `table`; ParseDescription of it gives `table` back.
std::string FormatDescription(const Table &table);

// The name, LCID list and flags that the launcher reads from an item (with
// the launcher's splitter, in the current code page), the name not cut.
struct SplitItem {
    std::string name;
    std::string lcids;
    int flags = 1;
};
SplitItem Split(const std::string &item);

// Key under which the launcher stores an entry: "%s:%d" of the name as text
// (up to its first zero byte) and the kind.
std::string EntryKey(const Entry &entry);

}  // namespace lt
