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
RUNS=${RUNS:-5}
SECS=${SECS:-3}
HANDLER=${HANDLER:-DIB }
e2e_init journal-bench

for exe in capture_bench movingpic journal_cost; do
    [ -f "$E2E_WIN_BUILD/$exe.exe" ] || { echo "bench: $E2E_WIN_BUILD/$exe.exe missing" >&2; exit 1; }
done
e2e_start_xvfb || { echo "bench: no display" >&2; exit 1; }
setsid wineserver -p30 >/dev/null 2>&1 </dev/null &
cd "$E2E_TMP" || exit 1

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
fps() { # journal on|off, W H
    local line
    line=$(QUILLET_BENCH_JOURNAL=$1 E2E_WINE_TIMEOUT=$((SECS + 40)) e2e_wine \
        "$E2E_WIN_BUILD/capture_bench.exe" "$HANDLER" 'C:\windows\temp\journal_bench.avi' \
        $X $Y "$2" "$3" "$SECS")
    echo "$2x$3 journal $1: $line" >>"$E2E_OUT/suite.log"
    sed -n 's/.* fps=\([0-9.]*\).*/\1/p' <<<"$line"
}

for size in 320x240 1280x720; do
    e2e_wine "$E2E_WIN_BUILD/journal_cost.exe" 'C:\windows\temp' "${size%x*}" "${size#*x}" 2000
done

X=100 Y=80
printf '%-10s %14s %14s %8s\n' area "with journal" "without" ratio
for size in ${SIZES:-320x240 640x480}; do
    W=${size%x*} H=${size#*x}
    e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show $X $Y "$W" "$H" 10 topmost
    pic=$E2E_BG_PID
    for _ in $(seq 50); do
        xdotool search --onlyvisible --pid "$pic" >/dev/null 2>&1 && break
        sleep 0.2
    done
    sleep 0.5
    with=() without=()
    for _ in $(seq "$RUNS"); do
        with+=("$(fps on "$W" "$H")")
        without+=("$(fps off "$W" "$H")")
    done
    e2e_stop "$pic" 2
    a=$(printf '%s\n' "${with[@]}" | median)
    b=$(printf '%s\n' "${without[@]}" | median)
    ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "n/a" }')
    printf '%-10s %14s %14s %8s\n' "$size" "$a" "$b" "$ratio"
done
