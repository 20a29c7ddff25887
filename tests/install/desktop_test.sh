#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate (hints allowed, no errors or warnings), starts
# packscope on the file it is given, and claims the MIME type that the shared-mime-info package
# gives *.kss files; update-mime-database accepts that package.
# Usage: desktop_test.sh DESKTOP_FILE MIME_PACKAGE
set -euo pipefail
. "$(dirname "$0")/common.sh"
desktop=$1 mime=$2

report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects $desktop:
$report"
if grep -E ': (error|warning): ' <<<"$report"; then
  fail "desktop-file-validate complains about $desktop"
fi

key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Type)" = Application ] || fail "Type=$(key Type)"
[ "$(key Exec)" = "packscope %f" ] || fail "Exec=$(key Exec), not 'packscope %f'"
[ "$(key Icon)" = packscope ] || fail "Icon=$(key Icon): the icon is installed as packscope.png"
for c in HamRadio Network Utility; do
  grep -q -E "(^|;)$c(;|$)" <<<"$(key Categories)" || fail "Categories lack $c: $(key Categories)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/mime/packages"
cp "$mime" "$work/mime/packages/packscope.xml"
out=$(XDG_DATA_HOME=$work update-mime-database "$work/mime" 2>&1) || fail "update-mime-database rejects $mime: $out"
[ -z "$out" ] || fail "update-mime-database complains about $mime: $out"
type=$(sed -n 's/^[0-9]*:\([^:]*\):\*\.kss$/\1/p' "$work/mime/globs2")
[ -n "$type" ] || fail "*.kss has no MIME type after update-mime-database: $(cat "$work/mime/globs2")"
[ -f "$work/mime/$type.xml" ] || fail "update-mime-database made no $type.xml"
grep -q -E "(^|;)$type(;|$)" <<<"$(key MimeType)" ||
  fail "the desktop entry claims MimeType=$(key MimeType), not $type"
echo "$(basename "$desktop") valid; *.kss is $type, opened by packscope"
