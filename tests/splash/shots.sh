#!/usr/bin/env bash
# Photographs each kind of splash: runs the splash tests' Screenshots case,
# which shows one splash after the other, and takes the screen of the X
# display (import -window root) while each is up.
#   shots.sh SPLASH_TESTS_EXE OUT_DIR [SAMPLE_LIBRARY]
# Writes OUT_DIR/splash-dialog.png, splash-bitmap.png and splash-logo.png.
set -euo pipefail
exe=$1
out=$2
library=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/ready-* "$out"/done-* "$out"/splash-*.png

CORVANE_SHOT_DIR="$out" CORVANE_SHOT_LIBRARY="$library" \
  "$here/../../scripts/wine-run" "$exe" --gtest_filter=SplashTest.Screenshots >"$out/shots.log" 2>&1 &
runner=$!

status=0
for kind in dialog bitmap logo; do
  for _ in $(seq 1 600); do
    [ -e "$out/ready-$kind" ] && break
    kill -0 "$runner" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -e "$out/ready-$kind" ]; then
    echo "shots: the $kind splash never came up" >&2
    status=1
    break
  fi
  import -window root "$out/splash-$kind.png"
  touch "$out/done-$kind"
  echo "shots: $out/splash-$kind.png"
done
wait "$runner" || status=1
rm -f "$out"/ready-* "$out"/done-*
[ "$status" = 0 ] || cat "$out/shots.log" >&2
exit "$status"
