#!/usr/bin/env bash
# Builds the Debian package for media builders: the stub from the win32 build,
# the tools as release builds (preset tools-release, no sanitizers), the
# builders' documentation. Prints the package's path on its last line.
#   scripts/package.sh            the package in build/release/package/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== the launcher stub (win32 build)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target stub

echo "== the tools, release build"
cmake --preset tools-release >/dev/null
cmake --build --preset tools-release --target medium szdd langtable package_files

echo "== the package"
rm -f build/release/package/corvane-medium_*.deb
cpack --preset tools-release >/dev/null
debs=(build/release/package/corvane-medium_*.deb)
[ -f "${debs[0]}" ] || { echo "package.sh: cpack wrote no package" >&2; exit 1; }
dpkg-deb --field "${debs[0]}" Package Version Architecture Depends
echo "${debs[0]}"
