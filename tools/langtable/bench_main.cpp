// Benchmark of the language table: the largest size the format allows (30
// languages, 65535 entries) and a common one (3 languages, 200 entries).
// Loads each with the launcher's parser and looks up every entry. Not a
// test; tests/bench/bench-langtable.sh runs it on an unsanitized release build.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resmodule/langtable.h"
#include "tools/lib/ltdesc.h"

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
lt::Table Build(int languages, int entries)
{
    lt::Table t;
    t.splashType = 2;
    for (int i = 0; i < languages; i++) {
        lt::Language l;
        char item[64];
        snprintf(item, sizeof(item), "Language%02d;%d,%d", i, 1024 + i, 2048 + i);
        l.item = item;
        t.languages.push_back(l);
    }
    for (int e = 0; e < entries; e++) {
        lt::Entry entry;
        entry.name = std::to_string(e);
        entry.kind = 1;
        for (int i = 0; i < languages; i++) {
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

struct Figures {
    std::vector<double> loads, lookups;   // seconds per load, per lookup of every entry
    uint32_t longest = 0, used = 0, blocks = 0, nodeBlocks = 0;
};

// Loads (and closes) the table `repeat` times per round and looks up every
// entry once per round.
bool Measure(int languages, int entries, int rounds, int repeat, Figures *f)
{
    std::vector<uint8_t> bytes = lt::Encode(Build(languages, entries));
    printf("table: %d languages, %d entries, %zu bytes\n", languages, entries, bytes.size());
    char last[16];
    snprintf(last, sizeof(last), "Language%02d", languages - 1);
    for (int r = 0; r < rounds; r++) {
        LangTable *table = nullptr;
        double t0 = CpuSeconds();
        for (int k = 0; k < repeat; k++) {
            LangTableClose(table);
            table = LangTableCreate("bench", LANG_LOAD_LIBRARY);
            const int result = table ? LangTableParse(table, bytes.data(), (uint32_t)bytes.size()) : 0;
            if (result != LANG_PARSED) {
                fprintf(stderr, "load failed: %d\n", result);
                return false;
            }
        }
        double t1 = CpuSeconds();
        LangTableSelect(table, last);
        char name[16], text[kLangValueBuffer];
        int found = 0;
        for (int e = 0; e < entries; e++) {
            snprintf(name, sizeof(name), "%d", e);
            found += LangTableLookup(table, name, 1, text, sizeof(text));
        }
        double t2 = CpuSeconds();
        if (found != entries) {
            fprintf(stderr, "only %d of %d entries found\n", found, entries);
            return false;
        }
        f->longest = KeyedTableLongestChain(table->entries);
        f->used = 0;
        for (uint32_t b = 0; b < table->entries->bucketCount; b++)
            f->used += table->entries->buckets[b] != nullptr;
        f->nodeBlocks = table->entries->nodes.blockCount;
        f->blocks = table->arena.blockCount + f->nodeBlocks;
        // Closing is part of the cost of every load but the last one.
        f->loads.push_back((t1 - t0) / repeat);
        f->lookups.push_back(t2 - t1);
        LangTableClose(table);
    }
    std::sort(f->loads.begin(), f->loads.end());
    std::sort(f->lookups.begin(), f->lookups.end());
    return true;
}

void Report(const Figures &f, int entries)
{
    double load = f.loads[f.loads.size() / 2], lookup = f.lookups[f.lookups.size() / 2];
    printf("load:   %.3f ms, %.3f ms\n", load * 1e3, f.loads[0] * 1e3);
    printf("lookup: %.3f ms, %.3f ms for %d lookups (%.2f us each, median)\n", lookup * 1e3, f.lookups[0] * 1e3,
           entries, lookup * 1e6 / entries);
    printf("chains: longest %u, %u of %d buckets used, %.1f keys per used bucket\n", f.longest, f.used, kLangBuckets,
           (double)entries / (f.used ? f.used : 1));
    printf("blocks: %u for the table (%u of them its keys), 1 for the resource copy\n", f.blocks, f.nodeBlocks);
}

}  // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 5;
    if (rounds < 1)
        rounds = 1;
    printf("rounds: %d; CPU time, median and least\n\n", rounds);
    Figures largest, common;
    if (!Measure(kLangMaxLanguages, kLangMaxEntries, rounds, 1, &largest))
        return 1;
    Report(largest, kLangMaxEntries);
    printf("\n");
    if (!Measure(3, 200, rounds, 1000, &common))
        return 1;
    Report(common, 200);
    return 0;
}
