// String-keyed hash table over memory blocks.
#include "resmodule/keyedtable.h"

#include <string.h>

#include "base/platform.h"

KeyedTable *KeyedTableCreate(uint32_t bucketCount, int32_t pool)
{
    if (pool == -1 || bucketCount == 0 || bucketCount > 0xFFFFu)
        return nullptr;
    uint32_t size = (uint32_t)sizeof(KeyedTable) + bucketCount * (uint32_t)sizeof(KeyedNode *);
    KeyedTable *table = (KeyedTable *)BlockAlloc(pool, size);
    if (!table)
        return nullptr;
    table->pool = pool;
    table->itemCount = 0;
    table->bucketCount = (uint16_t)bucketCount;
    // The chain heads follow the fields in the same zero-filled block.
    table->buckets = (KeyedNode **)(table + 1);
    return table;
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

int KeyedTableInsert(KeyedTable *table, const char *key, void *value, int replace)
{
    if (!table)
        return KEYED_NO_TABLE;
    KeyedNode **head = &table->buckets[KeyedTableHash(key, table->bucketCount)];
    for (KeyedNode *node = *head; node; node = node->next) {
        if (TextCompare(node->key, key) == 0) {
            if (!replace)
                return KEYED_EXISTS;
            node->value = value;
            return KEYED_STORED;
        }
    }
    size_t len = strlen(key);
    if (len > 0xFFFFFFFEu)
        return KEYED_NO_MEMORY;
    KeyedNode *node = (KeyedNode *)BlockAlloc(table->pool, (uint32_t)sizeof(KeyedNode));
    if (!node)
        return KEYED_NO_MEMORY;
    char *copy = (char *)BlockAlloc(table->pool, (uint32_t)len + 1u);
    if (!copy) {
        BlockFree(table->pool, node);
        return KEYED_NO_MEMORY;
    }
    memcpy(copy, key, len + 1);
    node->key = copy;
    node->value = value;
    node->next = *head;
    *head = node;
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

void KeyedTableDestroy(KeyedTable *table)
{
    if (!table)
        return;
    for (uint32_t b = 0; b < table->bucketCount; b++) {
        KeyedNode *node = table->buckets[b];
        while (node) {
            KeyedNode *next = node->next;
            BlockFree(table->pool, node->key);
            BlockFree(table->pool, node);
            node = next;
        }
        table->buckets[b] = nullptr;
    }
    BlockFree(table->pool, table);
}
