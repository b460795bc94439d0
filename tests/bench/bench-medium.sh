#!/usr/bin/env bash
# Benchmark of `medium build` on a 100 MB payload set (bootstrap 10 MB,
# engine 30 MB, companion 60 MB, partly compressible): wall time, peak
# memory (maximum resident set) and the size of the resulting setup.exe,
# with the tool built without sanitizers in release mode; the throughput on
# one thread and on every core, the speed-up and whether both gave the same
# bytes; what 5 MiB of incompressible data costs in setup.exe; optionally
# the same for an older tool (BENCH_OLD_MEDIUM).
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
# The sample library: the build's own check refuses one that is not clean.
library=$root/build/win32/sample/_SETUP.DLL
[ -f "$library" ] || { echo "no sample library at $library: build it with 'cmake --build --preset win32'" >&2; exit 2; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_TOOLS_ONLY=ON \
    -DCORVANE_SANITIZE=OFF -DCORVANE_FUZZ=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target medium >/dev/null

mkdir -p "$work"
# Payloads: text-like runs mixed with random blocks, reproducible.
# The bootstrap must be a Windows program: a small one heads its bytes.
python3 - "$work" "$root/tests/fixtures/medium/small.exe" <<'PY'
import os, random, sys
work = sys.argv[1]
program = open(sys.argv[2], 'rb').read()
rng = random.Random(7)
words = [bytes(rng.choice(b'abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 9))) for _ in range(2000)]
for name, mb in (('boot.exe', 10), ('engine.exe', 30), ('data.bin', 60)):
    path = os.path.join(work, name)
    # Kept from an earlier run when it is whole and headed as written here.
    if os.path.exists(path) and os.path.getsize(path) == mb << 20 and \
            (name != 'boot.exe' or open(path, 'rb').read(2) == program[:2]):
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

run() {   # run TOOL OUTDIR [OPTIONS]: one build, its report and the time line
  local tool=$1 out=$2
  shift 2
  rm -rf "$out"
  /usr/bin/time -f 'wall %e s, peak memory %M KiB' "$tool" build --stub "$stub" \
      --bootstrap "$work/boot.exe" --engine "$work/engine.exe" --companion "$work/data.bin" \
      --script "$work/SETUP.INS" --library "$library" --out "$out" "$@" 2>&1 |
      grep -v '^medium: compressing'
}
wall_of() { sed -n 's/^wall \([0-9.]*\) s.*/\1/p' <<<"$1"; }
tool=$build/tools/medium/medium
cores=$(nproc)
echo "machine: $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
# Rounds of a one-thread and an every-core build, interleaved, so that
# other work on the machine falls on both; the medians count.
rounds=${BENCH_ROUNDS:-3}
ones=() manys=()
for round in $(seq "$rounds"); do
  echo "-- round $round: 1 thread"
  one=$(run "$tool" "$work/out-1" --threads 1)
  echo "$one"
  echo "-- round $round: $cores threads"
  report=$(run "$tool" "$work/out" --threads "$cores")
  echo "$report"
  ones+=("$(wall_of "$one")") manys+=("$(wall_of "$report")")
done
ls -l "$work/out/setup.exe"
# Throughput over the payload set (100 MiB), from the median wall times.
python3 - "$cores" "${ones[*]}" "${manys[*]}" <<'PY'
import statistics, sys
cores = sys.argv[1]
one = statistics.median(float(x) for x in sys.argv[2].split())
many = statistics.median(float(x) for x in sys.argv[3].split())
print("medians of %d rounds: %.2f s on 1 thread, %.2f s on %s threads" % (len(sys.argv[2].split()), one, many, cores))
print("throughput %.1f MB/s on 1 thread, %.1f MB/s on %s threads (100 MiB of payloads); speed-up x%.2f"
      % (104.8576 / one, 104.8576 / many, cores, one / many))
PY
if cmp -s "$work/out/setup.exe" "$work/out-1/setup.exe"; then
  echo "setup.exe: the same bytes on 1 and $cores threads"
else
  echo "setup.exe: DIFFERS between 1 and $cores threads"
fi

# Incompressible data: 5 MiB of random bytes as the companion, against the
# same medium with an empty companion; the difference over 5 MiB is what
# storing it costs.
python3 -c 'import random, sys; sys.stdout.buffer.write(random.Random(11).randbytes(5 << 20))' >"$work/noise.bin"
: >"$work/empty.bin"
# Both in the page-aligned layout (the noise alone would choose it), so the
# difference is the storage and not the layout's padding, shown after it.
for companion in noise empty; do
  rm -rf "$work/out-$companion"
  CORVANE_MEDIUM_MAPPED_ABOVE=0 "$tool" build --stub "$stub" --bootstrap "$root/tests/fixtures/medium/small.exe" --engine "$work/SETUP.INS" \
      --companion "$work/$companion.bin" --script "$work/SETUP.INS" \
      --library "$library" --out "$work/out-$companion" >/dev/null
done
python3 - "$work" <<'PY'
import os, sys
w = sys.argv[1]
noise = os.path.getsize(os.path.join(w, "out-noise/setup.exe"))
empty = os.path.getsize(os.path.join(w, "out-empty/setup.exe"))
payload = 5 << 20
print("5 MiB incompressible: setup.exe %d bytes, %d over the empty medium (%d): x%.5f of the payload (+%.3f %%)"
      % (noise, noise - empty, empty, (noise - empty) / payload, 100.0 * (noise - empty - payload) / payload))
PY

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
