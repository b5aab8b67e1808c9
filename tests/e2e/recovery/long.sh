#!/usr/bin/env bash
# A long recording killed and its tail lost: split_record records the moving picture at a 10 ms
# capture interval for a few minutes and is killed before it ends; the last tenth of the file
# then reads as zeros (its length reached the disk, its data did not). The next start of
# Quillet must answer throughout (its caption is read every half second), say in its Notice
# within a few seconds that the file was recovered, and keep every frame that lay whole before
# the damage, each decoding.
#
#   QUILLET_DISPLAY=<n> QUILLET_WIN_BUILD=build/win bash tests/e2e/recovery/long.sh [seconds]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/common.sh"
. "$here/../lib/avi.sh"
. "$here/killed.sh"
SECS=${1:-180}
e2e_begin_desktop recovery-long quillet.exe drive.exe movingpic.exe split_record.exe
e2e_register_codec
PIC_X=24 PIC_Y=40 PIC_W=257 PIC_H=193 STEP=40
work=$E2E_OUT/work
mkdir -p "$work"
cd "$work" || exit 1
rm -rf long.avi* "$(list_folder)"
e2e_show_picture $PIC_X $PIC_Y $PIC_W $PIC_H $STEP || e2e_abort "moving picture" "movingpic shows no window"

e2e_bg long_record "$E2E_WIN_BUILD/split_record.exe" MSVC long.avi $PIC_X $PIC_Y \
    $((PIC_W - 1)) $((PIC_H - 1)) 10 100 $((SECS + 60))
rec=$E2E_BG_PID
sleep "$SECS"
e2e_kill "$rec"
e2e_wait_exit "$rec" 5
size=$(stat -c %s long.avi 2>/dev/null || echo 0)
damage_tail long.avi zeroed 10
cp long.avi "$E2E_OUT/killed-long.avi"
whole=$(positions_in_killed long.avi | wc -l)
e2e_log "killed after $SECS s: $size bytes, $whole frames whole before the damage"

start=$(date +%s%N)
e2e_start_quillet . 2 || e2e_abort "next start" "no main window"
slowest=0 notice_ms=''
while [ $((($(date +%s%N) - start) / 1000000)) -lt 60000 ]; do
    t0=$(date +%s%N)
    timeout 10 drive caption "@$MAIN" >/dev/null 2>&1
    took=$((($(date +%s%N) - t0) / 1000000))
    [ "$took" -gt "$slowest" ] && slowest=$took
    if drive dialogs | grep -q '"Notice"'; then
        notice_ms=$((($(date +%s%N) - start) / 1000000))
        break
    fi
    sleep 0.5
done
take_notice
e2e_log "notice after ${notice_ms:-none} ms, slowest caption read $slowest ms: $NOTICE"
if [ -n "$notice_ms" ] && [ "$notice_ms" -le 10000 ] && [[ $NOTICE == *" frames, "*" seconds"* ]]; then
    e2e_pass "the Notice reports the recovery $notice_ms ms after the start ($NOTICE)"
else
    e2e_fail "the Notice reports the recovery within 10 s of the start" "after ${notice_ms:-no notice} ms: $NOTICE"
fi
if [ "$slowest" -lt 1000 ]; then
    e2e_pass "the main window answered throughout (slowest caption read $slowest ms)"
else
    e2e_fail "the main window answered throughout" "a caption read took $slowest ms"
fi
got=$(avi_positions long.avi | wc -l)
if same_positions "$E2E_OUT/killed-long.avi" long.avi && avi_decodes long.avi; then
    e2e_pass "every frame whole before the damage kept and decoding ($got of $whole)"
else
    e2e_fail "every frame whole before the damage kept and decoding" "$got kept, $whole whole"
fi
e2e_stop "$QUILLET_PID" 2
e2e_finish
