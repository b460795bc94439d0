// Language table: the parse of the resource bytes and the lookups. Portable;
// the fetch of the resource from a library is langtable_load_win32.cpp.
#include "resmodule/langtable.h"

#include <string.h>

#include "base/bytes.h"
#include "base/platform.h"
#include "base/text.h"

// A counted text into `out` of `cap` bytes (256 hold any), terminated.
// Empty text when the read failed or the text does not fit.
static void ReadCountedText(ByteReader *c, char *out, size_t cap)
{
    uint32_t n = ReaderU8(c);
    const unsigned char *p = ReaderTake(c, n);
    if (!p || n >= cap)
        n = 0;
    if (n)
        memcpy(out, p, n);
    out[n] = '\0';
}

static char *CopyText(Arena *arena, const char *text, size_t len)
{
    char *copy = (char *)ArenaAlloc(arena, (uint32_t)len + 1u);
    if (copy && len)
        memcpy(copy, text, len);
    return copy;
}

// A counted text copied straight from the resource into the arena, ending
// at its first zero byte as a terminated text would. Null when out of
// memory; a failed read gives an empty copy and leaves the error in `c`.
static char *CopyCountedText(ByteReader *c, Arena *arena)
{
    uint32_t n = ReaderU8(c);
    const char *p = (const char *)ReaderTake(c, n);
    if (!p)
        n = 0;
    const char *zero = n ? (const char *)memchr(p, '\0', n) : nullptr;
    return CopyText(arena, p, zero ? (size_t)(zero - p) : n);
}

// "%s:%d" into key of `cap` bytes; 0 when it does not fit.
static int FormatKey(char *key, size_t cap, const char *name, int kind)
{
    char number[kDecimalBuffer];
    FormatDecimal(number, sizeof number, kind);
    return TextCopy(key, cap, name) && TextAppend(key, cap, ":") && TextAppend(key, cap, number);
}

int LangSplitItem(const char *item, char *nameOut, size_t nameCap, char *lcidOut, size_t lcidCap)
{
    // Working copy of the item, as the text of a counted item always fits.
    char buffer[kLangItemChars + 2];
    int flags = LANG_FLAG_ELIGIBLE;
    TextCopy(buffer, sizeof(buffer), item);
    TextCopy(lcidOut, lcidCap, "");

    char *name = buffer;
    char *scan = buffer;
    if (buffer[0] == '@') {
        char *p = buffer + 1;
        while (*p != '\0' && *p != ';')
            p = (char *)NextChar(p);
        if (*p == ';') {
            *p = '\0';
            char flagsText[kLangFlagsChars + 1];
            TextCopy(flagsText, sizeof(flagsText), buffer + 1);
            flags = (int)ParseDecimal(flagsText);
            name = p + 1;
            // The scan for the name's end starts at its second character.
            scan = (char *)NextChar(name);
        } else {
            scan = p;
        }
    }
    char *p = scan;
    while (*p != '\0' && *p != ';')
        p = (char *)NextChar(p);
    if (*p == ';') {
        *p = '\0';
        TextCopy(lcidOut, lcidCap, p + 1);
        TextCopy(nameOut, nameCap, name);
    } else {
        // No name delimiter: the buffer's text up to its first terminator,
        // which is "@" and the flags text when there was a flags part.
        TextCopy(nameOut, nameCap, buffer);
    }
    return flags;
}

int LangLcidListHolds(const char *list, const char *text)
{
    if (!list || !text || list[0] == '\0' || text[0] == '\0')
        return 0;
    const char *p = list;
    for (;;) {
        char item[kLangLcidItemChars + 1];
        const char *rest = CopyToken(p, item, sizeof(item), ",");
        if (!rest)
            return 0;
        TrimBlanks(item);
        if (TextCompareNoCase(item, text) == 0)
            return 1;
        if (*rest == '\0')
            return 0;
        p = rest;
    }
}

int LangTableLoadsFromLibrary(int loadFlags)
{
    if (loadFlags & 4)
        return 0;
    if (loadFlags & 1)
        return 0;
    if (loadFlags & 2)
        return 0;
    return (loadFlags & LANG_LOAD_LIBRARY) != 0;
}

LangTable *LangTableCreate(const char *libraryPath, int loadFlags)
{
    int32_t pool = PoolCreate(kLangPoolSizeHint, kLangPoolFlags);
    if (pool == -1)
        return nullptr;
    Arena arena;
    ArenaInit(&arena, pool);
    LangTable *table = (LangTable *)ArenaAlloc(&arena, (uint32_t)sizeof(LangTable));
    if (!table) {
        PoolDestroy(pool);
        return nullptr;
    }
    // From here on the arena record is the one inside the table.
    table->arena = arena;
    table->pool = pool;
    table->loadFlags = loadFlags;
    table->languageCount = 0;
    if (!TextCopy(table->libraryPath, sizeof(table->libraryPath), libraryPath ? libraryPath : ""))
        goto fail;
    table->entries = KeyedTableCreate(kLangBuckets, &table->arena);
    if (!table->entries)
        goto fail;
    return table;

fail:
    LangTableClose(table);
    return nullptr;
}

int ResLastError;

int LangTableParse(LangTable *table, const unsigned char *data, uint32_t size)
{
    ByteReader c = {data, size, 0, 0};
    char text[kLangItemChars + 1];
    uint32_t magic, version, splashType, defaultLanguage, count, entryCount;
    int firstEligible;
    int result;   // the code; every failure goes to `done` with its own

    // The magic comes first: nothing else is read from a foreign resource.
    magic = ReaderU32(&c);
    if (c.err) {
        result = LANG_ERR_TRUNCATED;
        goto done;
    }
    if (magic != (uint32_t)kLangMagic) {
        result = LANG_ERR_BAD_MAGIC;
        goto done;
    }
    version = ReaderU16(&c);
    if (c.err) {
        result = LANG_ERR_TRUNCATED;
        goto done;
    }
    if (version > kLangMaxVersion) {
        result = LANG_ERR_BAD_VERSION;
        goto done;
    }
    ReaderTake(&c, 2);  // not read
    splashType = ReaderU16(&c);
    defaultLanguage = ReaderU8(&c);
    count = ReaderU8(&c);
    if (c.err) {
        result = LANG_ERR_TRUNCATED;
        goto done;
    }
    if (count > kLangMaxLanguages) {
        result = LANG_ERR_TOO_MANY_LANGUAGES;
        goto done;
    }
    table->splashType = (int)splashType;

    firstEligible = -1;
    for (uint32_t i = 0; i < count; i++) {
        ReadCountedText(&c, text, sizeof(text));
        if (c.err) {
            result = LANG_ERR_TRUNCATED;
            goto done;
        }
        table->languageFlags[i] = LangSplitItem(text, table->languageNames[i], kLangNameBuffer,
                                                table->lcidLists[i], kLangLcidBuffer);
        table->languageCount = (int)i + 1;
        if (firstEligible < 0 && (table->languageFlags[i] & LANG_FLAG_ELIGIBLE))
            firstEligible = (int)i;
    }
    if (defaultLanguage < count && (table->languageFlags[defaultLanguage] & LANG_FLAG_ELIGIBLE))
        table->defaultLanguage = (int)defaultLanguage;
    else
        table->defaultLanguage = firstEligible;

    ReaderTake(&c, 1);  // not read
    entryCount = ReaderU16(&c);
    if (c.err) {
        result = LANG_ERR_TRUNCATED;
        goto done;
    }
    // Without the index every insert walks its chain, and the hash sums
    // bytes, so a chain of a large table holds thousands of keys. A failed
    // reserve only makes inserts slower.
    KeyedTableReserve(table->entries, entryCount);

    for (uint32_t e = 0; e < entryCount; e++) {
        ReadCountedText(&c, text, sizeof(text));
        uint32_t kind = ReaderU8(&c);
        if (c.err) {
            result = LANG_ERR_TRUNCATED;
            goto done;
        }
        char key[kLangLoadKeyChars + 1];
        if (!FormatKey(key, sizeof(key), text, (int)kind)) {
            result = LANG_ERR_KEY_TOO_LONG;
            goto done;
        }

        // The entry and its value slots are one piece; a failure leaves what
        // was taken in the arena, which the table's close releases.
        uint32_t slots = count * (uint32_t)sizeof(LangValue);
        LangEntry *entry = (LangEntry *)ArenaAlloc(&table->arena, (uint32_t)sizeof(LangEntry) + slots);
        if (!entry) {
            result = LANG_ERR_NO_MEMORY_ENTRY;
            goto done;
        }
        entry->values = (LangValue *)(entry + 1);
        entry->kind = (int)kind;
        entry->name = CopyText(&table->arena, text, strlen(text));
        if (!entry->name) {
            result = 0;
            goto done;
        }
        for (uint32_t i = 0; i < count; i++) {
            uint32_t type = ReaderU8(&c);
            char *value;
            if (type == LANG_VALUE_NUMBER) {
                char number[kDecimalBuffer];
                uint32_t n = ReaderU16(&c);
                FormatDecimal(number, sizeof(number), n);
                value = CopyText(&table->arena, number, strlen(number));
            } else {
                value = CopyCountedText(&c, &table->arena);
            }
            if (c.err) {
                result = LANG_ERR_TRUNCATED;
                goto done;
            }
            if (!value) {
                result = 0;
                goto done;
            }
            entry->values[i].type = (int)type;
            entry->values[i].text = value;
        }
        entry->valueCount = (int)count;
        if (KeyedTableInsert(table->entries, key, entry, 0) != KEYED_STORED) {
            result = LANG_ERR_DUPLICATE_KEY;
            goto done;
        }
    }
    result = LANG_PARSED;
done:
    table->failOffset = c.pos;
    return result;
}

LangTable *LangTableLoadWith(const char *libraryPath, int loadFlags, LangResourceFetch fetch)
{
    LangTable *table = LangTableCreate(libraryPath, loadFlags);
    if (!table)
        return nullptr;
    if (!LangTableLoadsFromLibrary(loadFlags))
        return table;
    uint32_t size = 0;
    unsigned char *copy = fetch ? fetch(libraryPath, table->pool, &size) : nullptr;
    int result = copy ? LangTableParse(table, copy, size) : 0;
    if (result < 0)
        ResLastError = result;
    if (copy)
        BlockFree(table->pool, copy);
    if (result != LANG_PARSED) {
        LangTableClose(table);
        return nullptr;
    }
    return table;
}

int LangTableClose(LangTable *table)
{
    if (!table)
        return 0;
    int32_t pool = table->pool;
    KeyedTableRelease(table->entries);
    // The table is in its own arena: nothing of it is read after this.
    ArenaRelease(&table->arena);
    PoolDestroy(pool);
    return 1;
}

int LangTableLookup(const LangTable *table, const char *name, int kind, char *textOut, size_t cap)
{
    if (!table || !name)
        return 0;
    char key[kLangLookupKeyChars + 1];
    // A cut key could name another entry: a key that does not fit finds nothing.
    if (!FormatKey(key, sizeof(key), name, kind))
        return 0;
    void *value = nullptr;
    if (!KeyedTableLookup(table->entries, key, &value))
        return 0;
    const LangEntry *entry = (const LangEntry *)value;
    int current = table->currentLanguage;
    if (current < 0 || current >= entry->valueCount)
        return 0;
    const char *text = entry->values[current].text;
    if (cap == 0 || strlen(text) > cap - 1)
        return 0;
    TextCopy(textOut, cap, text);
    return 1;
}

int LangTableSplashType(const LangTable *table)
{
    if (!table || !(table->loadFlags & LANG_LOAD_SPLASH_MASK))
        return -1;
    return table->splashType;
}

int LangTableFind(const LangTable *table, const char *name)
{
    if (!table || !name)
        return -1;
    for (int i = 0; i < table->languageCount; i++) {
        if (TextCompareNoCase(table->languageNames[i], name) == 0)
            return i;
    }
    return -1;
}

int LangTableSelect(LangTable *table, const char *name)
{
    if (!table)
        return 0;
    int index = LangTableFind(table, name);
    if (index < 0)
        return 0;
    table->currentLanguage = index;
    return 1;
}

int LangTableDefaultName(const LangTable *table, char *nameOut, size_t cap)
{
    if (!table)
        return 0;
    int index = table->defaultLanguage;
    if (index < 0 || index >= table->languageCount)
        return 0;
    const char *name = table->languageNames[index];
    if (cap == 0 || strlen(name) > cap - 1)
        return 0;
    TextCopy(nameOut, cap, name);
    return 1;
}

int LangTableMatchLcid(const LangTable *table, const char *lcidText, char *nameOut, size_t cap)
{
    if (cap == 0)
        return 0;
    nameOut[0] = '\0';
    if (!table)
        return 0;
    for (int i = 0; i < table->languageCount; i++) {
        if ((table->loadFlags & LANG_LOAD_LIBRARY) && !(table->languageFlags[i] & LANG_FLAG_ELIGIBLE))
            continue;
        if (LangLcidListHolds(table->lcidLists[i], lcidText)) {
            // Names are at most 51 characters; a smaller buffer gets no
            // partial name that could select another language.
            if (strlen(table->languageNames[i]) > cap - 1)
                return 0;
            TextCopy(nameOut, cap, table->languageNames[i]);
            return 1;
        }
    }
    return 0;
}
