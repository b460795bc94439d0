#!/usr/bin/env bash
# Start-up benchmark: how long from an installer's process start to its
# bootstrap running, for our setup.exe and for NSIS installers (zlib and lzma)
# that carry the same three payloads, extract them to $TEMP and start the
# first. Payload sets of about 6, 10 and 100 MB.
#
# usage: tests/bench/bench-startup.sh
#   BENCH_RUNS (5): measured runs per installer and size (the median counts),
#     after one warm-up run each that is not counted (it fills the page cache).
#   BENCH_SIZES ("6 10 100"): payload sets in MB (10^6 bytes).
#   BENCH_MEDIUM (auto): "tool" builds our medium with
#     build/host/tools/medium/medium build, "cmake" with a win32 build tree per
#     size (build/bench-<size>mb, CORVANE_PAYLOAD_* cache variables); auto
#     takes the tool when it has a build command. The tool writes setup.exe,
#     SETUP.INS and _SETUP.DLL into --out from the win32 tree's stub, with
#     --execution-level asInvoker (as the NSIS installers ask for the user's
#     level); BENCH_MEDIUM_ARGS adds arguments of its own (--stub, say).
#   BENCH_LAUNCHER_LDFLAGS (empty): extra linker flags for our launcher in the
#     cmake mode, to compare builds (say -Wl,--file-alignment=0x1000, which
#     lets Wine map the image from the file instead of reading it whole).
#   CORVANE_WINEPREFIX (/tmp/wineprefix-bench): the Wine prefix it runs in.
#
# What it does:
#   - builds the helpers in build/win32 (tests/bench: the bootstrap, which
#     writes the performance counter at its first instruction into the file
#     named by CORVANE_BENCH_STAMP, and the driver) and the sample _SETUP.DLL;
#   - makes each payload set in build/bench-payloads/<size>mb: the bootstrap,
#     an engine of Wine's Windows DLLs (60 %) and a companion of the system's
#     shared libraries (40 %), each the first bytes of those files in name
#     order, so the same machine gives the same bytes;
#   - builds our medium (setup.exe, SETUP.INS, _SETUP.DLL) and two NSIS
#     installers (SilentInstall silent, RequestExecutionLevel user, the three
#     files to $TEMP, Exec of the first) for each set; all are rebuilt only
#     when their payloads change;
#   - runs the driver under Wine in a virtual display: per size, each
#     installer in turn, TEMP emptied before every run; ours runs with -s (no
#     splash) and, as it stays up by design, is ended once its bootstrap has
#     started; the time is from just before CreateProcess to the bootstrap's
#     stamp (one monotonic clock for all processes); after the warm-up run
#     the extracted files are compared with the payloads;
#   - prints the table: per size the median and the fastest run of each
#     installer, the ratio ours/NSIS zlib of the medians, and our launcher's
#     memory from GetProcessMemoryInfo while it ran (peak working set; largest
#     private size, under Wine the anonymous resident memory, and that less
#     the size of setup.exe, which Wine reads whole into private memory).
# A measurement, not a test: not part of CTest or scripts/test.sh. Other work
# on the machine shows in the figures; rerun on a quiet machine to compare.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${BENCH_RUNS:-5}
sizes=${BENCH_SIZES:-"6 10 100"}
export CORVANE_WINEPREFIX=${CORVANE_WINEPREFIX:-/tmp/wineprefix-bench}
out=$root/build/bench-startup
payloads=$root/build/bench-payloads

# Wine's name for a Unix path (Z: is the Unix root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# ---------------------------------------------------------------------------
# The part that runs under Wine, in the display that the outer part made.
if [ "${1:-}" = "--measure" ]; then
    export WINEPREFIX=$CORVANE_WINEPREFIX
    rc=0
    for size in $sizes; do
        dir=$out/${size}mb
        timeout 600 "$root/scripts/wine-run" "$root/build/win32/tests/bench/bench_startup_driver.exe" \
            --temp 'C:\corvane-bench\temp' --stamp 'C:\corvane-bench\stamp.txt' \
            --runs "$runs" --warmup 1 --timeout-ms 60000 \
            --expect "_INS0366._MP=$(winpath "$payloads/${size}mb/bootstrap.exe")" \
            --expect "_INS0466._MP=$(winpath "$payloads/${size}mb/engine.bin")" \
            --expect "_INS0166._MP=$(winpath "$payloads/${size}mb/companion.bin")" \
            --run "ours|$(winpath "$dir/medium/setup.exe")|-s" \
            --run "nsis-zlib|$(winpath "$dir/nsis-zlib.exe")|" \
            --run "nsis-lzma|$(winpath "$dir/nsis-lzma.exe")|" \
            > "$dir/driver.txt" 2> "$dir/driver.err" || rc=1
    done
    # Wine's own service processes end once nothing runs in the prefix.
    if ! timeout 60 wineserver -w; then
        wineserver -k || true
    fi
    exit $rc
fi

for tool in makensis cmake xvfb-run wine wineserver i686-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null || { echo "bench-startup: $tool not found (scripts/install-deps.sh)" >&2; exit 1; }
done

# --- helpers and the sample library, in the win32 build ---------------------
echo "bench-startup: building the helpers in build/win32" >&2
if [ ! -f "$root/build/win32/CMakeCache.txt" ]; then
    (cd "$root" && cmake --preset win32 >/dev/null)
fi
cmake --build "$root/build/win32" --target bench_stamp_bootstrap bench_startup_driver sample_library -j 2 >/dev/null
bootstrap=$root/build/win32/tests/bench/bench_stamp_bootstrap.exe
library=$root/build/win32/sample/_SETUP.DLL
script=$root/sample/SETUP.INS

# --- payload sets -------------------------------------------------------------
# replace_if_changed NEW FILE: NEW becomes FILE unless FILE already holds the
# same bytes (then FILE keeps its time and nothing is rebuilt).
replace_if_changed() {
    if [ -f "$2" ] && cmp -s "$1" "$2"; then
        rm -f "$1"
    else
        mv "$1" "$2"
    fi
}

# concat_files OUT BYTES DIR PATTERN: the first BYTES bytes of the files in
# DIR matching PATTERN, in name order.
concat_files() {
    find "$3" -maxdepth 1 -type f -name "$4" -print0 | LC_ALL=C sort -z | xargs -0 cat 2>/dev/null \
        | head -c "$2" > "$1.new" || true   # cat is cut off by head on purpose
    if [ "$(stat -c %s "$1.new")" -ne "$2" ]; then
        echo "bench-startup: not enough files in $3 for $2 bytes" >&2
        exit 1
    fi
    replace_if_changed "$1.new" "$1"
}

windlls=/usr/lib/i386-linux-gnu/wine/i386-windows
solibs=/usr/lib/x86_64-linux-gnu
for size in $sizes; do
    set_dir=$payloads/${size}mb
    mkdir -p "$set_dir"
    total=$((size * 1000000))
    cp "$bootstrap" "$set_dir/bootstrap.exe.new"
    replace_if_changed "$set_dir/bootstrap.exe.new" "$set_dir/bootstrap.exe"
    engine_bytes=$((total * 6 / 10))
    concat_files "$set_dir/engine.bin" "$engine_bytes" "$windlls" '*.dll'
    concat_files "$set_dir/companion.bin" "$((total - engine_bytes - $(stat -c %s "$set_dir/bootstrap.exe")))" \
        "$solibs" '*.so*'
done

# --- our medium ---------------------------------------------------------------
medium_tool=$root/build/host/tools/medium/medium
mode=${BENCH_MEDIUM:-auto}
# A host tree that has the tool gets it brought up to date first.
if [ "$mode" != cmake ] && [ -f "$root/build/host/CMakeCache.txt" ]; then
    cmake --build "$root/build/host" --target medium -j 2 >/dev/null 2>&1 || true
fi
if [ "$mode" = auto ]; then
    mode=cmake
    if [ -x "$medium_tool" ] && "$medium_tool" build --help >/dev/null 2>&1; then
        mode=tool
    fi
fi

build_ours() {  # build_ours SIZE
    local set_dir=$payloads/$1mb dir=$out/$1mb
    local medium=$dir/medium
    mkdir -p "$dir"
    if [ "$mode" = tool ]; then
        # The tool builds from the payload-free launcher of the win32 tree; it
        # asks for the same execution level as the NSIS installers.
        cmake --build "$root/build/win32" --target stub -j 2 > "$dir/build.log" 2>&1 \
            || { cat "$dir/build.log" >&2; exit 1; }
        local made=$medium/setup.exe input
        if [ -f "$made" ] && [ "$(cat "$dir/medium-made-by" 2>/dev/null)" = "tool ${BENCH_MEDIUM_ARGS:-}" ]; then
            for input in "$set_dir"/* "$medium_tool" "$root/build/win32/stub/setup-stub.exe" "$library"; do
                [ "$made" -nt "$input" ] || made=""
            done
            [ -n "$made" ] && return
        fi
        rm -f "$dir/medium-made-by"
        "$medium_tool" build --execution-level asInvoker --bootstrap "$set_dir/bootstrap.exe" \
            --engine "$set_dir/engine.bin" --companion "$set_dir/companion.bin" \
            --script "$script" --library "$library" --out "$medium" ${BENCH_MEDIUM_ARGS:-} \
            > "$dir/medium.log" 2>&1 || { cat "$dir/medium.log" >&2; exit 1; }
        printf 'tool %s' "${BENCH_MEDIUM_ARGS:-}" > "$dir/medium-made-by"
        return
    fi
    local tree=$root/build/bench-$1mb
    local ldflags=${BENCH_LAUNCHER_LDFLAGS:-}
    # Configured once; again only when the extra linker flags change (which
    # relinks the launcher and leaves the compressed payloads alone).
    if [ ! -f "$tree/CMakeCache.txt" ] || [ "$(cat "$tree/bench-ldflags" 2>/dev/null)" != "$ldflags" ]; then
        cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
            -DCORVANE_PAYLOAD_BOOTSTRAP="$set_dir/bootstrap.exe" \
            -DCORVANE_PAYLOAD_ENGINE="$set_dir/engine.bin" \
            -DCORVANE_PAYLOAD_COMPANION="$set_dir/companion.bin" > "$dir/cmake.log" 2>&1 \
            || { cat "$dir/cmake.log" >&2; exit 1; }
        printf '%s' "$ldflags" > "$tree/bench-ldflags"
    fi
    cmake --build "$tree" --target setup -j 2 > "$dir/build.log" 2>&1 || { cat "$dir/build.log" >&2; exit 1; }
    mkdir -p "$medium"
    rm -f "$dir/medium-made-by"
    cp "$tree/setup.exe" "$medium/setup.exe"
    cp "$script" "$medium/SETUP.INS"
    cp "$library" "$medium/_SETUP.DLL"
}

# --- NSIS installers ------------------------------------------------------------
build_nsis() {  # build_nsis SIZE COMPRESSOR
    local set_dir=$payloads/$1mb dir=$out/$1mb
    local exe=$dir/nsis-$2.exe nsi=$dir/nsis-$2.nsi
    cat > "$nsi.new" <<NSI
; Start-up benchmark: the same three payloads as our medium, to \$TEMP under
; the launcher's names, then the bootstrap started. No user interface.
Name "Corvane start-up benchmark"
OutFile "$exe"
SetCompressor $2
SilentInstall silent
RequestExecutionLevel user
Section
  SetOutPath "\$TEMP"
  File "/oname=_INS0366._MP" "$set_dir/bootstrap.exe"
  File "/oname=_INS0466._MP" "$set_dir/engine.bin"
  File "/oname=_INS0166._MP" "$set_dir/companion.bin"
  Exec '"\$TEMP\\_INS0366._MP"'
SectionEnd
NSI
    replace_if_changed "$nsi.new" "$nsi"
    if [ -f "$exe" ] && [ "$exe" -nt "$nsi" ] && [ "$exe" -nt "$set_dir/engine.bin" ] &&
       [ "$exe" -nt "$set_dir/companion.bin" ] && [ "$exe" -nt "$set_dir/bootstrap.exe" ]; then
        return
    fi
    makensis -V2 "$nsi" > "$dir/nsis-$2.log" 2>&1 || { cat "$dir/nsis-$2.log" >&2; exit 1; }
}

for size in $sizes; do
    echo "bench-startup: ${size} MB: our medium ($mode), NSIS zlib and lzma" >&2
    build_ours "$size"
    build_nsis "$size" zlib
    build_nsis "$size" lzma
done

# --- measurement ------------------------------------------------------------------
echo "bench-startup: measuring ($runs runs per installer after one warm-up; Wine prefix $CORVANE_WINEPREFIX)" >&2
"$root/scripts/wine-prefix.sh"
mrc=0
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --measure || mrc=$?
else
    "$0" --measure || mrc=$?
fi

# --- table ------------------------------------------------------------------------
# Elapsed times: the median of the runs, and the fastest run (the least
# disturbed by other work). Memory in MiB: our launcher's peak working set and
# largest private memory; "beyond image" is the private memory less the size
# of setup.exe when its file alignment is 512 bytes (Wine then reads the image
# whole into private memory; with 4 KiB it maps it from the file).
printf '\n%-7s | %22s | %22s | %22s | %9s | %7s %7s %7s | %9s %9s %9s\n' \
    "payload" "ours" "NSIS zlib" "NSIS lzma" "ours/zlib" "ours" "ours" "beyond" \
    "setup.exe" "zlib.exe" "lzma.exe"
printf '%-7s | %22s | %22s | %22s | %9s | %7s %7s %7s | %9s %9s %9s\n' \
    "(MB)" "median/fastest (ms)" "median/fastest (ms)" "median/fastest (ms)" "(median)" \
    "peakWS" "private" "image" "(MiB)" "(MiB)" "(MiB)"
for size in $sizes; do
    dir=$out/${size}mb
    set_dir=$payloads/${size}mb
    payload=$(( $(stat -c %s "$set_dir/bootstrap.exe") + $(stat -c %s "$set_dir/engine.bin") +
                $(stat -c %s "$set_dir/companion.bin") ))
    alignment=$(i686-w64-mingw32-objdump -p "$dir/medium/setup.exe" | awk '$1 == "FileAlignment" { print $2 }')
    image_in_private=0
    if [ "$((16#${alignment:-0}))" -eq 512 ]; then
        image_in_private=1
    fi
    awk -v payload="$payload" -v image_in_private="$image_in_private" \
        -v ours_size="$(stat -c %s "$dir/medium/setup.exe")" \
        -v zlib_size="$(stat -c %s "$dir/nsis-zlib.exe")" \
        -v lzma_size="$(stat -c %s "$dir/nsis-lzma.exe")" '
        function cell(label) {
            if (!(label in ms))
                return sprintf("%22s", "failed")
            return sprintf("%22s", sprintf("%.1f / %.1f", ms[label], fastest[label]))
        }
        $1 == "result" { ms[$2] = $3; fastest[$2] = $4; peak[$2] = $6; priv[$2] = $7 }
        END {
            mib = 1024 * 1024
            ratio = sprintf("%9s", "-")
            if (("ours" in ms) && ("nsis-zlib" in ms) && ms["nsis-zlib"] > 0)
                ratio = sprintf("%9.2f", ms["ours"] / ms["nsis-zlib"])
            printf "%-7.1f | %s | %s | %s | %s | %7.1f %7.1f %7.1f | %9.1f %9.1f %9.1f\n",
                payload / 1e6, cell("ours"), cell("nsis-zlib"), cell("nsis-lzma"), ratio,
                peak["ours"] / 1024, priv["ours"] / 1024, priv["ours"] / 1024 - image_in_private * ours_size / mib,
                ours_size / mib, zlib_size / mib, lzma_size / mib
        }' "$dir/driver.txt"
done
echo
echo "$runs runs per installer after one warm-up, process start to bootstrap running; the"
echo "extracted files were compared with the payloads after each warm-up run."
for size in $sizes; do
    dir=$out/${size}mb
    echo "  ${size} MB, NSIS memory (peakWS/private MiB): $(awk '$1 == "result" && $2 != "ours" {
        printf "%s %.1f/%.1f  ", $2, $6 / 1024, $7 / 1024 }' "$dir/driver.txt")"
    if grep -q '^fail' "$dir/driver.txt" || [ -s "$dir/driver.err" ]; then
        echo "  ${size} MB: failures:" >&2
        grep '^fail' "$dir/driver.txt" >&2 || true
        cat "$dir/driver.err" >&2
        mrc=1
    fi
done
echo "raw runs: build/bench-startup/<size>mb/driver.txt"
exit $mrc
