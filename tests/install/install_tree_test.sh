#!/usr/bin/env bash
# cmake --install into a temporary prefix: every file lands where desktops and man look for it,
# and the installed converter gives the build tree's bytes on the sample capture.
# Usage: install_tree_test.sh BUILD_DIR SAMPLE VERSION ICON_SIZES...
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 sample=$2 version=$3
shift 3
sizes=("$@")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }

expected=(
  bin/packscope
  bin/packscope-convert
  bin/packscope-record
  bin/packscope-replay
  share/applications/packscope.desktop
  share/mime/packages/packscope.xml
  share/man/man1/packscope.1.gz
  share/man/man1/packscope-convert.1.gz
  share/man/man1/packscope-record.1.gz
  share/man/man1/packscope-replay.1.gz
)
for size in "${sizes[@]}"; do expected+=("share/icons/hicolor/${size}x${size}/apps/packscope.png"); done
for f in "${expected[@]}"; do [ -f "$prefix/$f" ] || fail "not installed: $f"; done
for f in bin/packscope bin/packscope-convert bin/packscope-record bin/packscope-replay; do [ -x "$prefix/$f" ] || fail "$f is not executable"; done
# Nothing else: the capture generator and the picture tool stay in the build tree.
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
[ "$installed" = "$wanted" ] || fail "installed files differ from the expected list:
$(diff <(echo "$wanted") <(echo "$installed"))"

# Each icon is a PNG of its folder's size (width and height at bytes 16..23 of the header).
for size in "${sizes[@]}"; do
  png=$prefix/share/icons/hicolor/${size}x${size}/apps/packscope.png
  [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$png is not a PNG"
  dims=$(od -An -tu4 --endian=big -j16 -N8 "$png" | tr -s ' ' | sed 's/^ //')
  [ "$dims" = "$size $size" ] || fail "$png is $dims, not $size x $size"
done

out=$("$prefix/bin/packscope-convert" --version) || fail "installed packscope-convert --version failed"
[ "$out" = "packscope-convert $version" ] || fail "packscope-convert --version says '$out', not 'packscope-convert $version'"
out=$(DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/packscope" --version) || fail "installed packscope --version failed"
[ "$out" = "packscope $version" ] || fail "packscope --version says '$out', not 'packscope $version'"
for program in packscope-record packscope-replay; do
  out=$("$prefix/bin/$program" --version) || fail "installed $program --version failed"
  [ "$out" = "$program $version" ] || fail "$program --version says '$out', not '$program $version'"
done

same_conversions "$prefix/bin/packscope-convert" "$build/packscope-convert" "$sample" "$work"

# Batch: several captures, each output next to its capture.
mkdir "$work/batch"
cp "$sample" "$work/batch/pass1.kss"
cp "$sample" "$work/batch/pass2.kss"
"$prefix/bin/packscope-convert" -l monitor "$work/batch/pass1.kss" "$work/batch/pass2.kss" 2>/dev/null ||
  fail "batch conversion failed"
for p in pass1 pass2; do
  cmp "$work/batch/$p.monitor.txt" "$work/built.monitor" || fail "batch output $p.monitor.txt differs"
done
echo "installed tree complete: ${#expected[@]} files"
