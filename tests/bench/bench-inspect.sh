#!/usr/bin/env bash
# Benchmark of `medium inspect` and `medium extract` on the 100 MB medium
# that bench-medium.sh builds, and of `medium build` making it (its check
# reads the medium as inspect does): wall time and peak memory (maximum
# resident set) of each, with the tool built without sanitizers in release
# mode.
#
# usage: tests/bench/bench-inspect.sh [STUB]   (default: build/win32/stub/setup-stub.exe)
#   BENCH_BUILD_DIR, BENCH_WORK_DIR: as for bench-medium.sh (shared with it)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench-medium}
work=${BENCH_WORK_DIR:-/tmp/corvane-bench-medium}
export BENCH_BUILD_DIR=$build BENCH_WORK_DIR=$work

# The medium: bench-medium.sh builds it (and the release tool) once; the
# tool is brought up to date every time, so a stale binary is never measured.
if [ ! -f "$work/out/setup.exe" ] || [ ! -x "$build/tools/medium/medium" ]; then
  "$root/tests/bench/bench-medium.sh" "$@" >/dev/null
else
  cmake --build "$build" -j2 --target medium >/dev/null
fi
medium=$build/tools/medium/medium
ls -l "$work/out/setup.exe"

measure() {   # measure WHAT ARGS...: one run's exit status, wall time and peak memory
  local what=$1 status=0
  shift
  /usr/bin/time -o "$work/time.txt" -f 'wall %e s, peak memory %M KiB' "$medium" "$@" >/dev/null 2>&1 || status=$?
  echo "$what: exit $status, $(tail -1 "$work/time.txt")"
}
measure "inspect setup.exe" inspect "$work/out/setup.exe"
measure "inspect the folder" inspect "$work/out"
stub=${1:-$root/build/win32/stub/setup-stub.exe}
library=$root/build/win32/sample/_SETUP.DLL
for threads in 1 "$(nproc)"; do
  rm -rf "$work/out-bench"
  measure "build, $threads thread(s)" build --stub "$stub" --bootstrap "$work/boot.exe" --engine "$work/engine.exe" \
      --companion "$work/data.bin" --script "$work/SETUP.INS" --library "$library" --out "$work/out-bench" \
      --threads "$threads"
done
rm -rf "$work/out-bench"
rm -rf "$work/extracted"
measure "extract" extract "$work/out/setup.exe" "$work/extracted"
for f in boot.exe:_INS0366._MP engine.exe:_INS0466._MP data.bin:_INS0166._MP; do
  cmp -s "$work/${f%%:*}" "$work/extracted/${f##*:}" && echo "${f##*:}: the payload's bytes" ||
      echo "${f##*:}: differs from ${f%%:*}"
done
rm -rf "$work/extracted"
