// The table part of the splash choice: what the language table says the
// splash is. Portable, so that the tools judge a library with the very rule
// the launcher applies; SplashChoose (splash.h) adds the library module.
#pragma once

struct LangTable;

// `*typeOut` gets the table's splash type (LangTableSplashType: -1 without a
// table or when its load flags do not let it answer). Returns 1 when the
// table decides: for type 9 (no splash) at once, `*idOut` untouched; for
// another type when the SPLASH entry (kind 6) names an entry of the type's
// kind, `*idOut` then the decimal number of that entry's text (0 when it has
// none). Returns 0 to leave the choice to the default dialog 7500: no SPLASH
// entry, type 8, or no entry of that name and kind. A name longer than 59
// characters or an id text longer than 19 counts as not found: a cut name or
// number would name some other resource.
int SplashChooseFromTable(const LangTable *table, int *typeOut, int *idOut);
