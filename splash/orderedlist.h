// The ordered list: a doubly linked list with a cursor. Inserts go after the
// cursor and move it to the new node, so successive inserts append in order.
// Portable: memory comes from the memory blocks of base/platform.h.
#pragma once

#include <stdint.h>

struct ListNode {
    void *item;       // the caller's pointer, or the list's own copy
    ListNode *next;   // null at the last node
    ListNode *prev;   // null at the first node
};

// Item sizes: 0 copies terminated texts with their terminator, -1 stores
// pointers unchanged (owned by the caller), n > 0 copies n bytes.
enum {
    kListItemText = 0,
    kListItemPointer = -1,
};

struct OrderedList {
    int32_t count;
    int32_t itemSize;
    ListNode *first;
    ListNode *last;
    ListNode *cursor;   // null only while the list is empty
    int32_t pool;       // the list pool: header, nodes and item copies
};

// A new empty list, or null when memory is short. The list pool is created
// at the first call and never destroyed.
OrderedList *ListCreate(int32_t itemSize);

// Inserts a copy of `data` after the cursor (itemSize bytes, or the text with
// its terminator when itemSize is 0; the copy has one more zero byte). 0 for
// a null list or data, a pointer list, or no memory; nothing is kept then.
int ListInsertCopy(OrderedList *list, const void *data);

// Inserts `pointer` itself after the cursor. 0 for a null list or no memory.
// The item size is not consulted: a pointer put into a copying list is freed
// by ListDestroy as a copy, so it must then be a memory block.
int ListInsertPointer(OrderedList *list, void *pointer);

// Move the cursor to the first / last node and return its item; null for a
// null or empty list.
void *ListFirst(OrderedList *list);
void *ListLast(OrderedList *list);

// Moves the cursor to the next node and returns its item. At the last node it
// returns null and the cursor stays there.
void *ListNext(OrderedList *list);

// Frees the nodes, the list's own item copies (not pointer items) and the
// header. A null list is ignored.
void ListDestroy(OrderedList *list);
