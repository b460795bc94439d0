// Benchmark of the language table at the largest size the format allows:
// 30 languages and 65535 entries. Loads it with the launcher's parser and
// looks up every entry. Not a test; scripts/bench-langtable.sh runs it on an
// unsanitized release build.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/state.h"
#include "resmodule/langtable.h"
#include "tools/langtable/ltdesc.h"

namespace {

// CPU time of the process, so that other work on a shared machine does not
// blur the figures.
double CpuSeconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// Entry names as a real table has them: decimal resource ids, kind 1 (string).
lt::Table BuildLargest()
{
    lt::Table t;
    t.splashType = 2;
    for (int i = 0; i < kLangMaxLanguages; i++) {
        lt::Language l;
        char item[64];
        snprintf(item, sizeof(item), "Language%02d;%d,%d", i, 1024 + i, 2048 + i);
        l.item = item;
        t.languages.push_back(l);
    }
    for (int e = 0; e < kLangMaxEntries; e++) {
        lt::Entry entry;
        entry.name = std::to_string(e);
        entry.kind = 1;
        for (int i = 0; i < kLangMaxLanguages; i++) {
            lt::Value v;
            // Half numbers, half texts, as ids and names would be mixed.
            if (i % 2 == 0) {
                v.type = LANG_VALUE_NUMBER;
                v.number = (uint16_t)(e + i);
            } else {
                v.type = 0;
                v.text = "T" + std::to_string(e) + "/" + std::to_string(i);
            }
            entry.values.push_back(v);
        }
        t.entries.push_back(entry);
    }
    return t;
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds < 1)
        rounds = 1;
    std::vector<uint8_t> bytes = lt::Encode(BuildLargest());
    printf("table: %d languages, %d entries, %zu bytes\n", kLangMaxLanguages, kLangMaxEntries, bytes.size());

    std::vector<double> loads, lookups;
    uint32_t longest = 0, used = 0;
    for (int r = 0; r < rounds; r++) {
        double t0 = CpuSeconds();
        LangTable *table = LangTableCreate("bench", LANG_LOAD_LIBRARY);
        if (!table || !LangTableParse(table, bytes.data(), (uint32_t)bytes.size())) {
            fprintf(stderr, "load failed: %d\n", ResLastError);
            return 1;
        }
        double t1 = CpuSeconds();
        LangTableSelect(table, "Language29");
        char name[16], text[kLangValueBuffer];
        unsigned found = 0;
        for (int e = 0; e < kLangMaxEntries; e++) {
            snprintf(name, sizeof(name), "%d", e);
            found += (unsigned)LangTableLookup(table, name, 1, text, sizeof(text));
        }
        double t2 = CpuSeconds();
        if (found != (unsigned)kLangMaxEntries) {
            fprintf(stderr, "only %u of %d entries found\n", found, kLangMaxEntries);
            return 1;
        }
        longest = KeyedTableLongestChain(table->entries);
        used = 0;
        for (uint32_t b = 0; b < table->entries->bucketCount; b++)
            used += table->entries->buckets[b] != nullptr;
        loads.push_back(t1 - t0);
        lookups.push_back(t2 - t1);
        LangTableClose(table);
    }
    std::sort(loads.begin(), loads.end());
    std::sort(lookups.begin(), lookups.end());
    printf("rounds: %d; CPU time, median and least\n", rounds);
    printf("load:   %.1f ms, %.1f ms\n", loads[loads.size() / 2] * 1e3, loads[0] * 1e3);
    printf("lookup: %.1f ms, %.1f ms for %d lookups (%.2f us each, median)\n", lookups[lookups.size() / 2] * 1e3,
           lookups[0] * 1e3, kLangMaxEntries, lookups[lookups.size() / 2] * 1e6 / kLangMaxEntries);
    printf("chains: longest %u, %u of %d buckets used, %.1f keys per used bucket\n", longest, used, kLangBuckets,
           (double)kLangMaxEntries / (used ? used : 1));
    return 0;
}
