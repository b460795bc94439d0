#!/usr/bin/env bash
# SZDD expansion throughput: the launcher's expander (base/szdd.cpp, with the
# CRC-32 it keeps on the way, base/crc32.cpp) in up to two lanes, on the same
# input:
#   host  compiled natively with the host compiler at -O2
#         (tests/bench/expander_host.cpp), beside zlib's inflate of the same
#         bytes (deflated at level 9; with and without our CRC-32 over its
#         output) and a plain memcpy of them: what the decoder costs against
#         a widely used one and against not decoding at all. Every contender
#         hands its output to a 64 KiB buffer that is dropped, as the
#         launcher's sink does without the file writes. MB/s of output, the
#         median of interleaved rounds, by the clock and by the thread's CPU
#         time (steadier on a busy machine). Runs on every machine.
#   wine  compiled with the launcher's code flags for i686 Windows and the
#         launcher's own memcpy/memset, timed under the 32-bit Wine: the
#         product's own code generation, best of nine passes. Runs only where
#         scripts/machine-32bit.sh says native: under qemu-user it would time
#         the emulator's translation, not the expander.
# The input is the kind of payload an installer carries: Windows DLLs (45 %,
# Wine's x86-64 ones), the system's shared libraries (30 %) and C headers as
# text (25 %), each part the first bytes of those files in name order (the
# same machine gives the same bytes); compressed by the project's szdd tool,
# built natively in build/bench-tools.
#
# usage: tests/bench/bench-expander.sh
#   BENCH_MB (64): size of the input in MB (10^6 bytes).
#   BENCH_ROUNDS (9): rounds of the host lane.
#   BENCH_WINE (auto): the wine lane: auto (where 32-bit programs run
#     natively), yes (also under emulation: very slow), no.
#   BENCH_SOURCES (this tree): a tree whose base/ is timed instead, to compare
#     with another commit (git worktree add /tmp/old COMMIT).
#   CORVANE_WINEPREFIX (/tmp/wineprefix-bench): the prefix of the wine lane.
# A measurement, not a test; other work on the machine shows in the figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mb=${BENCH_MB:-64}
rounds=${BENCH_ROUNDS:-9}
src=${BENCH_SOURCES:-$root}
machine=$("$root/scripts/machine-32bit.sh")
wine_lane=${BENCH_WINE:-auto}
if [ "$wine_lane" = auto ]; then
    wine_lane=no
    [ "$machine" = native ] && wine_lane=yes
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for tool in cmake ninja c++; do
    command -v "$tool" >/dev/null || { echo "bench-expander: $tool not found (scripts/install-deps.sh)" >&2; exit 1; }
done
if [ ! -f /usr/include/zlib.h ]; then
    echo "bench-expander: zlib's header not found (zlib1g-dev; scripts/install-deps.sh)" >&2
    exit 1
fi

# The szdd tool, in a tree of its own (the presets' trees may be busy).
tools=$root/build/bench-tools
if [ ! -f "$tools/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$tools" -G Ninja -DCORVANE_TOOLS_ONLY=ON -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++ > "$out/cmake.log" 2>&1 \
        || { cat "$out/cmake.log" >&2; exit 1; }
fi
cmake --build "$tools" --target szdd -j 2 > "$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }
szdd=$tools/tools/szdd/szdd

# part BYTES DIR FIND-ARGS...: the first BYTES bytes of the files that find
# gives, in name order.
part() {
    local bytes=$1 dir=$2
    shift 2
    find "$dir" "$@" -type f -print0 | LC_ALL=C sort -z | xargs -0 cat 2>/dev/null \
        | head -c "$bytes" || true   # cat is cut off by head on purpose
}
bytes=$((mb * 1000000))
dlls=$((bytes * 45 / 100))
solibs=$((bytes * 30 / 100))
{
    part "$dlls" /usr/lib/x86_64-linux-gnu/wine/x86_64-windows -maxdepth 1 -name '*.dll'
    part "$solibs" /usr/lib/x86_64-linux-gnu -maxdepth 1 -name '*.so*'
    part $((bytes - dlls - solibs)) /usr/include -name '*.h'
} > "$out/input.bin"
if [ "$(stat -c %s "$out/input.bin")" -ne "$bytes" ]; then
    echo "bench-expander: not enough files for $mb MB of input" >&2
    exit 1
fi
"$szdd" compress "$out/input.bin" "$out/input.sz" > "$out/szdd.log" 2>&1 || { cat "$out/szdd.log" >&2; exit 1; }

echo "machine: $(uname -m), $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo);" \
     "32-bit programs: $machine (scripts/machine-32bit.sh); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "the machine may be loaded by other work: the host lane's figures are medians, CPU time the steadier"
echo "input: $mb MB (45 % Windows DLLs, 30 % shared libraries, 25 % C headers)"

# --- host lane ------------------------------------------------------------------
rc=0
echo
echo "host lane: natively, $(c++ --version | head -n 1), -O2; $rounds rounds, MB/s of output (10^6 bytes/s)"
for file in base/szdd.cpp base/crc32.cpp base/bytes.cpp base/platform_host.cpp; do
    c++ -O2 -Wall -Wextra -Werror -I"$src" -c "$src/$file" -o "$out/host-$(basename "$file" .cpp).o"
done
c++ -O2 -Wall -Wextra -Werror -Wshadow -I"$src" -c "$root/tests/bench/expander_host.cpp" -o "$out/host-bench.o"
c++ "$out"/host-*.o -lz -o "$out/expander_host"
"$out/expander_host" "$out/input.bin" "$out/input.sz" "$rounds" > "$out/host.txt" || rc=1
awk '
    $1 == "input" { printf "packed: szdd tool %.1f %%, zlib deflate -9 %.1f %% of the input\n", 100 * $4 / $2, 100 * $6 / $2 }
    $1 == "median" { mbps[$2] = $3; cpu[$2] = $4; lo[$2] = $5; hi[$2] = $6; order[++n] = $2 }
    $1 == "round" { t[$3, $2] = $4 }
    $1 == "fail" { print "FAILED: " $0 }
    END {
        printf "%-14s %12s %12s %16s %9s %15s\n", "", "median MB/s", "CPU MB/s", "range MB/s", "/inflate", "/inflate+crc32"
        for (i = 1; i <= n; i++) {
            k = order[i]
            printf "%-14s %12.0f %12.0f %16s %9.2f %15.2f\n", k, mbps[k], cpu[k], sprintf("%.0f-%.0f", lo[k], hi[k]),
                mbps[k] / mbps["inflate"], mbps[k] / mbps["inflate+crc32"]
        }
    }' "$out/host.txt"
echo "szdd+crc32: the launcher's expander; inflate: zlib's, with its Adler-32 check; inflate+crc32: the same"
echo "and our CRC-32 over its output (the work our expander does); memcpy: the bytes copied, no decoding."

# --- wine lane --------------------------------------------------------------------
echo
if [ "$wine_lane" != yes ]; then
    echo "wine lane (the i686 build under the 32-bit Wine): not run: this machine runs 32-bit programs: $machine;"
    echo "  under emulation it would time qemu, not the expander (BENCH_WINE=yes runs it anyway)"
else
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
    i686-w64-mingw32-g++ "$out"/bench.o "$out"/szdd.o "$out"/crc32.o "$out"/bytes.o "$out"/platform_win32.o \
        "$out"/crt_win32.o -static -o "$out/bench.exe"
    export CORVANE_WINEPREFIX=${CORVANE_WINEPREFIX:-/tmp/wineprefix-bench}
    echo "wine lane: i686, the launcher's flags (${flags[0]}), under the 32-bit Wine ($machine), best of nine passes"
    CORVANE_WINE_ARCH=win32 "$root/scripts/wine-run" "$out/bench.exe" \
        "$(printf 'Z:%s' "${out//\//\\}")\\input.sz" || rc=1
fi
echo
echo "rerun: BENCH_MB=$mb BENCH_ROUNDS=$rounds tests/bench/bench-expander.sh"
exit $rc
