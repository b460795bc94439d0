// Fuzzes the language table parser with arbitrary resource bytes, then the
// lookups and the language choice on every table it accepts. Code page 932
// when bit 0 of byte 6 (a header field the launcher never reads) is set.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base/platform.h"
#include "base/text.h"
#include "resmodule/keyedtable.h"
#include "resmodule/langtable.h"

static void Check(bool condition)
{
    if (!condition)
        abort();
}

static bool KnownCode(int code)
{
    return code == 0 || code == LANG_ERR_NO_MEMORY_ENTRY || code == LANG_ERR_DUPLICATE_KEY ||
           code == LANG_ERR_BAD_MAGIC || code == LANG_ERR_TOO_MANY_LANGUAGES || code == LANG_ERR_BAD_VERSION ||
           code == LANG_ERR_TRUNCATED || code == LANG_ERR_KEY_TOO_LONG;
}

// The resource module's choice for a locale id text.
static void Choose(LangTable *t, const char *lcid)
{
    char name[kLangNameBuffer + 8];
    memset(name, 0x5A, sizeof name);
    int matched = LangTableMatchLcid(t, lcid, name, kLangNameBuffer);
    for (size_t i = kLangNameBuffer; i < sizeof name; i++)
        Check(name[i] == 0x5A);
    if (matched) {
        // Selection goes by name, so another language of the same name may
        // be the one selected; an eligible one of that name exists.
        bool eligible = false;
        for (int i = 0; i < t->languageCount; i++) {
            if (TextCompareNoCase(t->languageNames[i], name) == 0 &&
                (t->languageFlags[i] & LANG_FLAG_ELIGIBLE))
                eligible = true;
        }
        Check(eligible);
        Check(LangTableFind(t, name) >= 0);
    } else {
        Check(name[0] == '\0');
    }
    if (!LangTableSelect(t, name)) {
        LangTableDefaultName(t, name, kLangNameBuffer);
        LangTableSelect(t, name);
    }
    Check(t->currentLanguage >= 0);
    Check(t->languageCount == 0 || t->currentLanguage < t->languageCount);
}

static void Explore(LangTable *t)
{
    Check(t->languageCount >= 0 && t->languageCount <= kLangMaxLanguages);
    Check(t->defaultLanguage >= -1 && t->defaultLanguage < t->languageCount);
    if (t->defaultLanguage >= 0)
        Check(t->languageFlags[t->defaultLanguage] & LANG_FLAG_ELIGIBLE);
    for (int i = 0; i < t->languageCount; i++) {
        Check(strlen(t->languageNames[i]) <= kLangNameChars);
        Check(strlen(t->lcidLists[i]) <= kLangItemChars);
    }
    Check(LangTableSplashType(t) == t->splashType);

    // Each language's own LCID items select some eligible language.
    Choose(t, "1033");
    Choose(t, "");
    for (int i = 0; i < t->languageCount; i++) {
        char item[kLangLcidItemChars + 1];
        if (CopyToken(t->lcidLists[i], item, sizeof item, ",") && TrimBlanks(item))
            Choose(t, item);
    }

    // Every stored entry is found under its own name and kind.
    uint32_t seen = 0;
    for (uint32_t b = 0; b < t->entries->bucketCount; b++) {
        for (const KeyedNode *node = t->entries->buckets[b]; node; node = node->next) {
            seen++;
            const LangEntry *e = (const LangEntry *)node->value;
            Check(e->valueCount == t->languageCount);
            Check(KeyedTableHash(node->key, t->entries->bucketCount) == b);
            // The insert's index and odd chains know every stored key.
            Check(KeyedTableInsert(t->entries, node->key, nullptr, 0) == KEYED_EXISTS);
            char text[kLangValueBuffer];
            int found = LangTableLookup(t, e->name, e->kind, text, sizeof text);
            if (strlen(node->key) <= kLangLookupKeyChars && t->languageCount > 0) {
                Check(found == 1);
                Check(strcmp(text, e->values[t->currentLanguage].text) == 0);
            } else {
                Check(found == 0);
            }
            Check(LangTableLookup(t, e->name, e->kind + 256, text, sizeof text) == 0);
        }
    }
    Check(seen == t->entries->itemCount);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    HostSetCodePage(size > 6 && (data[6] & 1) ? 932 : 1252);
    LangTable *t = LangTableCreate("fuzz", LANG_LOAD_LIBRARY);
    Check(t != nullptr);
    int result = LangTableParse(t, data, (uint32_t)size);
    if (result == LANG_PARSED) {
        Explore(t);
    } else {
        Check(result == 0 || KnownCode(result));
        Check(t->failOffset <= size);
    }
    LangTableClose(t);
    HostSetCodePage(1252);
    return 0;
}
