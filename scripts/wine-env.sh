# Sourced by everything that runs Windows programs under Wine: sets the Wine
# of one architecture and its prefix.
#   CORVANE_WINE_ARCH   win32 (default; the product's i686 build) or win64
#                       (the x86-64 twin under wine64)
#   CORVANE_WINEPREFIX  the prefix; by default one per architecture under
#                       ~/.cache/corvane
# Exports WINEPREFIX, WINEARCH, WINESERVER, CORVANE_WINE (the loader to
# run), CORVANE_MACHINE_32BIT (scripts/machine-32bit.sh's answer) and
# CORVANE_TIME_SCALE (how much longer the test rig waits: 1 natively, more
# when the 32-bit Wine runs under emulation). Returns non-zero, with a line
# on stderr, when this machine cannot run the chosen architecture.
corvane_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export CORVANE_WINE_ARCH="${CORVANE_WINE_ARCH:-win32}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers, no menu builder (nothing here needs desktop
# menus) and no debugger for crashes (a crash ends the process with its
# exception code, which the tests read): under emulation each costs a minute.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d}"
# The 64-bit wineserver serves both architectures (and runs natively
# where 32-bit code is emulated).
if [ -x /usr/lib/wine/wineserver64 ]; then
  export WINESERVER=/usr/lib/wine/wineserver64
fi
corvane_wine_env() {
  case $CORVANE_WINE_ARCH in
    win64)
      export WINEPREFIX="${CORVANE_WINEPREFIX:-$HOME/.cache/corvane/wineprefix64}"
      export WINEARCH=win64
      export CORVANE_WINE=/usr/lib/wine/wine64
      export WINELOADER=$CORVANE_WINE
      export CORVANE_TIME_SCALE="${CORVANE_TIME_SCALE:-1}"
      [ -x "$CORVANE_WINE" ] || { echo "wine-env: wine64 is not installed (scripts/install-deps.sh)" >&2; return 1; }
      ;;
    win32)
      export WINEPREFIX="${CORVANE_WINEPREFIX:-$HOME/.cache/corvane/wineprefix}"
      export WINEARCH=win32
      export CORVANE_WINE=/usr/lib/wine/wine
      export WINELOADER=$CORVANE_WINE
      if [ -z "${CORVANE_MACHINE_32BIT:-}" ]; then
        CORVANE_MACHINE_32BIT=$("$corvane_scripts/machine-32bit.sh")
        export CORVANE_MACHINE_32BIT
      fi
      case $CORVANE_MACHINE_32BIT in
        native)   export CORVANE_TIME_SCALE="${CORVANE_TIME_SCALE:-1}" ;;
        emulated) export CORVANE_TIME_SCALE="${CORVANE_TIME_SCALE:-30}" ;;
        *)
          echo "wine-env: this machine cannot run 32-bit programs, so not the i686 Wine either (scripts/machine-32bit.sh --explain)" >&2
          return 1 ;;
      esac
      [ -x "$CORVANE_WINE" ] || { echo "wine-env: the 32-bit Wine is not installed (wine32:i386; scripts/install-deps.sh)" >&2; return 1; }
      ;;
    *)
      echo "wine-env: CORVANE_WINE_ARCH must be win32 or win64, not '$CORVANE_WINE_ARCH'" >&2
      return 1 ;;
  esac
}

# Under emulation each new Wine session (the first process a wineserver
# serves) spends minutes starting Wine's own services before the program
# runs. A job that runs several programs holds one session open: with
# CORVANE_WINE_HOLD=1, scripts/wine-prefix.sh starts a wineserver that stays
# (with its services) until corvane_wine_release ends it. Call
# corvane_wine_env first.
corvane_wine_release() {
  "$WINESERVER" -k 2>/dev/null || true
}

# Gives the Wine programs of this shell and its children one display for the
# whole job (a held Wine session keeps its desktop on it): when DISPLAY is
# unset, starts a virtual one (Xvfb) and exports DISPLAY;
# corvane_stop_display ends it again.
corvane_start_display() {
  [ -n "${DISPLAY:-}" ] && return 0
  local n i
  for n in $(seq 90 150); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    CORVANE_XVFB_PID=$!
    for i in $(seq 100); do
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        export DISPLAY=":$n"
        return 0
      fi
      kill -0 "$CORVANE_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$CORVANE_XVFB_PID" 2>/dev/null
  done
  echo "wine-env: could not start a virtual display (Xvfb)" >&2
  return 1
}
corvane_stop_display() {
  if [ -n "${CORVANE_XVFB_PID:-}" ]; then
    kill "$CORVANE_XVFB_PID" 2>/dev/null || true
    unset CORVANE_XVFB_PID
  fi
}
