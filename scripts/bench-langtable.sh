#!/usr/bin/env bash
# Benchmark of the language table at the largest size the format allows
# (30 languages, 65535 entries): load time with the launcher's parser, the
# time to look up every entry, and the longest hash chain. Built without
# sanitizers, in release mode, in a build directory of its own.
#
# usage: scripts/bench-langtable.sh [ROUNDS]   (default 5; median and least are shown)
#   BENCH_BUILD_DIR: the build directory (default build/bench-langtable)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-langtable}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target langtable_bench >/dev/null
"$build/tools/langtable/langtable_bench" "${1:-5}"
