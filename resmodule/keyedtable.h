// A string-keyed hash table with a fixed number of chains, and the arena its
// nodes and key copies live in. Values are references the table does not own.
#pragma once

#include <stdint.h>

// Memory given out in pieces from a few large blocks (BlockAlloc) and given
// back all at once. A platform block per small piece would cost time, and
// some platforms cap the number of blocks a process may hold.
struct ArenaBlock {
    ArenaBlock *prev;   // the block before, or null
    uint32_t size;      // bytes after this header
    uint32_t used;      // of them given out
};

struct Arena {
    int32_t pool;
    ArenaBlock *last;     // newest block, or null
    uint32_t blockCount;  // blocks held
};

enum {
    kArenaFirstBlock = 32 * 1024,     // blocks double from this size...
    kArenaLargestBlock = 1024 * 1024, // ...up to this one (a larger piece gets a block of its own)
    kArenaLargestPiece = 0x7FFFFFFF,
};

// An empty arena over `pool`; it holds nothing yet.
void ArenaInit(Arena *arena, int32_t pool);

// `size` zero-filled bytes, aligned for pointers, that stay until
// ArenaRelease. Null when out of memory or above kArenaLargestPiece.
void *ArenaAlloc(Arena *arena, uint32_t size);

// Gives every block back and leaves the arena empty. The arena record may
// itself live in one of its blocks: it is emptied before any block goes.
void ArenaRelease(Arena *arena);

struct KeyedNode {
    KeyedNode *next;  // chain of the bucket, newest first
    KeyedNode *twin;  // chain of the exact-bytes index
    KeyedNode *odd;   // chain of the bucket's keys with bytes other than digits and ':'
    char *key;        // own copy, in the table's arena
    void *value;      // not owned
};

struct KeyedTable {
    Arena *arena;             // where the table and its index are allocated
    Arena nodes;              // nodes with their keys, apart so that chains are short walks
    uint32_t itemCount;       // keys stored
    uint16_t bucketCount;     // fixed at creation
    KeyedNode **buckets;      // bucketCount chain heads, newest node first
    KeyedNode **oddBuckets;   // bucketCount heads of the odd chains
    KeyedNode **exact;        // exactMask + 1 heads by a hash of all bytes, or null
    uint32_t exactMask;
};

// KeyedTableInsert results.
enum {
    KEYED_STORED = 0,
    KEYED_NO_MEMORY = -1,
    KEYED_EXISTS = -2,
    KEYED_NO_TABLE = -3,
};

// One zero-filled piece of `arena` holds the table and its bucket arrays, so
// every chain starts empty. Null for a null arena, for a bucket count of 0 or
// above 65535, or when out of memory. The nodes take blocks of their own,
// from the arena's pool: KeyedTableRelease gives them back before the arena
// goes.
KeyedTable *KeyedTableCreate(uint32_t bucketCount, Arena *arena);

// Gives back the blocks of the nodes and key copies; the table is not used
// after it. Null is accepted.
void KeyedTableRelease(KeyedTable *table);

// Prepares for about `count` keys: an index by all of a key's bytes, so that
// inserting a key made of digits and ':' no longer walks its whole chain.
// Lookups and what an insert decides are the same with or without it. 1, or
// 0 when out of memory (inserts then walk the chains, as without it).
int KeyedTableReserve(KeyedTable *table, uint32_t count);

// Bucket of `key`: the key's bytes taken as signed 8-bit values, summed in a
// 16-bit accumulator that wraps, the sum taken as unsigned, modulo
// bucketCount. The empty key hashes to 0; so does any key for bucketCount 0.
uint32_t KeyedTableHash(const char *key, uint32_t bucketCount);

// Stores `value` under a copy of `key`. KEYED_STORED, KEYED_NO_MEMORY,
// KEYED_EXISTS (a key of the same chain is equal and `replace` is 0; with
// `replace` 1 the first equal key's value is replaced and the result is
// KEYED_STORED) or KEYED_NO_TABLE. Equality here is the system's string
// comparison (TextCompare), which may find texts of different bytes equal.
int KeyedTableInsert(KeyedTable *table, const char *key, void *value, int replace);

// 1 with *valueOut set when a key equal to `key` byte for byte is stored;
// 0 when not, or when there is no table.
int KeyedTableLookup(const KeyedTable *table, const char *key, void **valueOut);

// Length of the longest chain (for diagnostics and benchmarks).
uint32_t KeyedTableLongestChain(const KeyedTable *table);
