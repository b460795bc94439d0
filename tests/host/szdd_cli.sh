#!/usr/bin/env bash
# The szdd command line: version, usage errors, the summary line, and no
# output (or temporary file) left behind when a file is refused.
# usage: szdd_cli.sh PATH_TO_SZDD
set -u
szdd=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/szdd-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail=0
check() {  # check WHAT COMMAND...: the command must succeed
    local what=$1
    shift
    if ! "$@"; then
        echo "FAIL: $what" >&2
        fail=1
    fi
}
expect_exit() {  # expect_exit CODE WHAT COMMAND...
    local code=$1 what=$2 rc
    shift 2
    "$@" >"$work/stdout" 2>"$work/stderr"
    rc=$?
    if [ "$rc" -ne "$code" ]; then
        echo "FAIL: $what: exit $rc, expected $code" >&2
        cat "$work/stderr" >&2
        fail=1
    fi
}

expect_exit 0 "--version" "$szdd" --version
check "--version prints the version" grep -Eq '^szdd [0-9]+\.[0-9]+\.[0-9]+$' "$work/stdout"
expect_exit 0 "--help" "$szdd" --help
check "--help prints usage" grep -q '^usage: szdd compress' "$work/stdout"
expect_exit 64 "unknown command" "$szdd" squeeze a b
check "unknown command is named" grep -q "unknown command 'squeeze'" "$work/stderr"
expect_exit 64 "unknown option" "$szdd" --fast
check "unknown option is named" grep -q "unknown option '--fast'" "$work/stderr"
expect_exit 64 "no arguments" "$szdd"
expect_exit 64 "missing OUT" "$szdd" compress "$work/in"

seq 1 20000 > "$work/in"
expect_exit 0 "compress" "$szdd" compress "$work/in" "$work/in.sz"
check "summary line" grep -Eq "^szdd: compressed .* \(108894 bytes\) into .* \([0-9]+ bytes\), ratio [0-9.]+%, [0-9.]+ s$" "$work/stdout"
check "no progress when stderr is not a terminal" test ! -s "$work/stderr"
expect_exit 0 "expand" "$szdd" expand "$work/in.sz" "$work/back"
check "round trip" cmp -s "$work/in" "$work/back"
check "expand summary" grep -q "^szdd: expanded .* into .* (108894 bytes)" "$work/stdout"

# Refused input: OUT keeps its old contents and no temporary file remains.
head -c 1000 "$work/in.sz" > "$work/cut.sz"
echo old > "$work/out"
expect_exit 1 "truncated input" "$szdd" expand "$work/cut.sz" "$work/out"
check "truncation is reported" grep -q "ends before the expanded size" "$work/stderr"
check "OUT left alone" grep -qx old "$work/out"
expect_exit 1 "not SZDD" "$szdd" expand "$work/in" "$work/out2"
check "no OUT for bad input" test ! -e "$work/out2"
expect_exit 1 "compress from a pipe" "$szdd" compress /dev/stdin "$work/out3" < /dev/null
expect_exit 1 "missing input" "$szdd" compress "$work/nothing" "$work/out4"
expect_exit 1 "output directory missing" "$szdd" compress "$work/in" "$work/no/dir/out"
leftover=$(find "$work" -name '*.tmp-*')
check "no temporary files left" test -z "$leftover"

exit $fail
