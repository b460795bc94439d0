#!/usr/bin/env bash
# Fails when a source file includes a header it may not use.
# The folders stand in this order, each using only those before it:
#   base, resmodule, splash, launcher
# The tools stand beside the launcher: the toolkit tools/lib uses base,
# resmodule and splash; each command folder (tools/medium, tools/szdd, ...)
# uses those and tools/lib, never the launcher and never another command.
# An include that climbs with ".." is refused everywhere: it would hide
# where a header comes from. Two more rules keep errors and records where
# they belong: a portable parser of the launcher (the command-line scan)
# includes no launcher header but its own, so it cannot show a box or read
# the launcher's record; and no base header names a launcher or splash
# record. Usage: check-layers.sh [ROOT] (default: the
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

# The launcher's portable parsers.
is_parser() {
  case "$1" in
    launcher/cmdline.cpp | launcher/cmdline.h) return 0 ;;
    *) return 1 ;;
  esac
}

# The header a source file may include of its own folder: same name, ".h".
own_header() {
  echo "${1%.*}.h"
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
      # A header beside the file, by its bare name: its folder's.
      [[ "$name" == */* ]] || name="$(dirname "$rel")/$name"
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
      elif [ "$target" = launcher ] && is_parser "$rel" && [ "$name" != "$(own_header "$rel")" ]; then
        echo "$rel: a parser includes a launcher header other than its own: $line" >&2
        bad=1
      fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$root/$folder" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0)
done

# Records belong to their owners: the base holds none of the launcher's or
# the splash's.
if [ -d "$root/base" ]; then
  while IFS= read -r hit; do
    echo "${hit#"$root"/}: a base header names a launcher or splash record" >&2
    bad=1
  done < <(grep -nHwE 'LauncherState|SplashState|g_launcher|g_splash' $(find "$root/base" -type f -name '*.h') /dev/null |
             cut -d: -f1,2 || true)
fi

if [ "$bad" -ne 0 ]; then
  echo "check-layers: the folder order does not hold" >&2
  exit 1
fi
echo "check-layers: $checked files, folder order holds"
