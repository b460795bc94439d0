#!/usr/bin/env bash
# Benchmark of `medium build` on a 100 MB payload set (bootstrap 10 MB,
# engine 30 MB, companion 60 MB, partly compressible): wall time, peak
# memory (maximum resident set) and the size of the resulting setup.exe,
# with the tool built without sanitizers in release mode; the throughput;
# optionally the same for an older tool (BENCH_OLD_MEDIUM).
#
# usage: tests/bench/bench-medium.sh [STUB]   (default: build/win32/stub/setup-stub.exe)
#   BENCH_BUILD_DIR: the tool's build directory (default build/bench-medium)
#   BENCH_WORK_DIR: payloads and output (default /tmp/corvane-bench-medium)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-medium}
work=${BENCH_WORK_DIR:-/tmp/corvane-bench-medium}
stub=${1:-$root/build/win32/stub/setup-stub.exe}
[ -f "$stub" ] || { echo "no stub at $stub: build it with 'cmake --build --preset win32 --target stub'" >&2; exit 2; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_TOOLS_ONLY=ON \
    -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target medium >/dev/null

mkdir -p "$work"
# Payloads: text-like runs mixed with random blocks, reproducible.
# The bootstrap must be a Windows program: a small one heads its bytes.
python3 - "$work" "$(dirname "$0")/../tests/fixtures/medium/small.exe" <<'PY'
import os, random, sys
work = sys.argv[1]
program = open(sys.argv[2], 'rb').read()
rng = random.Random(7)
words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(2000)]
for name, mb in (('boot.exe', 10), ('engine.exe', 30), ('data.bin', 60)):
    path = os.path.join(work, name)
    if os.path.exists(path) and os.path.getsize(path) == mb << 20:
        continue
    with open(path, 'wb') as f:
        left = mb << 20
        if name == 'boot.exe':
            f.write(program)
            left -= len(program)
        while left > 0:
            if rng.random() < 0.3:
                block = rng.randbytes(65536)
            else:
                block = b' '.join(rng.choice(words) for _ in range(12000))[:65536]
            block = block[:left]
            f.write(block)
            left -= len(block)
PY
printf 'script\r\n' > "$work/SETUP.INS"
rm -rf "$work/out"

run() {   # run TOOL OUTDIR: one build, its report and the time line
  rm -rf "$2"
  /usr/bin/time -f 'wall %e s, peak memory %M KiB' "$1" build --stub "$stub" \
      --bootstrap "$work/boot.exe" --engine "$work/engine.exe" --companion "$work/data.bin" \
      --script "$work/SETUP.INS" --library "$root/tests/fixtures/medium/small.dll" --out "$2" 2>&1 |
      grep -v '^medium: compressing'
}
report=$(run "$build/tools/medium/medium" "$work/out")
echo "$report"
ls -l "$work/out/setup.exe"
# Throughput over the payload set (100 MiB), from the wall time.
wall=$(sed -n 's/^wall \([0-9.]*\) s.*/\1/p' <<<"$report")
python3 -c 'import sys; print("throughput %.1f MB/s (100 MiB of payloads)" % (100 * 1.048576 / float(sys.argv[1])))' "$wall"

# BENCH_OLD_MEDIUM=path/to/an/older/medium: the same build with it, to
# compare time, memory and the size of setup.exe. Build it the way this
# script builds its own (clang, Release, no sanitizers): a tool from another
# compiler differs in speed by itself.
if [ -n "${BENCH_OLD_MEDIUM:-}" ]; then
  echo "-- older tool: $BENCH_OLD_MEDIUM"
  run "$BENCH_OLD_MEDIUM" "$work/out-old"
  ls -l "$work/out-old/setup.exe"
  if cmp -s "$work/out/setup.exe" "$work/out-old/setup.exe"; then
    echo "setup.exe: the same bytes"
  else
    echo "setup.exe: differs"
  fi
fi
