// The ordered list: cursor-relative inserts, walking at the ends, item copies.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "splash/orderedlist.h"

namespace {

// Walks the list forwards through ListFirst/ListNext and checks that the
// prev links mirror it, so a broken link in either direction shows.
std::vector<std::string> Items(OrderedList *list)
{
    std::vector<std::string> out;
    const ListNode *prev = nullptr;
    for (const ListNode *n = list->first; n; n = n->next) {
        EXPECT_EQ(n->prev, prev);
        prev = n;
    }
    EXPECT_EQ(list->last, prev);
    for (void *item = ListFirst(list); item; item = ListNext(list))
        out.push_back((const char *)item);
    EXPECT_EQ((size_t)list->count, out.size());
    return out;
}

using Texts = std::vector<std::string>;

TEST(OrderedList, InsertsGoAfterTheCursor)
{
    OrderedList *list = ListCreate(kListItemText);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(ListInsertCopy(list, "a"));
    ASSERT_TRUE(ListInsertCopy(list, "b"));
    ASSERT_TRUE(ListInsertCopy(list, "c"));
    EXPECT_EQ(Items(list), (Texts{"a", "b", "c"}));

    // In the middle: after the first node, then after the new one.
    EXPECT_STREQ((const char *)ListFirst(list), "a");
    ASSERT_TRUE(ListInsertCopy(list, "a1"));
    ASSERT_TRUE(ListInsertCopy(list, "a2"));
    EXPECT_STREQ((const char *)ListNext(list), "b");
    EXPECT_EQ(Items(list), (Texts{"a", "a1", "a2", "b", "c"}));

    // After the last: the list grows at its end and last follows.
    ListLast(list);
    ASSERT_TRUE(ListInsertCopy(list, "d"));
    EXPECT_STREQ((const char *)ListLast(list), "d");
    EXPECT_EQ(Items(list), (Texts{"a", "a1", "a2", "b", "c", "d"}));
    ListDestroy(list);
}

TEST(OrderedList, FirstLastNextAtTheEnds)
{
    OrderedList *list = ListCreate(kListItemText);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ListFirst(list), nullptr);
    EXPECT_EQ(ListLast(list), nullptr);
    EXPECT_EQ(ListNext(list), nullptr);
    EXPECT_EQ(list->cursor, nullptr);

    ASSERT_TRUE(ListInsertCopy(list, "only"));
    EXPECT_STREQ((const char *)ListFirst(list), "only");
    EXPECT_STREQ((const char *)ListLast(list), "only");
    EXPECT_EQ(ListNext(list), nullptr);

    ASSERT_TRUE(ListInsertCopy(list, "two"));
    EXPECT_STREQ((const char *)ListFirst(list), "only");
    EXPECT_STREQ((const char *)ListNext(list), "two");
    // At the last node ListNext gives null and the cursor stays, so an insert
    // still appends.
    EXPECT_EQ(ListNext(list), nullptr);
    EXPECT_EQ(ListNext(list), nullptr);
    EXPECT_EQ(list->cursor, list->last);
    ASSERT_TRUE(ListInsertCopy(list, "three"));
    EXPECT_EQ(Items(list), (Texts{"only", "two", "three"}));
    ListDestroy(list);
}

TEST(OrderedList, NullListIsRefused)
{
    int value = 0;
    EXPECT_EQ(ListInsertCopy(nullptr, "x"), 0);
    EXPECT_EQ(ListInsertPointer(nullptr, &value), 0);
    EXPECT_EQ(ListFirst(nullptr), nullptr);
    EXPECT_EQ(ListLast(nullptr), nullptr);
    EXPECT_EQ(ListNext(nullptr), nullptr);
    ListDestroy(nullptr);
}

TEST(OrderedList, TextItemsAreCopiedWithTheirTerminator)
{
    OrderedList *list = ListCreate(kListItemText);
    ASSERT_NE(list, nullptr);
    char source[] = "hello";
    ASSERT_TRUE(ListInsertCopy(list, source));
    ASSERT_TRUE(ListInsertCopy(list, ""));
    source[0] = 'j';   // the list holds its own copy
    const char *item = (const char *)ListFirst(list);
    EXPECT_NE(item, source);
    EXPECT_STREQ(item, "hello");
    EXPECT_STREQ((const char *)ListNext(list), "");
    EXPECT_EQ(ListInsertCopy(list, nullptr), 0);
    EXPECT_EQ(list->count, 2);
    ListDestroy(list);
}

TEST(OrderedList, SizedItemsCopyExactlyNBytesAndAZero)
{
    OrderedList *list = ListCreate(3);
    ASSERT_NE(list, nullptr);
    const char data[] = {'a', 'b', 'c', 'd', 'e'};
    ASSERT_TRUE(ListInsertCopy(list, data));
    const char *item = (const char *)ListFirst(list);
    ASSERT_NE(item, data);
    EXPECT_EQ(memcmp(item, "abc", 3), 0);
    EXPECT_EQ(item[3], '\0');   // the spare byte: not 'd'
    ListDestroy(list);

    struct Pair { int a, b; };
    OrderedList *pairs = ListCreate((int32_t)sizeof(Pair));
    ASSERT_NE(pairs, nullptr);
    Pair p = {1, 2};
    ASSERT_TRUE(ListInsertCopy(pairs, &p));
    p.a = 9;
    const Pair *copy = (const Pair *)ListFirst(pairs);
    EXPECT_EQ(copy->a, 1);
    EXPECT_EQ(copy->b, 2);
    ListDestroy(pairs);
}

TEST(OrderedList, PointerItemsAreStoredAndLeftToTheirOwner)
{
    OrderedList *list = ListCreate(kListItemPointer);
    ASSERT_NE(list, nullptr);
    int a = 1, b = 2;
    // A pointer list takes no copies.
    EXPECT_EQ(ListInsertCopy(list, &a), 0);
    EXPECT_EQ(list->count, 0);
    ASSERT_TRUE(ListInsertPointer(list, &a));
    ASSERT_TRUE(ListInsertPointer(list, &b));
    EXPECT_EQ(ListFirst(list), &a);
    EXPECT_EQ(ListNext(list), &b);
    EXPECT_EQ(list->count, 2);
    // The items are stack variables: destroying must not free them.
    ListDestroy(list);
    EXPECT_EQ(a + b, 3);
}

TEST(OrderedList, ManyItemsKeepTheirOrder)
{
    OrderedList *list = ListCreate(kListItemText);
    ASSERT_NE(list, nullptr);
    Texts expected;
    for (int i = 0; i < 500; i++) {
        std::string s = std::to_string(i);
        expected.push_back(s);
        ASSERT_TRUE(ListInsertCopy(list, s.c_str()));
    }
    EXPECT_EQ(Items(list), expected);
    ListDestroy(list);
}

}  // namespace
