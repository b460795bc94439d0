#!/usr/bin/env bash
# Brings a Debian 12 machine to everything the project builds and tests with.
# Idempotent: packages that are present are left alone; runs as root or through sudo.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo" >&2; exit 1; }
  SUDO="sudo"
fi

PKGS=(
  cmake ninja-build clang llvm libclang-rt-14-dev
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 qemu-user-static xvfb xauth x11-utils imagemagick
  googletest mscompress python3 python3-jsonschema locales nsis
  dpkg-dev file g++ git osslsigncode openssl libssl-dev libtomlplusplus-dev
  libexpat1-dev zlib1g-dev scdoc lintian fonts-ipafont-gothic fonts-wqy-microhei
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# osslsigncode 2.6 and later time-stamp a signature themselves (-TSA-certs,
# -TSA-key): the signing tests make signatures that must be clean, time stamp
# and all, without a time-stamp server. Debian 12 has 2.5; its backports
# have a later one.
# The help is read whole before it is searched: grep -q stopping at the
# first match would cut the pipe, and pipefail would count that as "absent".
tsa_capable() { local help; help=$(osslsigncode --help 2>&1 || true); grep -q -- '-TSA-certs' <<<"$help"; }
if ! tsa_capable; then
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  # A source apt reads: a .list or .sources file, on a line not commented out.
  if ! cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
      grep -qE "^[^#]*[[:space:]]${codename}-backports([[:space:]]|$)"; then
    echo "deb http://deb.debian.org/debian ${codename}-backports main" |
      $SUDO tee /etc/apt/sources.list.d/corvane-backports.list >/dev/null
  fi
  echo "install-deps: osslsigncode from ${codename}-backports (it time-stamps signatures itself)"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends -t "${codename}-backports" osslsigncode
  if ! tsa_capable; then
    echo "install-deps: osslsigncode $(osslsigncode --version 2>/dev/null | head -n1) cannot time-stamp a signature itself (-TSA-certs, from 2.6); the signing tests need it: install a later osslsigncode" >&2
    exit 1
  fi
fi

# Where the kernel runs 64-bit programs only, the i686 Wine runs under
# qemu-user: register qemu-i386 with binfmt_misc once (Debian's package does
# not on amd64). "F" opens the interpreter now, so the entry also serves in
# a chroot. Left alone where 32-bit programs already run, natively or not.
here=$(cd "$(dirname "$0")" && pwd)
if [ "$("$here/machine-32bit.sh")" = none ]; then
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    $SUDO mount -t binfmt_misc binfmt_misc "$binfmt" || true
  fi
  if [ -e "$binfmt/register" ] && [ ! -e "$binfmt/qemu-i386" ]; then
    echo "install-deps: registering qemu-i386 for 32-bit programs (this machine cannot run them itself)"
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:FP' |
      $SUDO tee "$binfmt/register" >/dev/null || true
  fi
  if [ "$("$here/machine-32bit.sh")" = none ]; then
    echo "install-deps: 32-bit programs still cannot run here (binfmt_misc not available?); the i686 Windows lanes will say so and not run" >&2
  fi
fi
