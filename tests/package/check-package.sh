#!/usr/bin/env bash
# The package follows Debian's rules and its pages stand on their own:
# lintian reports no error or warning; the manual pages render; copyright and
# changelog.gz are in the doc folder; every relative link of the installed
# pages leads to an installed file; no installed page sends the reader into
# the source tree (its tests, scripts, build folders or contributor pages).
#
#   check-package.sh PACKAGE_DIR WORK_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 PACKAGE_DIR WORK_DIR" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
package_dir=$1 work=$2
fail() { echo "check-package: $*" >&2; exit 1; }

debs=("$package_dir"/corvane-medium_*.deb)
[ -f "${debs[0]}" ] || fail "no corvane-medium_*.deb in $package_dir: run scripts/package.sh first"
deb=${debs[0]}

# Errors and warnings fail; informational tags do not.
lint=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
if printf '%s\n' "$lint" | grep -qE '^[EW]: '; then
  printf '%s\n' "$lint" >&2
  fail "lintian reports errors or warnings"
fi

rm -rf "$work"
mkdir -p "$work"
root=$work/root
dpkg-deb -x "$deb" "$root"
doc=$root/usr/share/doc/corvane-medium
for f in copyright changelog.gz; do
  [ -f "$doc/$f" ] || fail "$f is missing from /usr/share/doc/corvane-medium"
done
# The manual page sends scripts to the JSON schemas.
for f in finding medium-build-log medium-inspect; do
  [ -f "$root/usr/share/corvane/schema/$f.schema.json" ] || fail "$f.schema.json is missing from /usr/share/corvane/schema"
done

for tool in medium szdd langtable; do
  page=$root/usr/share/man/man1/$tool.1.gz
  [ -f "$page" ] || fail "no manual page for $tool"
  text=$(MANPATH=$root/usr/share/man MANWIDTH=80 man "$tool" 2>&1) || fail "man $tool: $text"
  grep -q "^NAME" <<<"$text" || fail "man $tool shows no NAME section"
  grep -q "$tool - " <<<"$text" || fail "man $tool has no one-line summary"
done

"$here/../../scripts/check-links.py" "$doc" || fail "broken links in the installed pages"

# Words that only make sense beside the sources.
tree_words='ctest|scripts/|build/|tests/|sample/|tools/|cmake|resources/|docs/'
pages=$(find "$doc" -name '*.md')
if grep -nE "$tree_words" $pages; then
  fail "an installed page speaks of the source tree (above)"
fi
for tool in medium szdd langtable; do
  if MANPATH=$root/usr/share/man MANWIDTH=80 man "$tool" 2>/dev/null | grep -nE "$tree_words"; then
    fail "man $tool speaks of the source tree (above)"
  fi
done
echo "check-package: $(basename "$deb"): lintian clean, 3 manual pages, links and pages stand alone"
