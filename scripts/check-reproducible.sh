#!/usr/bin/env bash
# Builds the launcher a second time in another build tree and compares bytes:
# two builds of the same tree must give the same executable.
set -euo pipefail
cd "$(dirname "$0")/.."
first=build/win32/setup.exe
second_dir=build/win32-repro
cmake --preset win32 -B "$second_dir" >/dev/null
cmake --build "$second_dir" --target setup -j2 >/dev/null
if cmp -s "$first" "$second_dir/setup.exe"; then
  echo "reproducible: $(stat -c %s "$first") bytes, identical in both builds"
else
  echo "NOT reproducible: $first and $second_dir/setup.exe differ" >&2
  cmp "$first" "$second_dir/setup.exe" | head -3 >&2 || true
  exit 1
fi
