#!/usr/bin/env bash
# Benchmark of the language table: the largest size the format allows (30
# languages, 65535 entries) and a common one (3 languages, 200 entries).
#
# Natively (langtable_bench, built without sanitizers in release mode, in a
# build directory of its own): CPU time of a load with the launcher's parser,
# the time to look up every entry, the longest hash chain, and the memory
# blocks the table holds.
#
# Under Wine (langtable_bench_win, the launcher's MinSizeRel flags, in a
# second build directory; skipped with --native-only or when the MinGW
# compiler or Wine is missing): LangTableLoad of resource libraries holding
# those two tables, as the launcher calls it at start-up, split into the
# platform's mapping of the library and the table's own parse. Wall-clock
# time: on a busy machine, the least of the rounds is the better figure.
#
# usage: tests/bench/bench-langtable.sh [--native-only] [ROUNDS]   (default 5; median and least are shown)
#   BENCH_BUILD_DIR:       the native build directory (default build/bench-langtable)
#   BENCH_WIN32_BUILD_DIR: the Windows build directory (default build/bench-langtable-win32)
#   CORVANE_WINEPREFIX:    the Wine prefix (scripts/wine-run)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
native_only=0
if [ "${1:-}" = "--native-only" ]; then
    native_only=1
    shift
fi
rounds=${1:-5}
build=${BENCH_BUILD_DIR:-$root/build/bench-langtable}
build_win=${BENCH_WIN32_BUILD_DIR:-$root/build/bench-langtable-win32}

echo "== native (CPU time)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target langtable_bench >/dev/null
"$build/tools/langtable/langtable_bench" "$rounds"

if [ "$native_only" = 1 ]; then
    exit 0
fi
if ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v wine >/dev/null; then
    echo "(no MinGW compiler or no Wine: the Windows figures are skipped)"
    exit 0
fi
echo
echo "== under Wine (wall-clock time)"
cmake -S "$root" -B "$build_win" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build_win" -j2 --target langtable_bench_win >/dev/null
libraries=$build_win/fixtures/resmodule
# Many rounds of the common table: one load is well under a millisecond.
"$root/scripts/wine-run" "$build_win/tests/fixtures/langtable_bench_win.exe" $((rounds * 60)) \
    "$libraries/lang_3x200.dll"
"$root/scripts/wine-run" "$build_win/tests/fixtures/langtable_bench_win.exe" "$rounds" \
    "$libraries/lang_largest.dll"
