// Benchmark of the language table under Windows (Wine): LangTableLoad on its
// own (the library mapped as data, the resource copied, parsed, the copy
// released), LangTableLoad as the launcher calls it at start-up (the library
// already open in the resource module), and the close, of each library named
// on the command line. Not a test; tests/bench/bench-langtable.sh runs it.
//
// usage: langtable_bench_win ROUNDS LIBRARY...
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "resmodule/langtable.h"
#include "resmodule/reslibrary.h"

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
        std::vector<double> loads, closes, maps, parses;
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
            // The part of a load that is the platform's: mapping the library.
            double t3 = Seconds();
            HMODULE module = LoadLibraryExA(argv[a], nullptr, LOAD_LIBRARY_AS_DATAFILE);
            if (module)
                FreeLibrary(module);
            maps.push_back(Seconds() - t3);
        }
        // The table's own share: the parse of the resource bytes, already in
        // memory, and the close.
        HMODULE module = LoadLibraryExA(argv[a], nullptr, LOAD_LIBRARY_AS_DATAFILE);
        HRSRC info = module ? FindResourceA(module, MAKEINTRESOURCEA(100), MAKEINTRESOURCEA(1001)) : nullptr;
        HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
        const unsigned char *bytes = loaded ? (const unsigned char *)LockResource(loaded) : nullptr;
        if (!bytes) {
            fprintf(stderr, "%s: no table resource\n", argv[a]);
            return 1;
        }
        for (int r = 0; r < rounds; r++) {
            double t0 = Seconds();
            LangTable *table = LangTableCreate(argv[a], LANG_LOAD_LIBRARY);
            if (!table || LangTableParse(table, bytes, SizeofResource(module, info)) != LANG_PARSED) {
                fprintf(stderr, "%s: the table did not parse\n", argv[a]);
                return 1;
            }
            LangTableClose(table);
            parses.push_back(Seconds() - t0);
        }
        FreeLibrary(module);
        // As the launcher loads it: the resource module has the library
        // open already, and the table is read where it is mapped.
        std::vector<double> opened;
        if (!LibraryOpen(argv[a])) {
            fprintf(stderr, "%s: the library did not open\n", argv[a]);
            return 1;
        }
        for (int r = 0; r < rounds; r++) {
            double t0 = Seconds();
            LangTable *table = LangTableLoad(argv[a], LANG_LOAD_LIBRARY);
            opened.push_back(Seconds() - t0);
            if (!table) {
                fprintf(stderr, "%s: the table did not load from the open library\n", argv[a]);
                return 1;
            }
            LangTableClose(table);
        }
        LibraryClose(argv[a]);
        std::sort(opened.begin(), opened.end());
        std::sort(loads.begin(), loads.end());
        std::sort(closes.begin(), closes.end());
        std::sort(maps.begin(), maps.end());
        std::sort(parses.begin(), parses.end());
        printf("%s\n  entries %u; 7061 in Deutsch: %s; blocks held: %u (and 1 for the resource copy while "
               "loading)\n  LangTableLoad:          %.3f ms median, %.3f ms least of %d\n"
               "  library mapped, freed:  %.3f ms median (LoadLibraryExA as data file, FreeLibrary)\n"
               "  with the library open:  %.3f ms median (as the launcher loads it at start-up)\n"
               "  parse and close alone:  %.3f ms median (the resource already in memory)\n"
               "  close:                  %.3f ms median\n",
               argv[a], entries, text, blocks, loads[loads.size() / 2] * 1e3, loads[0] * 1e3, rounds,
               maps[maps.size() / 2] * 1e3, opened[opened.size() / 2] * 1e3, parses[parses.size() / 2] * 1e3, closes[closes.size() / 2] * 1e3);
    }
    return 0;
}
