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
  wine wine32:i386 xvfb xauth x11-utils imagemagick
  googletest mscompress python3 locales nsis
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
