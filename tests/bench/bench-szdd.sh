#!/usr/bin/env bash
# Compares our SZDD compressor with Debian's mscompress on text, executables,
# random data and a ~100 MB mixed input: compressed size, ratio, compress
# speed and peak memory (max RSS), and the speed of our expander (the base
# expander behind `szdd expand`). Every file is checked on the way: ours must
# expand with msexpand and with our own expander, and our expander must read
# mscompress's files.
#
# usage: tests/bench/bench-szdd.sh [SZDD_BINARY]
#   Without an argument, the tool is built as a release build (-O2, no
#   sanitizers) in build/bench-release.
#   BENCH_REPEAT (default 3): runs per measurement, the fastest one counts.
#   BENCH_BIG_MB (default 100): size of the large input; 0 leaves it out.
#   BENCH_EXE: an extra executable to include (a MinGW-built .exe, say).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
repeat=${BENCH_REPEAT:-3}

for tool in mscompress msexpand awk cmp cmake ninja; do
    command -v "$tool" >/dev/null || { echo "bench-szdd: $tool not found (apt-get install mscompress)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-szdd.XXXXXX")
trap 'rm -rf "$work"' EXIT

szdd=${1:-}
if [ -z "$szdd" ]; then
    rel=$root/build/bench-release
    cmake -S "$root" -B "$rel" -G Ninja -DCORVANE_TOOLS_ONLY=ON -DCORVANE_SANITIZE=OFF \
        -DCORVANE_FUZZ=OFF -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
        -DCMAKE_C_COMPILER=cc -DCMAKE_CXX_COMPILER=c++ >/dev/null
    cmake --build "$rel" --target szdd >/dev/null
    szdd=$rel/tools/szdd/szdd
fi

# --- inputs ---------------------------------------------------------------
mkdir "$work/in"
inputs=()

# Text: the licence texts and man page sources, about 4 MB.
{
    find -L /usr/share/common-licenses -type f -print0 | sort -z | xargs -0 cat
    find /usr/share/man/man1 -name '*.gz' -print0 2>/dev/null | sort -z | xargs -0 zcat 2>/dev/null || true
} | head -c 4000000 > "$work/in/text.txt"
inputs+=(text.txt)

add_copy() {  # add_copy NAME PATH: adds a copy of PATH when it exists
    if [ -f "$2" ]; then
        cp "$2" "$work/in/$1"
        inputs+=("$1")
    fi
}
add_copy cmake.elf /usr/bin/cmake
# A Windows PE file, as on real media: one of Wine's own DLLs.
for dll in /usr/lib/i386-linux-gnu/wine/i386-windows/comctl32.dll /usr/lib/wine/i386-windows/comctl32.dll; do
    if [ -f "$dll" ]; then
        add_copy comctl32.dll "$dll"
        break
    fi
done
if [ -n "${BENCH_EXE:-}" ]; then
    add_copy "$(basename "$BENCH_EXE")" "$BENCH_EXE"
fi
head -c 1048576 /dev/urandom > "$work/in/random.bin"
inputs+=(random.bin)
# The large input: the others (without the random data) over and over, a
# payload of the size the streaming compressor must handle in little memory.
big_mb=${BENCH_BIG_MB:-100}
if [ "$big_mb" -gt 0 ]; then
    want=$((big_mb * 1000000))
    : > "$work/in/big.bin"
    while [ "$(stat -c %s "$work/in/big.bin")" -lt "$want" ]; do
        for name in "${inputs[@]}"; do
            [ "$name" = random.bin ] || cat "$work/in/$name" >> "$work/in/big.bin"
        done
    done
    truncate -s "$want" "$work/in/big.bin"
    inputs+=(big.bin)
fi

# --- measurement ------------------------------------------------------------
# max_rss CMD...: peak resident memory of one run, in KiB.
max_rss() {
    /usr/bin/time -f '%M' -o "$work/rss" "$@" >/dev/null 2>&1
    cat "$work/rss"
}

# best_cpu CMD...: least CPU time (user + system, children included) of
# $repeat runs, in seconds. CPU time rather than wall time, so that other work
# on a shared machine does not blur the figures.
best_cpu() {
    local best="" t i
    for ((i = 0; i < repeat; i++)); do
        t=$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ print $1 + $2 }')
        if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

run_mscompress() {  # mscompress writes NAME_ beside NAME
    rm -f "$work/ms/$1_"
    (cd "$work/ms" && mscompress "$1")
}

fail=0
check() {  # check WHAT EXPECTED ACTUAL
    if ! cmp -s "$2" "$3"; then
        echo "bench-szdd: FAIL: $1" >&2
        fail=1
    fi
}

mkdir "$work/ours" "$work/ms"
rows=()
for name in "${inputs[@]}"; do
    in=$work/in/$name
    ours=$work/ours/$name.sz
    cp "$in" "$work/ms/$name"
    cpu_ours=$(best_cpu "$szdd" compress "$in" "$ours")
    rss_ours=$(max_rss "$szdd" compress "$in" "$ours")
    cpu_ms=$(best_cpu run_mscompress "$name")
    cpu_expand=$(best_cpu "$szdd" expand "$ours" "$work/x0")
    rm -f "$work/x0"
    ms=$work/ms/${name}_

    msexpand < "$ours" > "$work/x1"
    check "$name: msexpand of our file" "$in" "$work/x1"
    "$szdd" expand "$ours" "$work/x2"
    check "$name: our expand of our file" "$in" "$work/x2"
    "$szdd" expand "$ms" "$work/x3"
    check "$name: our expand of mscompress's file" "$in" "$work/x3"
    rm -f "$work/x1" "$work/x2" "$work/x3"

    rows+=("$name $(stat -c %s "$in") $(stat -c %s "$ours") $cpu_ours $(stat -c %s "$ms") $cpu_ms $rss_ours $cpu_expand")
    rm -f "$work/ms/$name" "$ms" "$ours"
done

# --- table ------------------------------------------------------------------
printf '%s\n' "${rows[@]}" | awk -v repeat="$repeat" '
function mbs(bytes, seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0 }
BEGIN {
    printf "%-14s %10s | %10s %7s %8s %9s %9s | %10s %7s %8s\n", "input", "size", "szdd", "ratio", "MB/s", "max RSS", "exp MB/s", "mscompress", "ratio", "MB/s"
}
{
    printf "%-14s %10d | %10d %6.2f%% %8.1f %6.1f MB %9.1f | %10d %6.2f%% %8.1f\n", $1, $2,
        $3, 100 * $3 / $2, mbs($2, $4), $7 / 1024, mbs($2, $8),
        $5, 100 * $5 / $2, mbs($2, $6)
    total += $2; o += $3; m += $5; t += $4; te += $8; tm += $6
}
END {
    printf "%-14s %10d | %10d %6.2f%% %8.1f %9s %9.1f | %10d %6.2f%% %8.1f\n", "total", total, o, 100 * o / total, mbs(total, t), "", mbs(total, te), m, 100 * m / total, mbs(total, tm)
    printf "(ratio = compressed/original, header included; MB/s = input (expanded size) over the least CPU time of %d runs,\n", repeat
    printf " 1 MB = 10^6 bytes; max RSS = peak resident memory of one compress run; exp = szdd expand of our file)\n"
}'

if [ "$fail" -ne 0 ]; then
    echo "bench-szdd: round-trip checks FAILED" >&2
    exit 1
fi
echo "all round trips verified (msexpand and szdd expand)"
