#!/usr/bin/env bash
# The builder's path with nothing but the Debian package: unpacks the package
# into a fresh root, then, with a PATH that holds the package's tools and a
# few shell utilities but no compiler, resource compiler or Wine, makes the
# documented example library, a medium from the packaged stub, and a signed
# copy of its setup.exe (as docs/first-medium.md says); then, as a new
# builder starts, `medium new` and `medium build project.toml` with a sign
# command, and the manual page. The e2e case PackagedMedium.* then runs the
# three media under Wine.
#
#   make-medium.sh PACKAGE_DIR OUT_DIR BOOTSTRAP ENGINE COMPANION SCRIPT [STUB]
#
# STUB, for the x86-64 twin of the Windows build: the unpacked package's
# i686 stub is replaced by it, so that the packaged tools make media that
# the twin's Wine runs.
# OUT_DIR gets medium/ (setup.exe, SETUP.INS, _SETUP.DLL), signed/ (the
# same with setup.exe signed) and project/medium/ (built and signed from a
# project that `medium new` started).
set -euo pipefail
[ $# -eq 6 ] || [ $# -eq 7 ] || { echo "usage: $0 PACKAGE_DIR OUT_DIR BOOTSTRAP ENGINE COMPANION SCRIPT [STUB]" >&2; exit 2; }
package_dir=$1 out=$2 bootstrap=$3 engine=$4 companion=$5 script=$6 stub=${7:-}

fail() { echo "make-medium: $*" >&2; exit 1; }

debs=("$package_dir"/corvane-medium_*.deb)
[ -f "${debs[0]}" ] || fail "no corvane-medium_*.deb in $package_dir: run scripts/package.sh first"
[ "${#debs[@]}" -eq 1 ] || fail "more than one package in $package_dir"
deb=${debs[0]}

rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
root=$out/root
dpkg-deb -x "$deb" "$root"
if [ -n "$stub" ]; then
  packaged_stub=$root/usr/share/corvane/setup-stub.exe
  [ -f "$packaged_stub" ] || fail "the package has no $packaged_stub"
  cp "$stub" "$packaged_stub"
fi

# Only what a builder's machine without a toolchain has.
sysbin=$out/sysbin
mkdir -p "$sysbin"
for tool in bash sh cat cmp cp ls mkdir rm grep sed tee openssl osslsigncode \
            man tbl nroff groff troff grotty preconv col gzip; do
  ln -s "$(command -v "$tool")" "$sysbin/$tool"
done

for f in "$bootstrap" "$engine" "$companion" "$script"; do
  [ -f "$f" ] || fail "missing input $f"
done
cp "$bootstrap" "$out/bootstrap.exe"
cp "$engine" "$out/engine.exe"
cp "$companion" "$out/companion.dat"
cp "$script" "$out/SETUP.INS"

env -i HOME="$out" PATH="$root/usr/bin:$sysbin" LC_ALL=C.UTF-8 "$sysbin/bash" -euo pipefail -c '
  cd "$1"
  for compiler in cc gcc c++ g++ clang clang++ i686-w64-mingw32-gcc i686-w64-mingw32-g++ \
                  i686-w64-mingw32-windres windres wine; do
    if command -v "$compiler" >/dev/null; then
      echo "make-medium: $compiler is on the PATH: the check would prove nothing" >&2
      exit 1
    fi
  done
  [ "$(command -v medium)" = "$1/root/usr/bin/medium" ]
  szdd --version
  langtable --help >/dev/null
  medium --version

  doc=$1/root/usr/share/doc/corvane-medium
  medium library "$doc/examples/library/library.txt" -o _SETUP.DLL
  # No --stub: the tool must find the packaged one.
  medium build --bootstrap bootstrap.exe --engine engine.exe --companion companion.dat \
      --script SETUP.INS --library _SETUP.DLL --out medium \
      --version-info ProductName="Example" | tee build.txt
  grep -q "^stub: .*/usr/bin/../share/corvane/setup-stub.exe (installed)$" build.txt

  # Signing, as the walk-through does it (a throwaway certificate).
  openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
      -subj "/CN=Example Test Signer" 2>/dev/null
  mkdir signed
  cp medium/SETUP.INS medium/_SETUP.DLL signed/
  osslsigncode sign -certs cert.pem -key key.pem -h sha256 -n "Example Setup" \
      -in medium/setup.exe -out signed/setup.exe >/dev/null
  verified=$(osslsigncode verify -CAfile cert.pem -in signed/setup.exe)
  grep -q "Signature verification: ok" <<<"$verified"

  # A new builder: a starter project, the payloads and script put in, the
  # version set, a sign command; one command builds, signs and checks.
  medium new project >/dev/null
  cp bootstrap.exe engine.exe project/payloads/
  cp companion.dat project/payloads/companion.dat
  cp SETUP.INS project/SETUP.INS
  mkdir project/signing
  cp cert.pem key.pem project/signing/
  # The starter names the product and its versions once, in [define].
  sed -i -e "s/\"Your Product\"/\"Example\"/" -e "s/Your Company/Example Company/g" \
      -e "s/^version = \"1.0.0.0\"/version = \"1.2.3.4\"/" \
      -e "s/^display-version = \"1.0\"/display-version = \"1.2 beta\"/" project/project.toml
  cat >>project/project.toml <<EOF

[sign]
command = "osslsigncode sign -certs {cert} -key {key} -h sha256 -n \"Example Setup\" -in {in} -out {out}"
cert = "signing/cert.pem"
key = "signing/key.pem"
payloads = true
EOF
  medium build project/project.toml >project-build.txt 2>project-warnings.txt
  cat project-build.txt project-warnings.txt
  grep -q "^signed: setup.exe with osslsigncode$" project-build.txt
  # Every program inside and the library are signed too.
  grep -q "^signed: the bootstrap (project/payloads/bootstrap.exe) with osslsigncode$" project-build.txt
  grep -q "^signed: the engine (project/payloads/engine.exe) with osslsigncode$" project-build.txt
  grep -q "^signed: _SETUP.DLL (built from the description) with osslsigncode$" project-build.txt
  grep -q "^checked: 0 errors" project-build.txt
  if grep -q "not set" project-warnings.txt; then
    echo "make-medium: the version keys were set, yet the build warns" >&2
    exit 1
  fi
  verified=$(osslsigncode verify -CAfile cert.pem -in project/medium/setup.exe)
  grep -q "Signature verification: ok" <<<"$verified"
  medium inspect project/medium >project-inspect.txt || [ $? -eq 1 ]
  grep -q "signed: verified" project-inspect.txt
  grep -q "state: sealed" project-inspect.txt
  # setup.exe, the library, the bootstrap and the engine
  [ "$(grep -c "signed: verified" project-inspect.txt)" -eq 4 ]

  # Extracted, the programs inside carry their signatures: the launcher
  # delivers these very bytes (the e2e test compares them).
  medium extract project/medium/setup.exe project/extracted >/dev/null
  for f in _INS0366._MP _INS0466._MP; do
    verified=$(osslsigncode verify -CAfile cert.pem -in "project/extracted/$f")
    grep -q "Signature verification: ok" <<<"$verified"
  done

  # The seal: one byte added to the script is an error that names it.
  cp -r project/medium tampered
  printf x >>tampered/SETUP.INS
  status=0
  medium inspect tampered >tampered-inspect.txt || status=$?
  [ "$status" -eq 2 ]
  grep -q "tampered/SETUP.INS: error: differs from the seal in setup.exe" tampered-inspect.txt

  # A quick unsigned build from the same project.
  medium build project/project.toml --no-sign --out unsigned >unsigned-build.txt 2>/dev/null
  grep -q "^not signed: --no-sign; the project.s \[sign\] is skipped$" unsigned-build.txt
  if grep -q "^signed:" unsigned-build.txt; then
    echo "make-medium: --no-sign signed something" >&2
    exit 1
  fi

  # The manual pages, from the unpacked package.
  MANPATH="$1/root/usr/share/man" MANWIDTH=80 man medium >man-medium.txt
  grep -q "medium build PROJECT" man-medium.txt
' make-medium "$out"
echo "make-medium: $out/medium, $out/signed and $out/project/medium made from $(basename "$deb") without a compiler"
