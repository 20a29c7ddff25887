#!/usr/bin/env bash
# The Debian package as `make package` makes it: its name and fields, a dependency for every
# library the programs link, and, unpacked with dpkg -x, a converter that gives the build tree's
# bytes on the sample capture.
# Usage: package_test.sh BUILD_DIR SAMPLE VERSION
set -euo pipefail
. "$(dirname "$0")/common.sh"
build=$1 sample=$2 version=$3

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
deb=$work/out/packscope_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = packscope ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = hamradio ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"

# Depends as one package name a line, versions and alternatives dropped.
depends=$(field Depends | tr ',|' '\n\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | sed '/^$/d' | sort -u)
# The window needs Qt's platform plugins, which no library link shows.
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libpcap0.8 qt6-qpa-plugins; do
  grep -qx "$p" <<<"$depends" || fail "Depends lacks $p: $(field Depends)"
done

dpkg -x "$deb" "$work/root"
root=$work/root
for f in usr/bin/packscope usr/bin/packscope-convert usr/bin/packscope-record usr/bin/packscope-replay \
  usr/share/applications/packscope.desktop usr/share/man/man1/packscope-record.1.gz \
  usr/share/man/man1/packscope-replay.1.gz \
  usr/share/mime/packages/packscope.xml usr/share/man/man1/packscope.1.gz \
  usr/share/man/man1/packscope-convert.1.gz usr/share/icons/hicolor/48x48/apps/packscope.png; do
  [ -f "$root/$f" ] || fail "not in the package: /$f"
done

# Wireshark's extcap folder holds a link to packscope-record, which answers as an extcap there.
extcap=$(find "$root/usr/lib" -path '*/wireshark/extcap/packscope-record')
[ -n "$extcap" ] || fail "no packscope-record in a wireshark/extcap folder of the package"
[ -L "$extcap" ] && [ "$(readlink -f "$extcap")" = "$(readlink -f "$root/usr/bin/packscope-record")" ] ||
  fail "${extcap#"$root"} is no link to /usr/bin/packscope-record"
if command -v tshark >/dev/null; then
  want=$(tshark -G folders 2>/dev/null | awk -F'\t' '/^Extcap path/ {print $2}')
  [ "${extcap#"$root"}" = "$want/packscope-record" ] ||
    fail "the link is ${extcap#"$root"}; Wireshark's extcap folder is $want"
fi
"$extcap" --extcap-interfaces | grep -q 'interface {value=packscope-kiss-tcp}' ||
  fail "the extcap link does not list its interfaces"

# Every library the programs load directly comes from a package that Depends names. (No pipe
# here ends its reader early: under pipefail the writer's SIGPIPE would fail the test.)
for program in packscope packscope-convert packscope-record packscope-replay; do
  needed=$(objdump -p "$root/usr/bin/$program" | awk '$1 == "NEEDED" {print $2}')
  [ -n "$needed" ] || fail "objdump finds no NEEDED libraries in $program"
  resolved=$(ldd "$root/usr/bin/$program")
  for lib in $needed; do
    path=$(awk -v l="$lib" '$1 == l && $2 == "=>" && !seen {print $3; seen = 1}' <<<"$resolved")
    [ -n "$path" ] || fail "$program needs $lib, which this machine does not have"
    owners=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null || true)
    owner=$(sed -n '1s/:.*//p' <<<"$owners")
    [ -n "$owner" ] || fail "no installed package holds $path ($lib, needed by $program)"
    grep -qx "$owner" <<<"$depends" ||
      fail "$program needs $lib from package $owner, which Depends does not name: $(field Depends)"
  done
done

out=$("$root/usr/bin/packscope-convert" --version) || fail "packscope-convert --version failed"
[ "$out" = "packscope-convert $version" ] || fail "packscope-convert --version says '$out'"
same_conversions "$root/usr/bin/packscope-convert" "$build/packscope-convert" "$sample" "$work"
echo "$(basename "$deb"): Depends: $(field Depends)"
