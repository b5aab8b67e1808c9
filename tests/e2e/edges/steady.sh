#!/usr/bin/env bash
# A long recording through the main window on an otherwise idle machine: the moving picture
# recorded at the default 100 ms for three minutes must have no empty position (each frame at the
# position after the one before), and the caption must read "ms/Frame: 100.00". Takes about four
# minutes; not part of the test command.
#
#   QUILLET_DISPLAY=<n> QUILLET_WIN_BUILD=build/win bash tests/e2e/edges/steady.sh [seconds]
set -u
. "$(dirname "$0")/../lib/common.sh"
e2e_init edges-steady
SECS=${1:-180}
export E2E_WINE_TIMEOUT=30

e2e_start_xvfb || { e2e_fail "setup" "no virtual display"; e2e_finish; exit 1; }
e2e_warm_wine 2>>"$E2E_OUT/suite.log" || { e2e_fail "Wine desktop" "no desktop"; e2e_finish; exit 1; }
if [ -f "$E2E_WIN_BUILD/codec/msvc32.dll" ]; then
    bash "$E2E_ROOT/scripts/register-codec.sh" "$E2E_WIN_BUILD/codec/msvc32.dll" >>"$E2E_OUT/suite.log" 2>&1
fi
e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show 200 150 496 480 40 topmost
sleep 2
cd "$E2E_TMP" || exit 1
e2e_bg quillet "$E2E_WIN_BUILD/quillet.exe"
quillet=$E2E_BG_PID
main=$(e2e_window_of "$quillet" "Quillet 1.542" 30) || { e2e_fail "start" "no main window"; e2e_finish; exit 1; }
DRIVE_PID=$(drive pid "@$main")
export DRIVE_PID
read -r l t r b < <(drive rect "@$main" Record)
xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
sleep "$SECS"
caption=$(drive caption "@$main")
drive click "@$main" Stop >/dev/null
sleep 3
echo "caption: $caption" | tee -a "$E2E_OUT/suite.log"
cp test.avi "$E2E_OUT/" 2>/dev/null

# Positions of the frames written ("pts,size"; an empty position, if the writer fills one, has
# no data).
ffprobe -v error -select_streams v:0 -show_entries packet=pts,size -of csv=p=0 test.avi >"$E2E_OUT/pts"
read -r frames gaps < <(awk -F, '$2 > 0 { if (n && $1 != prev + 1) gaps++; prev = $1; n++ }
    END { print n + 0, gaps + 0 }' "$E2E_OUT/pts")
echo "frames: $frames, empty positions: $gaps" | tee -a "$E2E_OUT/suite.log"
if [ "${gaps:-1}" = 0 ] && [ "${frames:-0}" -ge $((SECS * 10 - 20)) ]; then
    e2e_pass "$frames frames in $SECS s at 100 ms, no empty position"
else
    e2e_fail "positions" "$gaps empty positions among $frames frames"
fi
if [[ $caption == "ms/Frame: 100.00,"* ]]; then
    e2e_pass "caption: $caption"
else
    e2e_fail "caption" "$caption"
fi
drive close "@$main" >/dev/null
e2e_finish
