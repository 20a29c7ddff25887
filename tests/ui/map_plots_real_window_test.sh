#!/usr/bin/env bash
# The frame list's Map and Plots tabs in a real X window (Xvfb), driven by the mouse and
# keystrokes (xdotool) as a user drives them, over a capture where one station alone gives
# positions (the map fits its view to it, so it sits in the middle of the map):
#   1. Ctrl+3 shows the map; a click on the station sets the filter to `src == CALL` (read back
#      from the filter bar: Ctrl+/, Ctrl+C) and the table then lists the frames `packscope-convert
#      --filter "src == CALL"` does (each row copied with Ctrl+C, the monitor layout's line).
#   2. Ctrl+End, Ctrl+4: the plots show the selected row's station; a click on the first point of
#      its first chart selects that point's frame in the table (copied with Ctrl+C): one of the
#      station's first frames of the series layout.
# Where exactly the map and the first chart lie depends on the fonts, so the clicks try a few
# places around where they are expected, one after the other, until one hits.
#
#   map_plots_real_window_test.sh PACKSCOPE PACKSCOPE-CONVERT PACKSCOPE-GENCAPTURE
#
# Exits 77 (skipped) when Xvfb, xdotool or xclip is missing (scripts/install-deps test installs
# them). MAP_PLOTS_SHOTS=DIR keeps screenshots of both tabs there (needs ImageMagick's import).
set -euo pipefail

packscope=$1
convert=$2
gencapture=$3

name=map_plots_real_window_test
tools="xdotool xclip"
# shellcheck source=tests/ui/x_session.sh
source "$(dirname "$0")/x_session.sh"

call=Q00001
"$gencapture" --seed 7 --frames 300 --stations 6 --output "$work/traffic.kss"
"$convert" --filter "src == $call or not (aprs.lat >= -90 or aprs.type in {third-party, object, item})" \
  --layout kiss --output "$work/one.kss" "$work/traffic.kss" 2>/dev/null
placed=$("$convert" --layout gpx --output - "$work/one.kss" 2>/dev/null |
  grep -o '<name>[^<]*' | sort -u)
[ "$placed" = "<name>$call" ] || fail "the capture places others than $call: $placed"
"$convert" --filter "src == $call" --layout monitor --output - "$work/one.kss" 2>/dev/null |
  grep -v '^  ' >"$work/expected-rows.txt"
rows=$(wc -l <"$work/expected-rows.txt")
[ "$rows" -gt 5 ] || fail "only $rows frames from $call"
# The frames of the station's first three values over time.
first=$("$convert" --filter "src == $call" --layout series --output - "$work/one.kss" 2>/dev/null |
  tail -n +2 | cut -d, -f2 | uniq | head -3 | sed 's/^/frame == /' | paste -sd' ' | sed 's/ frame/ or frame/g')
"$convert" --filter "$first" --layout monitor --output - "$work/one.kss" 2>/dev/null |
  grep -v '^  ' >"$work/first-values.txt"
[ "$(wc -l <"$work/first-values.txt")" -eq 3 ] || fail "no three first values ($first)"

"$packscope" --frames "$work/one.kss" 2>"$work/packscope.log" &
app=$!
title='^Packscope Frames - one\.kss$'
wait_for xdotool search --name "$title" >/dev/null || fail "no frame list window"
window=$(xdotool search --name "$title" | head -1)
sleep 1
xdotool windowfocus --sync "$window"

clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
shot() { if [ -n "${MAP_PLOTS_SHOTS:-}" ]; then import -window root "$MAP_PLOTS_SHOTS/$1"; fi; }

# 1. The map (the window sits at the top left of the screen, no window manager; its map's middle
# near 550, 418).
xdotool key ctrl+3
sleep 1.5
shot map.png
filter=
for round in 1 2; do # the second after a pause, in case the statistics came late
  for y in 418 410 426 402 434 394 442 386 450; do
    xdotool mousemove 550 "$y" click 1
    sleep 0.5
    xdotool key ctrl+slash ctrl+c
    sleep 0.2
    filter=$(clipboard)
    [ "$filter" != "src == $call" ] || break 2
  done
  sleep "$round"
done
[ "$filter" = "src == $call" ] || fail "a click on the station did not set src == $call (filter: '$filter')"
sleep 0.5
xdotool key ctrl+1 ctrl+Home
: >"$work/rows.txt"
for _ in $(seq "$rows"); do
  xdotool key ctrl+c
  sleep 0.05
  clipboard >>"$work/rows.txt"
  echo >>"$work/rows.txt"
  xdotool key Down
done
diff "$work/expected-rows.txt" "$work/rows.txt" >&2 ||
  fail "the rows after the click on $call are not packscope-convert --filter 'src == $call''s"

# 2. The plots of the selected row's station (its last frame, which has no first value); the
# first point of the first chart lies at the left of its plot area (x near 82), somewhere between
# its top and bottom.
xdotool key ctrl+End
sleep 0.2
xdotool key ctrl+c
sleep 0.2
last=$(clipboard)
[ "$last" = "$(tail -1 "$work/expected-rows.txt")" ] || fail "Ctrl+End did not select the last row"
xdotool key ctrl+4
sleep 2
shot plots.png
chosen=$last
for x in 83 88; do
  for y in $(seq 140 6 340); do
    xdotool mousemove "$x" "$y" click 1
    sleep 0.3
    xdotool key ctrl+c
    sleep 0.1
    chosen=$(clipboard)
    [ "$chosen" = "$last" ] || break 2
  done
done
[ "$chosen" != "$last" ] || fail "no click on the plots of $call selected a frame"
grep -qxF -- "$chosen" "$work/first-values.txt" ||
  fail "the point clicked selected a frame that is not one of $call's first values: $chosen"
echo "map_plots_real_window_test: a click on $call on the map listed its $rows frames as" \
  "packscope-convert --filter does; Ctrl+4 plotted it and a click on its first point selected" \
  "its frame"
