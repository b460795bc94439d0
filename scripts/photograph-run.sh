#!/usr/bin/env bash
# Runs a command and photographs the X screen (import -window root) while the
# launcher's splash is up: once the command creates SIGNAL (the medium runner
# does when it sees the splash). No picture when no splash shows.
#   photograph-run.sh PICTURE SIGNAL OUT ERR COMMAND [ARGUMENTS...]
# The command's output goes to OUT and ERR; its exit status is returned.
set -u
picture=$1 signal=$2 out=$3 err=$4
shift 4
rm -f "$signal" "$picture"
"$@" >"$out" 2>"$err" &
pid=$!
# Up to a minute for the launcher to start and show its splash (times
# CORVANE_TIME_SCALE under emulation).
for _ in $(seq 1 $((600 * ${CORVANE_TIME_SCALE:-1}))); do
  [ -e "$signal" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if [ -e "$signal" ]; then
  sleep 0.3   # let it paint
  import -window root "$picture" 2>/dev/null || rm -f "$picture"
fi
rm -f "$signal"
wait "$pid"
