#!/usr/bin/env bash
# Plants symbolic links under the launcher's file names in a TEMP folder, each
# pointing at a file outside it, for the case that checks the launcher never
# writes through such a name. A Windows program cannot make a Unix link, so
# this runs before the driver.
#   plant-links.sh DIR
set -eu
dir=${1:?folder}
rm -rf "$dir"
mkdir -p "$dir/temp" "$dir/outside"
# temp: links under the three payload names; probe: one under the probe's.
mkdir -p "$dir/probe"
for name in _INS0366._MP _INS0466._MP _INS0166._MP _INS0566._MP; do
  printf 'precious %s\n' "$name" > "$dir/outside/$name.victim"
done
for name in _INS0366._MP _INS0466._MP _INS0166._MP; do
  ln -s "$dir/outside/$name.victim" "$dir/temp/$name"
done
ln -s "$dir/outside/_INS0566._MP.victim" "$dir/probe/_INS0566._MP"
echo "planted links in $dir/temp"
