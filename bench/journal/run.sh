#!/usr/bin/env bash
# What the journal kept beside a recording costs the capture loop: the capture benchmark's
# program at 1 ms per frame (the most frames a second, so the most journal entries), run in
# turns with the journal and without it (QUILLET_BENCH_JOURNAL=off) on the same display, while
# a moving picture fills the area. Prints the median frames per second of RUNS runs of each,
# per size, and their ratio (with / without). Before that, journal_cost times the journal's note
# of a frame beside the AVIFile write of that frame (medians, microseconds), which the machine's
# load disturbs far less than whole recordings.
#
#   bench/journal/run.sh   (QUILLET_DISPLAY, QUILLET_WIN_BUILD, RUNS=5, SECS=3, HANDLER, SIZES)
set -u
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
. "$(dirname "$0")/../lib/bench.sh"
RUNS=${RUNS:-5}
SECS=${SECS:-3}
HANDLER=${HANDLER:-DIB }
bench_begin journal-bench 1024x768x24 capture_bench.exe movingpic.exe journal_cost.exe
e2e_wine_server
cd "$E2E_TMP" || exit 1

fps() { # journal on|off, W H
    local line
    line=$(QUILLET_BENCH_JOURNAL=$1 E2E_WINE_TIMEOUT=$((SECS + 40)) e2e_wine \
        "$E2E_WIN_BUILD/capture_bench.exe" "$HANDLER" 'C:\windows\temp\journal_bench.avi' \
        $X $Y "$2" "$3" "$SECS")
    echo "$2x$3 journal $1: $line" >>"$E2E_OUT/suite.log"
    bench_field fps "$line"
}

for size in 320x240 1280x720; do
    e2e_wine "$E2E_WIN_BUILD/journal_cost.exe" 'C:\windows\temp' "${size%x*}" "${size#*x}" 2000
done

X=100 Y=80
printf '%-10s %14s %14s %8s\n' area "with journal" "without" ratio
for size in ${SIZES:-320x240 640x480}; do
    W=${size%x*} H=${size#*x}
    e2e_show_picture $X $Y "$W" "$H" 10 topmost
    pic=$E2E_PIC_PID
    with=() without=()
    for _ in $(seq "$RUNS"); do
        with+=("$(fps on "$W" "$H")")
        without+=("$(fps off "$W" "$H")")
    done
    e2e_stop "$pic" 2
    a=$(printf '%s\n' "${with[@]}" | bench_median)
    b=$(printf '%s\n' "${without[@]}" | bench_median)
    ratio=$(bench_ratio "$a" "$b" 3)
    printf '%-10s %14s %14s %8s\n' "$size" "$a" "$b" "$ratio"
done
