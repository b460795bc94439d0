#!/usr/bin/env bash
# Start-up benchmark: how long from an installer's process start to its
# bootstrap running, for our setup.exe (SZDD pieces, and the same launcher
# with the same payloads stored raw, which it copies unchanged) and for NSIS
# installers (zlib, lzma and compression off) that carry the same three
# payloads, extract them to $TEMP and start the first. Payload sets of about
# 6, 10 and 100 MB.
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
#   With the tool, "ours" is laid out as the tool chooses for its size (4 KiB
#     file alignment above its threshold, 512 bytes below) and "ours-512" or
#     "ours-4k" is the same medium in the other layout (the threshold moved
#     through CORVANE_MEDIUM_MAPPED_ABOVE), so both layouts are measured at
#     every size.
#   The raw variant ("ours-raw") is always built in the cmake mode, in
#     build/bench-<size>mb-raw with CORVANE_PAYLOAD_RAW=ON (one piece per
#     payload, the check record as for SZDD pieces); with BENCH_MEDIUM=cmake
#     both of ours differ in nothing but the pieces' coding.
#   CORVANE_WINEPREFIX (/tmp/wineprefix-bench, /tmp/wineprefix-bench64 for
#     the twin): the Wine prefix it runs in.
#   BENCH_ARCH (auto): win32 measures the i686 launcher under the 32-bit Wine
#     as described below; win64 the x86-64 twin under wine64 (see "Where 32-bit
#     programs do not run natively"). auto takes win32 where
#     scripts/machine-32bit.sh says native, win64 elsewhere: under qemu-user
#     the 32-bit Wine would time the emulator, not the installers.
#
# What it does:
#   - builds the helpers in build/win32 (tests/bench: the bootstrap, which
#     writes the performance counter at its first instruction into the file
#     named by CORVANE_BENCH_STAMP, and the driver) and the sample _SETUP.DLL;
#   - makes each payload set in build/bench-payloads/<size>mb: the bootstrap,
#     an engine of Wine's Windows DLLs (60 %) and a companion of the system's
#     shared libraries (40 %), each the first bytes of those files in name
#     order, so the same machine gives the same bytes;
#   - builds our two media (setup.exe, SETUP.INS, _SETUP.DLL) and three NSIS
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
#     private size, and that less the size of setup.exe, which Wine reads
#     whole into private memory at a file alignment of 512), and for every
#     installer the largest anonymous resident memory (RssAnon) of its Unix
#     process under Wine, sampled in the warm-up run.
#
# Where 32-bit programs do not run natively (BENCH_ARCH=win64): the twin,
# built in trees of its own (build/bench-win64: the MinGW x86_64 bootstrap,
# driver, stub, sample library and the native medium tool;
# build/bench-win64-raw: the launcher with raw pieces, configured again per
# size), payload sets of the same shape in build/bench-payloads-win64 (the
# engine from Wine's x86-64 Windows DLLs), figures in build/bench-startup-win64.
# "ours" is the tool's medium from the twin's stub, "ours-raw" the same
# launcher and payloads with raw pieces in the layout ours got (4 KiB file
# alignment when ours has it): the floor of copying without expanding.
# NSIS's installer stubs are 32-bit programs, so its rows say they were not
# run and why, with no figures; the tool's other layout is not measured.
#
# A measurement, not a test: not part of CTest or scripts/test.sh. Other work
# on the machine shows in the figures (the load average before each size is
# printed); rerun on a quiet machine to compare.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${BENCH_RUNS:-5}
sizes=${BENCH_SIZES:-"6 10 100"}
machine=${CORVANE_MACHINE_32BIT:-$("$root/scripts/machine-32bit.sh")}
export CORVANE_MACHINE_32BIT=$machine
arch=${BENCH_ARCH:-auto}
if [ "$arch" = auto ]; then
    arch=win64
    [ "$machine" = native ] && arch=win32
fi
export BENCH_ARCH=$arch
case $arch in
    win32)
        export CORVANE_WINEPREFIX=${CORVANE_WINEPREFIX:-/tmp/wineprefix-bench}
        out=$root/build/bench-startup
        payloads=$root/build/bench-payloads
        wine_run=$root/scripts/wine-run
        driver=$root/build/win32/tests/bench/bench_startup_driver.exe
        objdump=i686-w64-mingw32-objdump
        ;;
    win64)
        export CORVANE_WINEPREFIX=${CORVANE_WINEPREFIX:-/tmp/wineprefix-bench64}
        out=$root/build/bench-startup-win64
        payloads=$root/build/bench-payloads-win64
        wine_run=$root/scripts/wine64-run
        twin=$root/build/bench-win64
        driver=$twin/tests/bench/bench_startup_driver.exe
        objdump=x86_64-w64-mingw32-objdump
        ;;
    *)
        echo "bench-startup: BENCH_ARCH must be auto, win32 or win64, not '$arch'" >&2
        exit 2 ;;
esac
export CORVANE_WINE_ARCH=$arch
if [ "$arch" = win32 ] && [ "$machine" != native ]; then
    echo "bench-startup: this machine runs 32-bit programs: $machine (scripts/machine-32bit.sh);" \
         "the i686 figures would time the emulator" >&2
    [ "$machine" = emulated ] || exit 1
fi

# Wine's name for a Unix path (Z: is the Unix root).
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# ---------------------------------------------------------------------------
# The part that runs under Wine, in the display that the outer part made.
if [ "${1:-}" = "--measure" ]; then
    export WINEPREFIX=$CORVANE_WINEPREFIX
    rc=0
    for size in $sizes; do
        dir=$out/${size}mb
        cat /proc/loadavg > "$dir/loadavg"
        other=()
        if [ -f "$dir/medium-other-label" ]; then
            other=(--run "$(cat "$dir/medium-other-label")|$(winpath "$dir/medium-other/setup.exe")|-s")
        fi
        nsis=()
        if [ "$arch" = win32 ]; then
            nsis=(--run "nsis-zlib|$(winpath "$dir/nsis-zlib.exe")|"
                  --run "nsis-off|$(winpath "$dir/nsis-off.exe")|"
                  --run "nsis-lzma|$(winpath "$dir/nsis-lzma.exe")|")
        fi
        timeout 900 "$wine_run" "$driver" \
            --temp 'C:\corvane-bench\temp' --stamp 'C:\corvane-bench\stamp.txt' \
            --runs "$runs" --warmup 1 --timeout-ms 60000 \
            --expect "_INS0366._MP=$(winpath "$payloads/${size}mb/bootstrap.exe")" \
            --expect "_INS0466._MP=$(winpath "$payloads/${size}mb/engine.bin")" \
            --expect "_INS0166._MP=$(winpath "$payloads/${size}mb/companion.bin")" \
            --run "ours|$(winpath "$dir/medium/setup.exe")|-s" \
            "${other[@]}" \
            --run "ours-raw|$(winpath "$dir/medium-raw/setup.exe")|-s" \
            "${nsis[@]}" \
            > "$dir/driver.txt" 2> "$dir/driver.err" || rc=1
    done
    # Wine's own service processes end once nothing runs in the prefix.
    server=wineserver
    if [ "$arch" = win64 ]; then
        . "$root/scripts/wine-env.sh"
        corvane_wine_env
        server=$WINESERVER
    fi
    if ! timeout 60 "$server" -w; then
        "$server" -k || true
    fi
    exit $rc
fi

if [ "$arch" = win32 ]; then
    needed=(makensis cmake xvfb-run wine wineserver i686-w64-mingw32-g++-posix)
else
    needed=(cmake ninja xvfb-run x86_64-w64-mingw32-g++-posix "$objdump")
    [ -x /usr/lib/wine/wine64 ] || needed+=(wine64)
fi
for tool in "${needed[@]}"; do
    command -v "$tool" >/dev/null || { echo "bench-startup: $tool not found (scripts/install-deps.sh)" >&2; exit 1; }
done
script=$root/sample/SETUP.INS

if [ "$arch" = win32 ]; then
    # --- helpers and the sample library, in the win32 build -----------------
    echo "bench-startup: building the helpers in build/win32" >&2
    if [ ! -f "$root/build/win32/CMakeCache.txt" ]; then
        (cd "$root" && cmake --preset win32 >/dev/null)
    fi
    cmake --build "$root/build/win32" --target bench_stamp_bootstrap bench_startup_driver sample_library -j 2 >/dev/null
    bootstrap=$root/build/win32/tests/bench/bench_stamp_bootstrap.exe
    library=$root/build/win32/sample/_SETUP.DLL
    windlls=/usr/lib/i386-linux-gnu/wine/i386-windows
else
    # --- the twin's helpers, stub, library and medium tool, in a tree of its own
    # (the win64 preset's tree may be in use by a build of its own).
    echo "bench-startup: building the x86-64 twin's helpers, stub and tools in build/bench-win64" >&2
    mkdir -p "$out"
    if [ ! -f "$twin/CMakeCache.txt" ]; then
        cmake -S "$root" -B "$twin" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel > "$out/cmake-twin.log" 2>&1 \
            || { cat "$out/cmake-twin.log" >&2; exit 1; }
    fi
    cmake --build "$twin" --target bench_stamp_bootstrap bench_startup_driver sample_library stub hosttools \
        -j 2 > "$out/build-twin.log" 2>&1 || { cat "$out/build-twin.log" >&2; exit 1; }
    bootstrap=$twin/tests/bench/bench_stamp_bootstrap.exe
    library=$twin/sample/_SETUP.DLL
    stub=$twin/stub/setup-stub.exe
    windlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
fi

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
if [ "$arch" = win64 ]; then
    # The twin's medium is always the tool's, from the twin's stub.
    medium_tool=$twin/hosttools/tools/medium/medium
    mode=twin
fi
# A host tree that has the tool gets it brought up to date first.
if [ "$mode" != cmake ] && [ "$mode" != twin ] && [ -f "$root/build/host/CMakeCache.txt" ]; then
    cmake --build "$root/build/host" --target medium -j 2 >/dev/null 2>&1 || true
fi
if [ "$mode" = auto ]; then
    mode=cmake
    if [ -x "$medium_tool" ] && "$medium_tool" build --help >/dev/null 2>&1; then
        mode=tool
    fi
fi

# alignment_of EXE: its FileAlignment field, 8 hex digits (00000200).
alignment_of() { "$objdump" -p "$1" | awk '$1 == "FileAlignment" { print $2 }'; }

# build_twin SIZE [raw]: the twin's medium, by the tool from the twin's stub;
# with raw, the same payloads as raw pieces, linked by the cmake build in
# build/bench-win64-raw (configured again for each size) in the layout the
# tool chose for ours, so that the pair differs in the pieces' coding only
# (and in the tool's 4 MiB pieces against one piece per payload).
build_twin() {
    local set_dir=$payloads/$1mb dir=$out/$1mb
    local medium=$dir/medium suffix="" made input key
    [ "${2:-}" = raw ] && medium=$dir/medium-raw suffix=-raw
    mkdir -p "$dir"
    if [ -z "$suffix" ]; then
        key="tool ${BENCH_MEDIUM_ARGS:-}"
    else
        local ldflags=""
        [ "$(alignment_of "$dir/medium/setup.exe")" = 00001000 ] && ldflags=-Wl,--file-alignment=0x1000
        key="cmake $ldflags"
    fi
    made=$medium/setup.exe
    if [ -f "$made" ] && [ "$(cat "$dir/medium$suffix-made-by" 2>/dev/null)" = "$key" ]; then
        # The stub is rebuilt whenever the launcher's sources change.
        for input in "$set_dir"/* "$medium_tool" "$stub" "$library"; do
            [ "$made" -nt "$input" ] || made=""
        done
        [ -n "$made" ] && return
    fi
    rm -f "$dir/medium$suffix-made-by"
    if [ -z "$suffix" ]; then
        "$medium_tool" build --stub "$stub" --execution-level asInvoker --bootstrap "$set_dir/bootstrap.exe" \
            --engine "$set_dir/engine.bin" --companion "$set_dir/companion.bin" \
            --script "$script" --library "$library" --out "$medium" ${BENCH_MEDIUM_ARGS:-} \
            > "$dir/medium.log" 2>&1 || { cat "$dir/medium.log" >&2; exit 1; }
    else
        local tree=$root/build/bench-win64-raw
        cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCORVANE_PAYLOAD_RAW=ON \
            -DCORVANE_PAYLOAD_BOOTSTRAP="$set_dir/bootstrap.exe" \
            -DCORVANE_PAYLOAD_ENGINE="$set_dir/engine.bin" \
            -DCORVANE_PAYLOAD_COMPANION="$set_dir/companion.bin" > "$dir/cmake-raw.log" 2>&1 \
            || { cat "$dir/cmake-raw.log" >&2; exit 1; }
        cmake --build "$tree" --target setup -j 2 > "$dir/build-raw.log" 2>&1 \
            || { cat "$dir/build-raw.log" >&2; exit 1; }
        mkdir -p "$medium"
        cp "$tree/setup.exe" "$medium/setup.exe"
        cp "$script" "$medium/SETUP.INS"
        cp "$library" "$medium/_SETUP.DLL"
    fi
    printf '%s' "$key" > "$dir/medium$suffix-made-by"
}

build_ours() {  # build_ours SIZE [raw|other]
    local set_dir=$payloads/$1mb dir=$out/$1mb
    local medium=$dir/medium suffix="" raw=OFF above=""
    if [ "${2:-}" = raw ]; then
        medium=$dir/medium-raw suffix=-raw raw=ON
    elif [ "${2:-}" = other ]; then
        # The layout the tool did not choose: a threshold of 0 gives 4 KiB
        # alignment, one no payload can exceed gives 512 bytes.
        medium=$dir/medium-other suffix=-other above=0
        if [ "$(alignment_of "$dir/medium/setup.exe")" = 00001000 ]; then
            above=18446744073709551615
        fi
    fi
    mkdir -p "$dir"
    if [ "$mode" = tool ] && [ "$raw" = OFF ]; then
        # The tool builds from the payload-free launcher of the win32 tree; it
        # asks for the same execution level as the NSIS installers.
        cmake --build "$root/build/win32" --target stub -j 2 > "$dir/build.log" 2>&1 \
            || { cat "$dir/build.log" >&2; exit 1; }
        local made=$medium/setup.exe input
        if [ -f "$made" ] && [ "$(cat "$dir/medium$suffix-made-by" 2>/dev/null)" = "tool $above ${BENCH_MEDIUM_ARGS:-}" ]; then
            for input in "$set_dir"/* "$medium_tool" "$root/build/win32/stub/setup-stub.exe" "$library"; do
                [ "$made" -nt "$input" ] || made=""
            done
            [ -n "$made" ] && return
        fi
        rm -f "$dir/medium$suffix-made-by"
        ${above:+env CORVANE_MEDIUM_MAPPED_ABOVE=$above} "$medium_tool" build --execution-level asInvoker --bootstrap "$set_dir/bootstrap.exe" \
            --engine "$set_dir/engine.bin" --companion "$set_dir/companion.bin" \
            --script "$script" --library "$library" --out "$medium" ${BENCH_MEDIUM_ARGS:-} \
            > "$dir/medium$suffix.log" 2>&1 || { cat "$dir/medium$suffix.log" >&2; exit 1; }
        printf 'tool %s %s' "$above" "${BENCH_MEDIUM_ARGS:-}" > "$dir/medium$suffix-made-by"
        return
    fi
    local tree=$root/build/bench-$1mb$suffix
    local ldflags=${BENCH_LAUNCHER_LDFLAGS:-}
    # Configured once; again only when the extra linker flags change (which
    # relinks the launcher and leaves the compressed payloads alone).
    if [ ! -f "$tree/CMakeCache.txt" ] || [ "$(cat "$tree/bench-ldflags" 2>/dev/null)" != "$ldflags" ]; then
        cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
            -DCMAKE_BUILD_TYPE=MinSizeRel \
            -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCORVANE_PAYLOAD_RAW=$raw \
            -DCORVANE_PAYLOAD_BOOTSTRAP="$set_dir/bootstrap.exe" \
            -DCORVANE_PAYLOAD_ENGINE="$set_dir/engine.bin" \
            -DCORVANE_PAYLOAD_COMPANION="$set_dir/companion.bin" > "$dir/cmake$suffix.log" 2>&1 \
            || { cat "$dir/cmake$suffix.log" >&2; exit 1; }
        printf '%s' "$ldflags" > "$tree/bench-ldflags"
    fi
    cmake --build "$tree" --target setup -j 2 > "$dir/build$suffix.log" 2>&1 \
        || { cat "$dir/build$suffix.log" >&2; exit 1; }
    mkdir -p "$medium"
    [ "$raw" = ON ] || rm -f "$dir/medium-made-by"
    cp "$tree/setup.exe" "$medium/setup.exe"
    cp "$script" "$medium/SETUP.INS"
    cp "$library" "$medium/_SETUP.DLL"
}

# --- NSIS installers ------------------------------------------------------------
build_nsis() {  # build_nsis SIZE COMPRESSOR (zlib, lzma or off)
    local set_dir=$payloads/$1mb dir=$out/$1mb
    local exe=$dir/nsis-$2.exe nsi=$dir/nsis-$2.nsi
    local compression="SetCompressor $2"
    if [ "$2" = off ]; then
        compression="SetCompress off"
    fi
    cat > "$nsi.new" <<NSI
; Start-up benchmark: the same three payloads as our medium, to \$TEMP under
; the launcher's names, then the bootstrap started. No user interface.
Name "Corvane start-up benchmark"
OutFile "$exe"
$compression
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
    if [ "$arch" = win64 ]; then
        echo "bench-startup: ${size} MB: the twin's medium (tool) and raw (cmake); no NSIS (32-bit)" >&2
        build_twin "$size"
        build_twin "$size" raw
        continue
    fi
    echo "bench-startup: ${size} MB: our medium ($mode) and raw (cmake), NSIS zlib, off and lzma" >&2
    build_ours "$size"
    build_ours "$size" raw
    if [ "$mode" = tool ]; then
        rm -f "$out/${size}mb/medium-other-label"
        build_ours "$size" other
        if [ "$(alignment_of "$out/${size}mb/medium-other/setup.exe")" = 00001000 ]; then
            echo ours-4k > "$out/${size}mb/medium-other-label"
        else
            echo ours-512 > "$out/${size}mb/medium-other-label"
        fi
    fi
    build_nsis "$size" zlib
    build_nsis "$size" off
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
# One row per installer: the median of the runs and the fastest run (the
# least disturbed by other work), the medians' ratios to NSIS zlib and to our
# raw-piece launch (both measured in the same interleaved rounds), memory in
# MiB (RssAnon of the Unix process in the warm-up run; peak working set and
# largest private size from GetProcessMemoryInfo) and the installer's size.
# On the twin, NSIS's rows say why they have no figures.
nsis_note=""
if [ "$arch" = win64 ]; then
    case $machine in
        native)   nsis_note="not run: NSIS's stubs are 32-bit (BENCH_ARCH=win32 measures them here)" ;;
        emulated) nsis_note="not run: NSIS's stubs are 32-bit and this machine runs 32-bit programs only under emulation" ;;
        *)        nsis_note="not run: NSIS's stubs are 32-bit and this machine cannot run 32-bit programs" ;;
    esac
fi
wine_version=$("${CORVANE_WINE:-/usr/lib/wine/$([ "$arch" = win64 ] && echo wine64 || echo wine)}" --version 2>/dev/null || echo "?")
echo
echo "machine: $(uname -m), $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo);" \
     "32-bit programs: $machine (scripts/machine-32bit.sh)"
if [ "$arch" = win64 ]; then
    echo "measured: the x86-64 twin (MinGW-w64 x86_64 stub, bootstrap and driver) under wine64 ($wine_version)," \
         "prefix $CORVANE_WINEPREFIX"
else
    echo "measured: the i686 launcher under the 32-bit Wine ($wine_version), prefix $CORVANE_WINEPREFIX"
fi
echo "the machine may be loaded by other work: medians count, and the load average before each size is shown"
for size in $sizes; do
    dir=$out/${size}mb
    set_dir=$payloads/${size}mb
    payload=$(( $(stat -c %s "$set_dir/bootstrap.exe") + $(stat -c %s "$set_dir/engine.bin") +
                $(stat -c %s "$set_dir/companion.bin") ))
    sizes_kv="ours=$(stat -c %s "$dir/medium/setup.exe") ours-raw=$(stat -c %s "$dir/medium-raw/setup.exe")"
    if [ -f "$dir/medium-other-label" ]; then
        sizes_kv="$sizes_kv $(cat "$dir/medium-other-label")=$(stat -c %s "$dir/medium-other/setup.exe")"
    fi
    if [ -z "$nsis_note" ]; then
        for v in zlib off lzma; do
            sizes_kv="$sizes_kv nsis-$v=$(stat -c %s "$dir/nsis-$v.exe")"
        done
    fi
    alignment=$(alignment_of "$dir/medium/setup.exe")
    raw_alignment=$(alignment_of "$dir/medium-raw/setup.exe")
    printf '\npayloads %.1f MB (setup.exe file alignment 0x%s, raw 0x%s); load average before: %s\n' \
        "$(awk -v p="$payload" 'BEGIN { print p / 1e6 }')" "${alignment:-?}" "${raw_alignment:-?}" \
        "$(cut -d' ' -f1-3 "$dir/loadavg" 2>/dev/null)"
    awk -v sizes="$sizes_kv" -v nsis_note="$nsis_note" '
        BEGIN {
            n = split(sizes, kv, " ")
            for (i = 1; i <= n; i++) { split(kv[i], f, "="); file[f[1]] = f[2] }
            order = "ours ours-512 ours-4k ours-raw nsis-zlib nsis-off nsis-lzma"
            mib = 1024 * 1024
        }
        $1 == "result" { ms[$2] = $3; fastest[$2] = $4; peak[$2] = $6; priv[$2] = $7; anon[$2] = ($9 == "" ? -1 : $9) }
        function ratio(a, b) {
            return ((a in ms) && (b in ms) && ms[b] > 0) ? sprintf("%10.2f", ms[a] / ms[b]) : sprintf("%10s", "-")
        }
        function mem(kb) { return kb < 0 ? sprintf("%8s", "-") : sprintf("%8.1f", kb / 1024) }
        END {
            printf "%-10s %10s %10s %10s %10s %8s %8s %8s %9s\n", "installer", "median ms", "fastest", \
                "/nsis-zlib", "/ours-raw", "RssAnon", "peakWS", "private", "file MiB"
            m = split(order, names, " ")
            for (i = 1; i <= m; i++) {
                k = names[i]
                if ((k == "ours-512" || k == "ours-4k") && !(k in file)) continue
                if (k ~ /^nsis-/ && nsis_note != "") { printf "%-10s %s\n", k, nsis_note; continue }
                if (!(k in ms)) { printf "%-10s %10s\n", k, "failed"; continue }
                printf "%-10s %10.1f %10.1f %s %s %s %s %s %9.1f\n", k, ms[k], fastest[k], ratio(k, "nsis-zlib"),
                    (k == "ours" ? ratio(k, "ours-raw") : sprintf("%10s", "")), mem(anon[k]), mem(peak[k]),
                    mem(priv[k]), file[k] / mib
            }
        }' "$dir/driver.txt"
    # Ratios round by round (both runs of a pair met the same load), then
    # their median: steadier on a busy machine than the ratio of medians.
    awk -v nsis_note="$nsis_note" '
        $1 == "run" { t[$2, $3] = $4; if ($3 + 1 > rounds) rounds = $3 + 1 }
        function median(label, a, b,    i, n, v, j, x) {
            n = 0
            for (i = 0; i < rounds; i++)
                if (((a, i) in t) && ((b, i) in t) && t[b, i] > 0)
                    v[++n] = t[a, i] / t[b, i]
            if (n == 0)
                return ""
            for (i = 2; i <= n; i++)
                for (j = i; j > 1 && v[j - 1] > v[j]; j--) { x = v[j]; v[j] = v[j - 1]; v[j - 1] = x }
            return sprintf("  %s %.2f", label, n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2)
        }
        END {
            if (nsis_note != "")
                printf "per-round ratios, median:%s  ours/nsis-zlib, ours-raw/nsis-off: none (NSIS not run)\n",
                    median("ours/ours-raw", "ours", "ours-raw")
            else
                printf "per-round ratios, median:%s%s%s\n", median("ours/ours-raw", "ours", "ours-raw"),
                    median("ours/nsis-zlib", "ours", "nsis-zlib"), median("ours-raw/nsis-off", "ours-raw", "nsis-off")
        }' "$dir/driver.txt"
done
echo
echo "$runs runs per installer after one warm-up, process start to bootstrap running; the"
echo "extracted files were compared with the payloads after each warm-up run."
for size in $sizes; do
    dir=$out/${size}mb
    if grep -q '^fail' "$dir/driver.txt" || [ -s "$dir/driver.err" ]; then
        echo "  ${size} MB: failures:" >&2
        grep '^fail' "$dir/driver.txt" >&2 || true
        cat "$dir/driver.err" >&2
        mrc=1
    fi
done
echo "raw runs: ${out#"$root"/}/<size>mb/driver.txt"
echo "rerun: BENCH_ARCH=$arch BENCH_RUNS=$runs BENCH_SIZES=\"$sizes\" tests/bench/bench-startup.sh"
exit $mrc
