// A string-keyed hash table with a fixed number of chains. Keys are copied
// into the table; values are references the table does not own.
#pragma once

#include <stdint.h>

struct KeyedNode {
    KeyedNode *next;
    char *key;        // own copy, allocated from the table's pool
    void *value;      // not owned
};

struct KeyedTable {
    int32_t pool;             // where nodes and key copies are allocated
    uint32_t itemCount;       // keys stored
    uint16_t bucketCount;     // fixed at creation
    KeyedNode **buckets;      // bucketCount chain heads, newest node first
};

// KeyedTableInsert results.
enum {
    KEYED_STORED = 0,
    KEYED_NO_MEMORY = -1,
    KEYED_EXISTS = -2,
    KEYED_NO_TABLE = -3,
};

// One zero-filled block holds the table and its bucket array, so every chain
// starts empty. Null for pool -1, for a bucket count of 0 or above 65535, or
// when out of memory.
KeyedTable *KeyedTableCreate(uint32_t bucketCount, int32_t pool);

// Bucket of `key`: the key's bytes taken as signed 8-bit values, summed in a
// 16-bit accumulator that wraps, the sum taken as unsigned, modulo
// bucketCount. The empty key hashes to 0; so does any key for bucketCount 0.
uint32_t KeyedTableHash(const char *key, uint32_t bucketCount);

// Stores `value` under a copy of `key`. KEYED_STORED, KEYED_NO_MEMORY,
// KEYED_EXISTS (the key is there and `replace` is 0; with `replace` 1 its
// value is replaced and the result is KEYED_STORED) or KEYED_NO_TABLE.
// Equality here is the system's string comparison (TextCompare).
int KeyedTableInsert(KeyedTable *table, const char *key, void *value, int replace);

// 1 with *valueOut set when a key equal to `key` byte for byte is stored;
// 0 when not, or when there is no table.
int KeyedTableLookup(const KeyedTable *table, const char *key, void **valueOut);

// Length of the longest chain (for diagnostics and benchmarks).
uint32_t KeyedTableLongestChain(const KeyedTable *table);

// Releases the nodes, the key copies and the table itself (not the values).
// Pools free nothing on their own, so the owner calls this to give the memory
// back before its pool goes. Null is accepted.
void KeyedTableDestroy(KeyedTable *table);
