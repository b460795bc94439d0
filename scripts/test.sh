#!/usr/bin/env bash
# Runs every test: native unit tests under ASan/UBSan and fuzz smoke runs,
# then the Windows build, its reproducibility check, the Debian package, and
# the Windows tests under Wine in a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host

echo "== win32 build"
cmake --preset win32 >/dev/null
cmake --build --preset win32
scripts/check-reproducible.sh

echo "== the Debian package (release tools and the stub), for e2e.package"
scripts/package.sh

echo "== Windows tests under Wine"
scripts/wine-prefix.sh
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset win32
