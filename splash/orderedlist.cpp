// The ordered list. Portable: memory blocks only.
#include "splash/orderedlist.h"

#include <string.h>

#include "base/platform.h"

enum {
    kListPoolSize = 5000,
    kListPoolFlags = 4099,
};

static int32_t g_listPool;

OrderedList *ListCreate(int32_t itemSize)
{
    if (g_listPool == 0)
        g_listPool = PoolCreate(kListPoolSize, kListPoolFlags);
    OrderedList *list = (OrderedList *)BlockAlloc(g_listPool, sizeof(OrderedList));
    if (!list)
        return nullptr;
    list->count = 0;
    list->itemSize = itemSize;
    list->pool = g_listPool;
    list->first = nullptr;
    list->last = nullptr;
    list->cursor = nullptr;
    return list;
}

static void LinkAfterCursor(OrderedList *list, ListNode *node)
{
    list->count++;
    ListNode *cursor = list->cursor;
    if (!cursor) {
        list->first = node;
        list->last = node;
    } else {
        node->prev = cursor;
        node->next = cursor->next;
        if (cursor->next)
            cursor->next->prev = node;
        else
            list->last = node;
        cursor->next = node;
    }
    list->cursor = node;
}

int ListInsertCopy(OrderedList *list, const void *data)
{
    if (!list || !data || list->itemSize < 0)
        return 0;
    size_t n = list->itemSize > 0 ? (size_t)list->itemSize : strlen((const char *)data) + 1;
    // The copy gets one spare zero byte; keep n + 1 within a block's size.
    if (n >= 0xFFFFFFFFu)
        return 0;
    void *copy = BlockAlloc(list->pool, (uint32_t)(n + 1));
    if (!copy)
        return 0;
    memcpy(copy, data, n);
    ListNode *node = (ListNode *)BlockAlloc(list->pool, sizeof(ListNode));
    if (!node) {
        BlockFree(list->pool, copy);
        return 0;
    }
    node->item = copy;
    LinkAfterCursor(list, node);
    return 1;
}

int ListInsertPointer(OrderedList *list, void *pointer)
{
    if (!list)
        return 0;
    ListNode *node = (ListNode *)BlockAlloc(list->pool, sizeof(ListNode));
    if (!node)
        return 0;
    node->item = pointer;
    LinkAfterCursor(list, node);
    return 1;
}

void *ListFirst(OrderedList *list)
{
    if (!list)
        return nullptr;
    list->cursor = list->first;
    return list->cursor ? list->cursor->item : nullptr;
}

void *ListLast(OrderedList *list)
{
    if (!list)
        return nullptr;
    list->cursor = list->last;
    return list->cursor ? list->cursor->item : nullptr;
}

void *ListNext(OrderedList *list)
{
    if (!list || !list->cursor || !list->cursor->next)
        return nullptr;
    list->cursor = list->cursor->next;
    return list->cursor->item;
}

void ListDestroy(OrderedList *list)
{
    if (!list)
        return;
    ListNode *node = list->first;
    while (node) {
        ListNode *next = node->next;
        if (list->itemSize >= 0 && node->item)
            BlockFree(list->pool, node->item);
        BlockFree(list->pool, node);
        node = next;
    }
    BlockFree(list->pool, list);
}
