#!/usr/bin/env bash
# SZDD expansion throughput as the launcher runs it: base/szdd.cpp (with the
# CRC-32 it keeps on the way) compiled with the launcher's code flags for
# i686 Windows and the launcher's own memcpy/memset, timed under Wine. The
# input is the kind of payload the start-up benchmark carries (Wine's Windows
# DLLs and the system's shared libraries, 60:40), compressed by our szdd
# tool; the sink takes the output and drops it, so the figure is the decoder
# and the CRC, without the file writes: MB/s of output over the best of nine
# passes, by the clock and by the thread's CPU time (steadier on a busy
# machine; Wine counts it in 10 ms ticks, so use a large input).
#
# usage: tests/bench/bench-expander.sh
#   BENCH_MB (64): size of the input in MB (10^6 bytes).
#   BENCH_SOURCES (this tree): a tree whose base/ is timed instead, to compare
#     with another commit (git worktree add /tmp/old COMMIT).
#   CORVANE_WINEPREFIX (/tmp/wineprefix-bench): the Wine prefix it runs in.
# A measurement, not a test; other work on the machine shows in the figure.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mb=${BENCH_MB:-64}
src=${BENCH_SOURCES:-$root}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

szdd=$root/build/host/tools/szdd/szdd
if [ ! -x "$szdd" ]; then
    echo "bench-expander: $szdd not found (cmake --build --preset host --target szdd)" >&2
    exit 1
fi

# The input: the first bytes of the files, in name order (the same machine
# gives the same bytes).
bytes=$((mb * 1000000))
{
    find /usr/lib/i386-linux-gnu/wine/i386-windows -maxdepth 1 -name '*.dll' -print0 | LC_ALL=C sort -z \
        | xargs -0 cat 2>/dev/null | head -c $((bytes * 6 / 10)) || true
    find /usr/lib/x86_64-linux-gnu -maxdepth 1 -type f -name '*.so*' -print0 | LC_ALL=C sort -z \
        | xargs -0 cat 2>/dev/null | head -c $((bytes - bytes * 6 / 10)) || true
} > "$out/input.bin"
"$szdd" compress "$out/input.bin" "$out/input.sz"

cat > "$out/bench.cpp" <<'CPP'
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "base/crc32.h"
#include "base/szdd.h"

static int Drop(void *ctx, const unsigned char *data, uint32_t len)
{
    (void)data;
    *(uint64_t *)ctx += len;
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    FILE *f = fopen(argv[1], "rb");
    if (!f)
        return 2;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char *data = (unsigned char *)malloc((size_t)size);
    if (!data || fread(data, 1, (size_t)size, f) != (size_t)size)
        return 2;
    fclose(f);
    static Crc32Table table;
    Crc32Init(&table);
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    double best = 1e9, bestCpu = 1e9;
    SzddOutput result = {0, 0};
    for (int pass = 0; pass < 9; pass++) {
        uint64_t got = 0;
        FILETIME created, ended, kernel0, user0, kernel1, user1;
        GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel0, &user0);
        QueryPerformanceCounter(&a);
        int r = SzddExpand(data, (uint32_t)size, &table, 0, Drop, &got, &result);
        QueryPerformanceCounter(&b);
        GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel1, &user1);
        if (r != SZDD_OK)
            return 1;
        double s = (double)(b.QuadPart - a.QuadPart) / (double)freq.QuadPart;
        double cpu = ((double)(((uint64_t)user1.dwHighDateTime << 32 | user1.dwLowDateTime) -
                               ((uint64_t)user0.dwHighDateTime << 32 | user0.dwLowDateTime)) +
                      (double)(((uint64_t)kernel1.dwHighDateTime << 32 | kernel1.dwLowDateTime) -
                               ((uint64_t)kernel0.dwHighDateTime << 32 | kernel0.dwLowDateTime))) / 1e7;
        if (s < best)
            best = s;
        if (cpu > 0 && cpu < bestCpu)
            bestCpu = cpu;
    }
    printf("expand %u bytes (crc %08x) from %ld: %.0f MB/s elapsed, %.0f MB/s of CPU time\n",
           (unsigned)result.length, (unsigned)result.crc, size, result.length / best / 1e6,
           result.length / bestCpu / 1e6);
    return 0;
}
CPP
# The launcher's code generation flags (cmake/Win32Build.cmake CORVANE_SETUP_COMPILE)
# for the code under test; the launcher's string-instruction memcpy and memset.
flags=(${BENCH_OPT:--Oz} -fno-inline-small-functions -ffreestanding -fomit-frame-pointer -mno-stack-arg-probe
       -mpreferred-stack-boundary=2 -mtune=i386 -fno-exceptions -fno-rtti)
for file in base/szdd.cpp base/crc32.cpp base/bytes.cpp base/platform_win32.cpp base/crt_win32.cpp; do
    i686-w64-mingw32-g++ "${flags[@]}" -I"$src" -c "$src/$file" -o "$out/$(basename "$file" .cpp).o"
done
i686-w64-mingw32-g++ -O2 -I"$src" -c "$out/bench.cpp" -o "$out/bench.o"
i686-w64-mingw32-g++ "$out"/*.o -static -o "$out/bench.exe"
export WINEPREFIX=${CORVANE_WINEPREFIX:-/tmp/wineprefix-bench}
export WINEDEBUG=-all
wine "$out/bench.exe" "$(printf 'Z:%s' "${out//\//\\}")\\input.sz"
