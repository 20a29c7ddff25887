# Shared by the install tests: failing with a message, and comparing the converter of an
# installed tree with the build tree's on the sample capture.

# A command that fails under set -e says where, so that no test ends without a word.
trap 'echo "FAIL: ${BASH_SOURCE[0]}:$LINENO: $BASH_COMMAND" >&2' ERR

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# same_conversions INSTALLED_CONVERTER BUILT_CONVERTER SAMPLE WORKDIR
# Every layout of the converter (as its --help lists them), and --check, must give the same bytes
# and the same exit status from both programs.
same_conversions() {
  local installed=$1 built=$2 sample=$3 work=$4
  local layouts
  layouts=$("$built" --help | sed -n '/Output layout: /,/\.$/{s/.*Output layout: //;p}' | tr -d '\n' | tr -s ' ' |
    sed 's/\.$//; s/, */ /g')
  [ -n "$layouts" ] || fail "no layouts found in '$built --help'"
  local count=0 layout
  for layout in $layouts; do
    "$installed" -l "$layout" -o "$work/installed.$layout" "$sample" 2>/dev/null ||
      fail "installed packscope-convert -l $layout failed on $sample"
    "$built" -l "$layout" -o "$work/built.$layout" "$sample" 2>/dev/null ||
      fail "packscope-convert of the build tree -l $layout failed on $sample"
    [ -s "$work/built.$layout" ] || fail "layout $layout wrote an empty file"
    cmp "$work/installed.$layout" "$work/built.$layout" ||
      fail "layout $layout: the installed converter writes other bytes than the build tree's"
    count=$((count + 1))
  done
  [ "$count" -ge 9 ] || fail "only $count layouts found in --help: $layouts"
  local a=0 b=0
  "$installed" --check "$sample" >"$work/installed.check" || a=$?
  "$built" --check "$sample" >"$work/built.check" || b=$?
  [ "$a" = "$b" ] || fail "--check: exit status $a installed, $b in the build tree"
  cmp "$work/installed.check" "$work/built.check" || fail "--check reports differ"
  echo "same bytes in $count layouts and --check: $layouts"
}
