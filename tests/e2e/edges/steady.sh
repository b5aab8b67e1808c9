#!/usr/bin/env bash
# A long recording through the main window on an otherwise idle machine: the moving picture
# recorded at the default 100 ms for three minutes must have no empty position (each frame at the
# position after the one before), and the caption must read "ms/Frame: 100.00". Takes about four
# minutes; not part of the test command.
#
#   QUILLET_DISPLAY=<n> QUILLET_WIN_BUILD=build/win bash tests/e2e/edges/steady.sh [seconds]
set -u
. "$(dirname "$0")/../lib/common.sh"
e2e_begin_desktop edges-steady quillet.exe movingpic.exe drive.exe
e2e_register_codec
SECS=${1:-180}
export E2E_WINE_TIMEOUT=30

e2e_show_picture 200 150 496 480 40 topmost
sleep 1.5
cd "$E2E_TMP" || exit 1
e2e_start_quillet || e2e_abort "start" "no main window"
main=$MAIN
e2e_click "@$main" Record
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
