// The splash choice from the language table.
#include "splash/splashchoice.h"

#include "base/ids.h"
#include "base/text.h"
#include "resmodule/langtable.h"

static const char kSplashEntry[] = "SPLASH";

int SplashChooseFromTable(const LangTable *table, int *typeOut, int *idOut)
{
    int type = LangTableSplashType(table);
    *typeOut = type;
    if (type == SPLASH_TYPE_NONE)
        return 1;

    char name[kSplashNameBuffer] = "";
    if (!LangTableLookup(table, kSplashEntry, kSplashEntryKind, name, sizeof name))
        return 0;
    if (type == SPLASH_TYPE_DEFAULT)
        return 0;

    char text[kSplashIdBuffer] = "";
    if (!LangTableLookup(table, name, type, text, sizeof text))
        return 0;
    *idOut = (int)ParseDecimal(text);
    return 1;
}
