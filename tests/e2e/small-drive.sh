#!/usr/bin/env bash
# Maps a small tmpfs (300 KiB) as a drive letter of the test prefix, for the
# work-directory case of a TEMP on a drive with too little free space.
#   small-drive.sh mount LETTER DIR | unmount LETTER DIR
# Mounting needs root (or sudo without a password); where it is not allowed
# this says so and succeeds, and the case skips itself.
set -u
action=${1:?mount or unmount}
letter=$(printf '%s' "${2:?drive letter}" | tr 'A-Z' 'a-z')
dir=${3:?mount point}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/wine-env.sh"
corvane_wine_env || exit 1
"$here/../../scripts/wine-prefix.sh" >/dev/null || exit 1
link="$WINEPREFIX/dosdevices/$letter:"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo -n "$@"; fi
}

case "$action" in
mount)
  rm -f "$link"
  mkdir -p "$dir"
  if mountpoint -q "$dir"; then as_root umount "$dir" 2>/dev/null; fi
  if as_root mount -t tmpfs -o size=300k,mode=1777 tmpfs "$dir" 2>/dev/null; then
    ln -s "$dir" "$link"
    echo "small drive: $dir (tmpfs, $(df -k --output=avail "$dir" | tail -1) KiB free) is ${letter^}:"
  else
    echo "small drive: cannot mount a tmpfs here (needs root or sudo); the small-drive case will skip"
  fi
  ;;
unmount)
  # Only a link that points at our own mount point is ours to remove.
  if [ "$(readlink "$link" 2>/dev/null)" = "$dir" ]; then rm -f "$link"; fi
  if mountpoint -q "$dir"; then as_root umount "$dir"; fi
  rmdir "$dir" 2>/dev/null || true
  ;;
*)
  echo "usage: small-drive.sh mount|unmount LETTER DIR" >&2
  exit 2
  ;;
esac
