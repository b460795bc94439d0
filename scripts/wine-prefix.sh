#!/usr/bin/env bash
# Prepares the Wine prefix for tests once (per architecture: see
# scripts/wine-env.sh): windows unmanaged (exact positions, quick message
# boxes) and no crash dialog (a crash ends the process).
set -eu
. "$(dirname "$0")/wine-env.sh"
corvane_wine_env
[ -f "$WINEPREFIX/.corvane-ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
exec 9>"$lock"
flock 9
[ -f "$WINEPREFIX/.corvane-ready" ] && exit 0
# A prefix left half-made by an interrupted run is made anew.
rm -rf "$WINEPREFIX"
"$CORVANE_WINE" wineboot -i >/dev/null 2>&1 || true
"$CORVANE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
"$CORVANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINESERVER" -w
touch "$WINEPREFIX/.corvane-ready"
