// String-keyed hash table over an arena of memory blocks.
#include "resmodule/keyedtable.h"

#include <string.h>

#include "base/platform.h"

enum { kArenaAlign = sizeof(void *) };

void ArenaInit(Arena *arena, int32_t pool)
{
    arena->pool = pool;
    arena->last = nullptr;
    arena->blockCount = 0;
}

void *ArenaAlloc(Arena *arena, uint32_t size)
{
    if (size > kArenaLargestPiece)
        return nullptr;
    uint32_t need = (size + (kArenaAlign - 1)) & ~(uint32_t)(kArenaAlign - 1);
    ArenaBlock *block = arena->last;
    if (!block || need > block->size - block->used) {
        // The rest of the current block is given up: pieces are small
        // next to blocks, so little is lost.
        uint32_t blockSize = kArenaFirstBlock;
        for (uint32_t i = 0; i < arena->blockCount && blockSize < kArenaLargestBlock; i++)
            blockSize *= 2;
        if (blockSize < need)
            blockSize = need;
        block = (ArenaBlock *)BlockAlloc(arena->pool, (uint32_t)sizeof(ArenaBlock) + blockSize);
        if (!block)
            return nullptr;
        block->prev = arena->last;
        block->size = blockSize;
        arena->last = block;
        arena->blockCount++;
    }
    // Blocks come zero-filled and no piece is ever handed out twice.
    unsigned char *piece = (unsigned char *)(block + 1) + block->used;
    block->used += need;
    return piece;
}

void ArenaRelease(Arena *arena)
{
    ArenaBlock *block = arena->last;
    int32_t pool = arena->pool;
    arena->last = nullptr;
    arena->blockCount = 0;
    while (block) {
        ArenaBlock *prev = block->prev;
        BlockFree(pool, block);
        block = prev;
    }
}

KeyedTable *KeyedTableCreate(uint32_t bucketCount, Arena *arena)
{
    if (!arena || bucketCount == 0 || bucketCount > 0xFFFFu)
        return nullptr;
    uint32_t heads = bucketCount * (uint32_t)sizeof(KeyedNode *);
    KeyedTable *table = (KeyedTable *)ArenaAlloc(arena, (uint32_t)sizeof(KeyedTable) + 2u * heads);
    if (!table)
        return nullptr;
    table->arena = arena;
    ArenaInit(&table->nodes, arena->pool);
    table->bucketCount = (uint16_t)bucketCount;
    // Both arrays of chain heads follow the fields in the same zero-filled piece.
    table->buckets = (KeyedNode **)(table + 1);
    table->oddBuckets = table->buckets + bucketCount;
    return table;
}

void KeyedTableRelease(KeyedTable *table)
{
    if (!table)
        return;
    ArenaRelease(&table->nodes);
}

uint32_t KeyedTableHash(const char *key, uint32_t bucketCount)
{
    if (bucketCount == 0)
        return 0;
    uint16_t sum = 0;
    for (const unsigned char *p = (const unsigned char *)key; *p != 0; p++) {
        // Bytes 0x80..0xFF count as -128..-1; unsigned arithmetic wraps the
        // same way a signed 16-bit accumulator would.
        int value = (*p < 0x80) ? (int)*p : (int)*p - 256;
        sum = (uint16_t)(sum + (uint16_t)value);
    }
    return (uint32_t)sum % bucketCount;
}

// Index slot of `key` in the exact-bytes index (FNV-1a): keys of one bucket
// spread over the whole index.
static uint32_t ExactSlot(const KeyedTable *table, const char *key)
{
    uint32_t h = 2166136261u;
    for (const unsigned char *p = (const unsigned char *)key; *p != 0; p++)
        h = (h ^ *p) * 16777619u;
    return h & table->exactMask;
}

static void IndexExact(KeyedTable *table, KeyedNode *node)
{
    KeyedNode **head = &table->exact[ExactSlot(table, node->key)];
    node->twin = *head;
    *head = node;
}

int KeyedTableReserve(KeyedTable *table, uint32_t count)
{
    if (!table)
        return 0;
    if (table->exact)
        return 1;
    uint32_t slots = 16;
    while (slots < count && slots < 0x10000u)
        slots *= 2;
    KeyedNode **exact = (KeyedNode **)ArenaAlloc(table->arena, slots * (uint32_t)sizeof(KeyedNode *));
    if (!exact)
        return 0;
    table->exact = exact;
    table->exactMask = slots - 1;
    // Keys stored before the index must be in it too, or a repeat of one
    // would pass as new.
    for (uint32_t b = 0; b < table->bucketCount; b++) {
        for (KeyedNode *node = table->buckets[b]; node; node = node->next)
            IndexExact(table, node);
    }
    return 1;
}

// 1 when every byte is a digit or ':'. The system's comparison finds two
// such keys equal only when their bytes are; other keys may compare equal
// to a key of different bytes (ignorable characters, expansions).
static int IsPlainKey(const char *key)
{
    for (const char *p = key; *p != '\0'; p++) {
        if ((*p < '0' || *p > '9') && *p != ':')
            return 0;
    }
    return 1;
}

int KeyedTableInsert(KeyedTable *table, const char *key, void *value, int replace)
{
    if (!table)
        return KEYED_NO_TABLE;
    uint32_t bucket = KeyedTableHash(key, table->bucketCount);
    int plain = IsPlainKey(key);
    if (table->exact && plain && !replace) {
        // The same answer as the walk below: an equal key is one of the
        // same bytes (the index) or one of the bucket's odd keys.
        for (KeyedNode *node = table->exact[ExactSlot(table, key)]; node; node = node->twin) {
            if (strcmp(node->key, key) == 0)
                return KEYED_EXISTS;
        }
        for (KeyedNode *node = table->oddBuckets[bucket]; node; node = node->odd) {
            if (TextCompare(node->key, key) == 0)
                return KEYED_EXISTS;
        }
    } else {
        for (KeyedNode *node = table->buckets[bucket]; node; node = node->next) {
            if (TextCompare(node->key, key) == 0) {
                if (!replace)
                    return KEYED_EXISTS;
                node->value = value;
                return KEYED_STORED;
            }
        }
    }
    size_t len = strlen(key);
    if (len > kArenaLargestPiece - sizeof(KeyedNode) - 1u)
        return KEYED_NO_MEMORY;
    // The key copy follows its node in one piece.
    KeyedNode *node = (KeyedNode *)ArenaAlloc(&table->nodes, (uint32_t)(sizeof(KeyedNode) + len + 1u));
    if (!node)
        return KEYED_NO_MEMORY;
    node->key = (char *)(node + 1);
    memcpy(node->key, key, len + 1);
    node->value = value;
    node->next = table->buckets[bucket];
    table->buckets[bucket] = node;
    if (!plain) {
        node->odd = table->oddBuckets[bucket];
        table->oddBuckets[bucket] = node;
    }
    if (table->exact)
        IndexExact(table, node);
    table->itemCount++;
    return KEYED_STORED;
}

int KeyedTableLookup(const KeyedTable *table, const char *key, void **valueOut)
{
    if (!table)
        return 0;
    for (KeyedNode *node = table->buckets[KeyedTableHash(key, table->bucketCount)]; node;
         node = node->next) {
        if (strcmp(node->key, key) == 0) {
            *valueOut = node->value;
            return 1;
        }
    }
    return 0;
}

uint32_t KeyedTableLongestChain(const KeyedTable *table)
{
    uint32_t longest = 0;
    if (!table)
        return 0;
    for (uint32_t b = 0; b < table->bucketCount; b++) {
        uint32_t n = 0;
        for (const KeyedNode *node = table->buckets[b]; node; node = node->next)
            n++;
        if (n > longest)
            longest = n;
    }
    return longest;
}
