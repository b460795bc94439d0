#!/usr/bin/env bash
# Prepares the Wine prefix for tests once: windows unmanaged (exact positions,
# quick message boxes) and no crash dialog (a crash ends the process).
set -eu
export WINEPREFIX="${CORVANE_WINEPREFIX:-$HOME/.cache/corvane/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
[ -f "$WINEPREFIX/.corvane-ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
exec 9>"$lock"
flock 9
[ -f "$WINEPREFIX/.corvane-ready" ] && exit 0
wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.corvane-ready"
