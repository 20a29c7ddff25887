#!/usr/bin/env bash
# A manual page renders without a single groff warning, through man -l as users read it, and
# names every option the program's --help lists (and, for the converter, every layout).
# Usage: man_test.sh PAGE PROGRAM VERSION
set -euo pipefail
. "$(dirname "$0")/common.sh"
page=$1 program=$2 version=$3
name=$(basename "$program")

warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns about $page:
$warnings"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
MANWIDTH=80 MAN_KEEP_FORMATTING= man -l --warnings=w "$page" >"$work/page" 2>"$work/stderr" ||
  { cat "$work/stderr" >&2; fail "man -l $page failed"; }
[ ! -s "$work/stderr" ] || fail "man -l $page complains: $(cat "$work/stderr")"
# Plain text: no overstrike bold, no escape sequences.
sed -i 's/.\x08//g; s/\x1b\[[0-9;]*m//g' "$work/page"
grep -q "^NAME" "$work/page" || fail "no NAME section in $page"
grep -q "^ *$name - " "$work/page" || fail "the NAME line of $page does not start with '$name - '"
grep -q "^SYNOPSIS" "$work/page" || fail "no SYNOPSIS section in $page"
grep -q "^packscope $version " "$work/page" || fail "the footer of $page does not show packscope $version"

help=$(DISPLAY= WAYLAND_DISPLAY= "$program" --help)
options=$(grep -o -E -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u)
[ -n "$options" ] || fail "no options in $name --help"
for option in $options; do
  grep -q -- "$option\b" "$work/page" || fail "$page does not describe $option"
done
checked="options: $(echo $options)"
if [ "$name" = packscope-convert ]; then
  layouts=$(sed -n '/Output layout: /,/\.$/{s/.*Output layout: //;p}' <<<"$help" | tr -d '\n' |
    tr -s ' ' | sed 's/\.$//; s/, */ /g')
  [ -n "$layouts" ] || fail "no layouts in $name --help"
  for layout in $layouts; do
    grep -q -E "^ {7}$layout \(extension \." "$work/page" ||
      fail "$page has no entry for the layout $layout"
  done
  checked="$checked; layouts: $layouts"
fi
echo "$page renders cleanly and names $checked"
