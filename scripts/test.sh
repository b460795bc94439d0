#!/usr/bin/env bash
# Runs every test: native unit tests under ASan/UBSan and fuzz smoke runs,
# the two Windows builds (i686, the product, and its x86-64 twin), the i686
# reproducibility check, the Debian package, and the Windows tests under Wine
# in a virtual X display, in lanes chosen by what this machine can run:
#
#   win64        the twin's full Windows suite under wine64 (every machine)
#   win32.static the i686 launcher's budget, hardening and imports, read
#                natively (every machine)
#   win32        the i686 full Windows suite, where 32-bit programs run natively
#   win32.smoke  the i686 smoke cases (sample medium, damaged payload,
#                Cyrillic folder) under the emulated 32-bit Wine, where 32-bit
#                programs run only under emulation
#
# A lane that does not run says so, with the reason; the summary at the end
# lists every lane with its result and time. Exit status 0 only when every
# lane that ran passed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh || exit 1

summary=()
failed=0
# lane NAME COMMAND...: runs one lane, timed; its result goes to the summary.
lane() {
  local name=$1
  shift
  local start=$SECONDS rc=0
  echo
  echo "== lane $name"
  "$@" || rc=$?
  local took=$((SECONDS - start))
  if [ "$rc" -eq 0 ]; then
    summary+=("$(printf '%-13s passed   %5d s' "$name" "$took")")
  else
    summary+=("$(printf '%-13s FAILED   %5d s (status %d)' "$name" "$took" "$rc")")
    failed=1
  fi
  return 0
}
not_run() {
  summary+=("$(printf '%-13s not run  %7s %s' "$1" "" "$2")")
  echo
  echo "== lane $1: not run: $2"
}
finish() {
  echo
  echo "== summary ($((SECONDS / 60)) min $((SECONDS % 60)) s in all)"
  printf '%s\n' "${summary[@]}"
  exit "$failed"
}
# A build step that fails ends the run: nothing after it can be trusted.
step() {
  local name=$1
  shift
  local start=$SECONDS
  echo
  echo "== $name"
  if ! "$@"; then
    summary+=("$(printf '%-13s FAILED   %5d s' "$name" "$((SECONDS - start))")")
    failed=1
    finish
  fi
  summary+=("$(printf '%-13s passed   %5d s' "$name" "$((SECONDS - start))")")
}

machine=$(scripts/machine-32bit.sh --explain)
machine32=${machine%%$'\n'*}
export CORVANE_MACHINE_32BIT=$machine32

# The emulated 32-bit Wine takes many minutes to make its prefix: begin at
# once, beside the builds.
prefix_log=$root/build/win32-prefix.log
if [ "$machine32" = emulated ]; then
  mkdir -p build
  CORVANE_WINE_ARCH=win32 scripts/wine-prefix.sh >"$prefix_log" 2>&1 &
  prefix_pid=$!
fi

host_tests() { cmake --preset host >/dev/null && cmake --build --preset host && ctest --preset host; }
step host host_tests

win32_build() { cmake --preset win32 >/dev/null && cmake --build --preset win32 && scripts/check-reproducible.sh; }
step win32.build win32_build

win64_build() { cmake --preset win64 >/dev/null && cmake --build --preset win64; }
step win64.build win64_build

step package scripts/package.sh

echo
echo "== Windows tests: can this machine run 32-bit programs? $machine32"
echo "${machine#*$'\n'}"
xvfb() { xvfb-run -a -s "-screen 0 1024x768x24" "$@"; }

twin_suite() { CORVANE_WINE_ARCH=win64 scripts/wine-prefix.sh && xvfb ctest --preset win64; }
lane win64 twin_suite

lane win32.static ctest --preset win32 -R '^win\.size\.'

case $machine32 in
  native)
    full_suite() { CORVANE_WINE_ARCH=win32 scripts/wine-prefix.sh && xvfb ctest --preset win32; }
    lane win32 full_suite
    not_run win32.smoke "the full i686 suite ran natively (lane win32), which holds the smoke cases"
    ;;
  emulated)
    not_run win32 "32-bit programs run only under emulation here, many times slower: the twin's suite (lane win64) stands in for it"
    smoke() {
      echo "(i686 under qemu-user with the 64-bit wineserver; time-outs scaled by ${CORVANE_TIME_SCALE:-30})"
      if ! wait "$prefix_pid"; then
        cat "$prefix_log"
        echo "the emulated 32-bit Wine could not make its prefix" >&2
        return 1
      fi
      xvfb ctest --preset win32 -L smoke
    }
    lane win32.smoke smoke
    ;;
  *)
    not_run win32 "this machine cannot run 32-bit programs, not even under emulation (scripts/machine-32bit.sh --explain)"
    not_run win32.smoke "the same: no emulator is registered for 32-bit programs"
    ;;
esac

finish
