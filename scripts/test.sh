#!/usr/bin/env bash
# Runs every test: native unit tests under ASan/UBSan and fuzz smoke runs,
# the two Windows builds (i686, the product, and its x86-64 twin), the i686
# reproducibility check, the Debian package, and the Windows tests under Wine
# in a virtual X display, in lanes chosen by what this machine can run
# (scripts/machine-32bit.sh):
#
#   win64        the twin's full Windows suite under wine64 (every machine)
#   win32.static the i686 launcher's budget, hardening and imports, read
#                natively (every machine)
#   win32        the i686 full Windows suite, where 32-bit programs run natively
#   win32.smoke  the i686 smoke cases (sample medium, damaged payload,
#                Cyrillic folder) under the emulated 32-bit Wine, where 32-bit
#                programs run only under emulation; it runs beside the twin's
#                build and suite, in one Wine session made at the start
#
# A lane that does not run says so, with the reason; the summary at the end
# lists every step and lane with its result and time. Exit status 0 only
# when everything that ran passed.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh || exit 1
. scripts/wine-env.sh

summary=()
failed=0
record() {  # record NAME STATUS SECONDS
  if [ "$2" -eq 0 ]; then
    summary+=("$(printf '%-13s passed   %5d s' "$1" "$3")")
  else
    summary+=("$(printf '%-13s FAILED   %5d s (status %d)' "$1" "$3" "$2")")
    failed=1
  fi
}
# timed HEADING NAME COMMAND...: runs the command under its heading, timed;
# its result goes to the summary under NAME.
timed() {
  local heading=$1 name=$2 start=$SECONDS rc=0
  shift 2
  echo
  echo "== $heading"
  "$@" || rc=$?
  record "$name" "$rc" "$((SECONDS - start))"
  return "$rc"
}
lane() { timed "lane $1" "$@" || true; }
not_run() {
  summary+=("$(printf '%-13s not run  %7s %s' "$1" "" "$2")")
  echo
  echo "== lane $1: not run: $2"
}
smoke_pid=
finish() {
  if [ -n "$smoke_pid" ]; then
    wait "$smoke_pid"
    echo
    echo "== lane win32.smoke (ran beside the others; its output)"
    cat build/win32-smoke.log
    record win32.smoke "$(cat build/win32-smoke.rc 2>/dev/null || echo 1)" "$(cat build/win32-smoke.time 2>/dev/null || echo 0)"
  fi
  echo
  echo "== summary ($((SECONDS / 60)) min $((SECONDS % 60)) s in all)"
  printf '%s\n' "${summary[@]}"
  exit "$failed"
}
# A build step that fails ends the run: nothing after it can be trusted.
# The steps and lanes it leaves are named, each with the reason.
step() {
  timed "$1" "$@" && return 0
  local name line seen
  for name in win32.build win64.build package win64 win32.static win32 win32.smoke; do
    seen=0
    for line in "${summary[@]}"; do
      [ "${line%% *}" = "$name" ] && seen=1
    done
    [ "$name" = win32.smoke ] && [ -n "$smoke_pid" ] && seen=1
    [ "$seen" = 1 ] || not_run "$name" "the step $1 failed before it"
  done
  finish
}

machine=$(scripts/machine-32bit.sh --explain)
machine32=${machine%%$'\n'*}
export CORVANE_MACHINE_32BIT=$machine32
mkdir -p build

# One virtual display for every Windows program of the run, and under
# emulation one Wine session for the 32-bit prefix and the smoke lane: the
# prefix takes many minutes to make, so it is begun at once, beside the builds.
corvane_start_display || exit 1
cleanup() {
  (CORVANE_WINE_ARCH=win32; corvane_wine_env >/dev/null 2>&1 && corvane_wine_release)
  corvane_stop_display
}
trap cleanup EXIT
if [ "$machine32" = emulated ]; then
  (export CORVANE_WINE_ARCH=win32 CORVANE_WINE_HOLD=1; exec scripts/wine-prefix.sh) >build/win32-prefix.log 2>&1 &
fi

host_tests() { cmake --preset host >/dev/null && cmake --build --preset host && ctest --preset host; }
step host host_tests

win32_build() { cmake --preset win32 >/dev/null && cmake --build --preset win32 && scripts/check-reproducible.sh; }
step win32.build win32_build

echo
echo "== Windows tests: can this machine run 32-bit programs? $machine32"
echo "${machine#*$'\n'}"

if [ "$machine32" = emulated ]; then
  # wine-prefix.sh waits (on its lock) for the prefix begun above.
  smoke() {
    echo "(i686 under qemu-user with the 64-bit wineserver; the rig's time-outs scaled by ${CORVANE_TIME_SCALE:-30})"
    CORVANE_WINE_ARCH=win32 CORVANE_WINE_HOLD=1 scripts/wine-prefix.sh || {
      cat build/win32-prefix.log
      echo "the emulated 32-bit Wine could not make its prefix" >&2
      return 1
    }
    CORVANE_WINE_HOLD=1 ctest --preset win32 -L smoke
  }
  echo "== lane win32.smoke: started beside the twin's build and suite (output at the end)"
  rm -f build/win32-smoke.rc build/win32-smoke.time
  # The lane has a budget of its own (65 minutes by default, about twice
  # what it takes on a fresh machine), so that a hang in it fails the run
  # with its output shown instead of outlasting CI.
  budget=${CORVANE_SMOKE_BUDGET:-3900}
  (
    start=$SECONDS
    rc=0
    timeout --kill-after=60 "$budget" bash -c "$(declare -f smoke); smoke" >build/win32-smoke.log 2>&1 || rc=$?
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
      echo "lane win32.smoke: did not end within its budget of $budget s (CORVANE_SMOKE_BUDGET); ended" >>build/win32-smoke.log
    fi
    echo "$rc" >build/win32-smoke.rc
    echo "$((SECONDS - start))" >build/win32-smoke.time
  ) &
  smoke_pid=$!
fi

win64_build() { cmake --preset win64 >/dev/null && cmake --build --preset win64; }
step win64.build win64_build

step package scripts/package.sh

twin_suite() { CORVANE_WINE_ARCH=win64 scripts/wine-prefix.sh && ctest --preset win64; }
lane win64 twin_suite

lane win32.static ctest --preset win32 -R '^win\.size\.'

case $machine32 in
  native)
    full_suite() { CORVANE_WINE_ARCH=win32 scripts/wine-prefix.sh && ctest --preset win32; }
    lane win32 full_suite
    not_run win32.smoke "the full i686 suite ran natively (lane win32), which holds the smoke cases"
    ;;
  emulated)
    not_run win32 "32-bit programs run only under emulation here, many times slower: the twin's suite (lane win64) stands in for it"
    ;;
  *)
    not_run win32 "this machine cannot run 32-bit programs, not even under emulation (scripts/machine-32bit.sh --explain)"
    not_run win32.smoke "the same: no emulator is registered for 32-bit programs"
    ;;
esac

finish
