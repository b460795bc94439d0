#!/usr/bin/env bash
# Compiles UTF-8 locales into a folder for the tests that run Wine under them
# (LOCPATH=DIR LC_ALL=xx_YY.UTF-8): without a locale that glibc knows, Wine
# cannot turn non-ASCII file names into Unix ones. Idempotent.
#   make-locales.sh DIR LOCALE...      e.g. make-locales.sh build/locales en_US de_DE ja_JP
set -eu
dir=${1:?folder}
shift
mkdir -p "$dir"
for locale in "$@"; do
  [ -e "$dir/$locale.UTF-8/LC_CTYPE" ] && continue
  # -c: the charmap's warnings (characters some locales lack) are not errors.
  localedef -c -i "$locale" -f UTF-8 "$dir/$locale.UTF-8" || [ -e "$dir/$locale.UTF-8/LC_CTYPE" ]
done
echo "locales in $dir: $*"
