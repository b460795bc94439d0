#!/usr/bin/env bash
# Fails when a source file includes a header it may not use.
# The folders stand in this order, each using only those before it:
#   base, resmodule, splash, launcher
# The tools stand beside the launcher: the toolkit tools/lib uses base,
# resmodule and splash; each command folder (tools/medium, tools/szdd, ...)
# uses those and tools/lib, never the launcher and never another command.
# An include that climbs with ".." is refused everywhere: it would hide
# where a header comes from. Usage: check-layers.sh [ROOT] (default: the
# repository).
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"

rank() {
  case "$1" in
    base) echo 0 ;;
    resmodule) echo 1 ;;
    splash) echo 2 ;;
    launcher) echo 3 ;;
    *) echo "" ;;
  esac
}

# may_use FOLDER TARGET: 0 when a file of FOLDER may include a header of
# TARGET (both "base", "tools/lib", "tools/medium", ...).
may_use() {
  local folder=$1 target=$2
  local mine theirs
  case "$folder" in
    tools/lib)
      case "$target" in base | resmodule | splash | tools/lib) return 0 ;; *) return 1 ;; esac ;;
    tools/*)
      case "$target" in base | resmodule | splash | tools/lib | "$folder") return 0 ;; *) return 1 ;; esac ;;
  esac
  mine=$(rank "$folder")
  theirs=$(rank "$target")
  [ -n "$theirs" ] || return 1
  [ "$theirs" -le "$mine" ]
}

bad=0
checked=0
folders=(base resmodule splash launcher)
if [ -d "$root/tools" ]; then
  while IFS= read -r -d '' dir; do
    folders+=("tools/$(basename "$dir")")
  done < <(find "$root/tools" -mindepth 1 -maxdepth 1 -type d -print0 | sort -z)
fi

for folder in "${folders[@]}"; do
  [ -d "$root/$folder" ] || continue
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    rel=${file#"$root"/}
    while IFS= read -r line; do
      name=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
      if [[ "$name" == ../* || "$name" == */../* || "$name" == .. ]]; then
        echo "$rel: includes through \"..\": $line" >&2
        bad=1
        continue
      fi
      [[ "$name" == */* ]] || continue   # a header beside the file
      first=${name%%/*}
      target=$first
      if [ "$first" = tools ]; then
        rest=${name#tools/}
        [[ "$rest" == */* ]] || continue
        target="tools/${rest%%/*}"
      else
        # Not one of our folders (a system or third-party path).
        [ -n "$(rank "$first")" ] || continue
      fi
      if ! may_use "$folder" "$target"; then
        echo "$rel: includes a header of $target/, which $folder/ may not use: $line" >&2
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
