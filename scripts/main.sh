#!/usr/bin/env bash
# The main job: builds everything, assembles the sample medium, runs its
# setup.exe under Wine as a user would (in a virtual display when none is
# set), and tells what happened: the boxes shown, the command line the
# bootstrap received, the work directory and the files expanded there, and
# when the launcher ended. Fails (non-zero) when the launch did not happen.
#
#   scripts/main.sh [ARGUMENTS FOR SETUP.EXE...]     e.g. scripts/main.sh -s
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

echo "== host build (portable core, tools)"
cmake --preset host >/dev/null
cmake --build --preset host

echo "== win32 build (launcher, sample medium, Windows tests)"
cmake --preset win32 >/dev/null
cmake --build --preset win32

build=$root/build/win32
medium=$build/medium

# The medium as a media builder makes it: the payload-free launcher, the
# sample payloads, script and library, put together by `medium build` (no
# compiler). The build tree's own setup.exe carries the CORVANE_PAYLOAD_*
# files instead.
echo
echo "== medium build: the sample medium from the launcher stub"
make_medium=(build/host/tools/medium/medium build --stub "$build/stub/setup-stub.exe"
             --bootstrap "$build/sample/sample_bootstrap.exe" --engine "$build/sample/sample_engine.exe"
             --companion sample/companion.txt --script sample/SETUP.INS --library "$build/sample/_SETUP.DLL"
             --out "$medium")
echo "\$ ${make_medium[*]#$root/}"
"${make_medium[@]}" || { echo "== main: FAILED: medium build could not make the sample medium" >&2; exit 1; }
for f in setup.exe SETUP.INS _SETUP.DLL; do
  [ -f "$medium/$f" ] || { echo "main: the sample medium lacks $f ($medium)" >&2; exit 1; }
done

echo
echo "== the sample medium: $medium"
ls -l "$medium" | sed 1d
# The launcher without its resources, and what the resources carry.
exe=$medium/setup.exe
# (the resource section's size in the file, from the PE section table)
read -r total rsrc without < <(scripts/launcher-size.py "$exe")
echo "setup.exe: $total bytes; resource section $rsrc bytes (payload pieces and their check record); without it $without bytes"

echo
echo "== running setup.exe under Wine"
# The i686 medium is the product: it runs on every machine, natively where
# the kernel runs 32-bit programs, else under emulation.
machine=$(scripts/machine-32bit.sh --explain)
machine32=${machine%%$'\n'*}
export CORVANE_MACHINE_32BIT=$machine32
echo "can this machine run 32-bit programs? $machine32"
echo "${machine#*$'\n'}"
case $machine32 in
  native) ;;
  emulated)
    if [ -f "${CORVANE_WINEPREFIX:-$HOME/.cache/corvane/wineprefix}/.corvane-ready" ]; then
      echo "setup.exe runs under emulation (qemu-user, the 32-bit Wine): expect 5 to 15 minutes, most of it Wine starting its processes."
    else
      echo "setup.exe runs under emulation (qemu-user, the 32-bit Wine): expect 15 to 30 minutes, the first time"
      echo "most of it making the Wine prefix (later runs reuse it)."
    fi
    ;;
  *)
    echo "== main: FAILED: this machine cannot run the i686 setup.exe, not even under emulation" >&2
    exit 1 ;;
esac
started=$SECONDS
export CORVANE_WINE_ARCH=win32
. scripts/wine-env.sh
corvane_wine_env
# One display for the prefix and the run (a virtual one when none is set),
# and under emulation one Wine session for both: each new one costs minutes.
corvane_start_display || exit 1
if [ "$machine32" = emulated ]; then
  export CORVANE_WINE_HOLD=1
fi
trap 'corvane_wine_release; corvane_stop_display' EXIT
scripts/wine-prefix.sh
# Wine's helper processes may keep inherited output open: the runner's
# output goes to files, shown afterwards.
out=$build/main-run.txt
err=$build/main-run.err
# A picture of the screen while the splash is up goes beside the report.
shot=$build/main-splash.png
runner=(scripts/photograph-run.sh "$shot" "$build/main-splash.seen" "$out" "$err"
        env CORVANE_SPLASH_SIGNAL="$build/main-splash.seen"
        scripts/wine-run "$build/tests/e2e/medium_runner.exe" "$exe" "$@")
rc=0
"${runner[@]}" || rc=$?
cat "$out"
if [ -f "$shot" ]; then
  echo "splash picture:  $shot"
else
  echo "splash picture:  none (no splash was seen)"
fi
if [ -s "$err" ]; then
  echo "(Wine's messages: $err)"
fi

echo "(setup.exe's run took $((SECONDS - started)) s, with the Wine prefix)"
echo
case $rc in
  0) echo "== main: the sample medium's setup ran and launched its bootstrap" ;;
  1) echo "== main: FAILED: the bootstrap was not launched" >&2 ;;
  3) echo "== main: FAILED: the launcher did not end by itself with exit code 0" >&2 ;;
  *) echo "== main: FAILED: the medium runner ended with status $rc" >&2 ;;
esac
exit "$rc"
