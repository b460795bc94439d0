#!/usr/bin/env bash
# Prepares the Wine prefix for tests once (per architecture: see
# scripts/wine-env.sh): windows unmanaged (exact positions, quick message
# boxes) and no crash dialog (a crash ends the process).
set -eu
. "$(dirname "$0")/wine-env.sh"
corvane_wine_env
# A held session: a wineserver that stays until the caller ends it (a second
# one for the same prefix refuses to start, which is as good).
hold() {
  if [ "${CORVANE_WINE_HOLD:-}" = 1 ]; then
    "$WINESERVER" -p 2>/dev/null 9>&- || true
  fi
}
if [ -f "$WINEPREFIX/.corvane-ready" ]; then
  hold
  exit 0
fi
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
exec 9>"$lock"
# Another run making the prefix is waited for, within the time a prefix
# takes under emulation. Nothing Wine starts from here on may inherit the
# lock (9>&-): a held wineserver would keep it, and every later run would
# wait for it for good.
if ! flock -w 3600 9; then
  echo "wine-prefix: $WINEPREFIX is still being made by another run after 60 minutes (lock $lock)" >&2
  exit 1
fi
if [ -f "$WINEPREFIX/.corvane-ready" ]; then
  hold
  exit 0
fi
# A prefix left half-made by an interrupted run is made anew.
"$WINESERVER" -k 2>/dev/null 9>&- || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
hold
"$CORVANE_WINE" wineboot -i >/dev/null 2>&1 9>&- || true
"$CORVANE_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 9>&-
"$CORVANE_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
# Under emulation `wineboot -i` returns before the prefix is made: its
# `wineboot.exe --init` goes on installing for minutes, and a session ended
# before it finishes leaves the prefix to be made again in every later
# session. Wait for it (at most 30 minutes).
init_running() {
  local p
  for p in $(pgrep -f 'wineboot.exe --init' 2>/dev/null); do
    if tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      return 0
    fi
  done
  return 1
}
for _ in $(seq 360); do
  init_running || break
  sleep 5
done
# Wait for Wine's own processes to end, so that the registry is on disk.
# Under emulation some of them may linger idle for good: after a while they
# are ended (the registry is saved by then). A held session goes on serving
# the programs that come next.
if [ "${CORVANE_WINE_HOLD:-}" != 1 ] && ! timeout 120 "$WINESERVER" -w 9>&-; then
  "$WINESERVER" -k 9>&- || true
fi
touch "$WINEPREFIX/.corvane-ready"
