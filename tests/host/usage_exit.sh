#!/usr/bin/env bash
# A wrong command line exits 64 in every command of the package, whichever
# binary and subcommand: release scripts tell a usage error from a result by
# that one code (inspect's 2 means "errors found").
# usage: usage_exit.sh MEDIUM SZDD LANGTABLE
set -u
medium=$1 szdd=$2 langtable=$3
fail=0
while IFS='|' read -r what args; do
    [ -n "$what" ] || continue
    # shellcheck disable=SC2086  # the words of a row are the arguments
    set -- $args
    bin=$1
    shift
    case $bin in
        medium) bin=$medium ;;
        szdd) bin=$szdd ;;
        langtable) bin=$langtable ;;
    esac
    "$bin" "$@" >/dev/null 2>&1
    rc=$?
    if [ "$rc" -ne 64 ]; then
        echo "FAIL: $what: exit $rc, expected 64" >&2
        fail=1
    fi
done <<'ROWS'
medium without a command|medium
medium unknown command|medium frobnicate
medium help of an unknown command|medium help frobnicate
build unknown option|medium build --fast
build without anything|medium build
build option without value|medium build --engine
new without a folder|medium new
new unknown option|medium new --fast x
library unknown option|medium library --fast x.txt -o y.dll
library without -o|medium library x.txt
extract one argument|medium extract setup.exe
extract unknown option|medium extract --fast a b
record unknown option|medium record --fast
record without -o|medium record --engine e
inspect without a path|medium inspect
inspect unknown option|medium inspect --fast x
szdd unknown command|szdd squeeze a b
szdd without arguments|szdd
langtable without a command|langtable
langtable unknown command|langtable frobnicate a b
langtable missing output|langtable compile a
ROWS
exit $fail
