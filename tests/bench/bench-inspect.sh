#!/usr/bin/env bash
# Benchmark of `medium inspect` and `medium extract` on the 100 MB medium
# that bench-medium.sh builds: wall time and peak memory (maximum resident
# set) of each, with the tool built without sanitizers in release mode.
#
# usage: tests/bench/bench-inspect.sh [STUB]   (default: build/win32/stub/setup-stub.exe)
#   BENCH_BUILD_DIR, BENCH_WORK_DIR: as for bench-medium.sh (shared with it)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-medium}
work=${BENCH_WORK_DIR:-/tmp/corvane-bench-medium}
export BENCH_BUILD_DIR=$build BENCH_WORK_DIR=$work

# The medium: bench-medium.sh builds it (and the release tool) once.
if [ ! -f "$work/out/setup.exe" ] || [ ! -x "$build/tools/medium/medium" ]; then
  "$root/tests/bench/bench-medium.sh" "$@" >/dev/null
fi
medium=$build/tools/medium/medium
ls -l "$work/out/setup.exe"

echo "-- inspect"
/usr/bin/time -f 'wall %e s, peak memory %M KiB' "$medium" inspect "$work/out/setup.exe" 2>&1 >/dev/null |
    tail -1
echo "-- inspect, the medium folder"
/usr/bin/time -f 'wall %e s, peak memory %M KiB' "$medium" inspect "$work/out" 2>&1 >/dev/null | tail -1
echo "-- extract"
rm -rf "$work/extracted"
/usr/bin/time -f 'wall %e s, peak memory %M KiB' "$medium" extract "$work/out/setup.exe" "$work/extracted" \
    2>&1 >/dev/null | tail -1
for f in boot.exe:_INS0366._MP engine.exe:_INS0466._MP data.bin:_INS0166._MP; do
  cmp -s "$work/${f%%:*}" "$work/extracted/${f##*:}" && echo "${f##*:}: the payload's bytes" ||
      echo "${f##*:}: differs from ${f%%:*}"
done
rm -rf "$work/extracted"
