// Benchmark of the language table under Windows (Wine): LangTableLoad, as
// the launcher calls it at start-up (the library mapped as data, the resource
// copied, parsed, the copy released), and the close, of each library named on
// the command line. Not a test; scripts/bench-langtable.sh runs it.
//
// usage: langtable_bench_win ROUNDS LIBRARY...
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "resmodule/langtable.h"

static double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s ROUNDS LIBRARY...\n", argv[0]);
        return 2;
    }
    int rounds = atoi(argv[1]);
    if (rounds < 1)
        rounds = 1;
    for (int a = 2; a < argc; a++) {
        std::vector<double> loads, closes;
        unsigned blocks = 0, entries = 0;
        char text[kLangValueBuffer] = "";
        for (int r = 0; r < rounds; r++) {
            double t0 = Seconds();
            LangTable *table = LangTableLoad(argv[a], LANG_LOAD_LIBRARY);
            double t1 = Seconds();
            if (!table) {
                fprintf(stderr, "%s: the table did not load\n", argv[a]);
                return 1;
            }
            blocks = table->arena.blockCount + table->entries->nodes.blockCount;
            entries = table->entries->itemCount;
            LangTableSelect(table, "Deutsch");
            if (!LangTableLookup(table, "7061", 1, text, sizeof text)) {
                fprintf(stderr, "%s: no entry 7061\n", argv[a]);
                return 1;
            }
            double t2 = Seconds();
            LangTableClose(table);
            closes.push_back(Seconds() - t2);
            loads.push_back(t1 - t0);
        }
        std::sort(loads.begin(), loads.end());
        std::sort(closes.begin(), closes.end());
        printf("%s\n  entries %u; 7061 in Deutsch: %s; blocks held: %u (and 1 for the resource copy while "
               "loading)\n  load:  %.3f ms median, %.3f ms least of %d\n  close: %.3f ms median\n",
               argv[a], entries, text, blocks, loads[loads.size() / 2] * 1e3, loads[0] * 1e3, rounds,
               closes[closes.size() / 2] * 1e3);
    }
    return 0;
}
