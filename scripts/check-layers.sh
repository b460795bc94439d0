#!/usr/bin/env bash
# Fails when a source file includes a header from a folder above its own.
# The folders stand in this order, each using only those before it:
#   base, resmodule, splash, launcher
# and tools/ use base and the parsers (resmodule, splash) but never the
# launcher. Usage: check-layers.sh [ROOT] (default: the repository).
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"

rank() {
  case "$1" in
    base) echo 0 ;;
    resmodule) echo 1 ;;
    splash) echo 2 ;;
    launcher) echo 3 ;;
    tools) echo 4 ;;
    *) echo "" ;;
  esac
}

bad=0
checked=0
for folder in base resmodule splash launcher tools; do
  [ -d "$root/$folder" ] || continue
  own=$(rank "$folder")
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    while IFS= read -r line; do
      target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$line")
      [ "$target" = "$line" ] && continue
      theirs=$(rank "$target")
      [ -n "$theirs" ] || continue
      # tools may use everything below the launcher, never the launcher.
      if { [ "$folder" = tools ] && [ "$target" = launcher ]; } ||
         { [ "$folder" != tools ] && [ "$theirs" -gt "$own" ]; }; then
        echo "${file#"$root"/}: includes a header of $target/, a folder above $folder/: $line" >&2
        bad=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$root/$folder" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0)
done

if [ "$bad" -ne 0 ]; then
  echo "check-layers: the folder order does not hold" >&2
  exit 1
fi
echo "check-layers: $checked files, folder order holds"
