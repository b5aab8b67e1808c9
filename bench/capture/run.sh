#!/usr/bin/env bash
# Capture throughput of the recording loop under Wine, beside FFmpeg's own X11 screen grab of
# the same area on the same display in the same run. The loop runs at 1 ms per frame with the
# uncompressed handler (so the figure is grab + marker blinks + write, not a codec), while a
# moving picture fills the area. Prints the median of RUNS runs per size and the ratio.
#
#   bench/capture/run.sh            (QUILLET_DISPLAY, QUILLET_WIN_BUILD, RUNS=3, SECS=3)
set -u
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-64}
RUNS=${RUNS:-3}
SECS=${SECS:-3}
HANDLER=${HANDLER:-DIB }
e2e_init capture-bench

for exe in capture_bench movingpic; do
    [ -f "$E2E_WIN_BUILD/$exe.exe" ] || { echo "bench: $E2E_WIN_BUILD/$exe.exe missing" >&2; exit 1; }
done
# A screen big enough for the 1280 x 720 area.
n=${E2E_DISPLAY#:}
Xvfb "$E2E_DISPLAY" -screen 0 1600x900x24 -nolisten tcp -noreset >"$E2E_OUT/xvfb.log" 2>&1 &
E2E_XVFB_PID=$!
export DISPLAY=$E2E_DISPLAY
for i in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
setsid wineserver -p30 >/dev/null 2>&1 </dev/null &
cd "$E2E_TMP" || exit 1

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

X=100 Y=80
printf '%-10s %12s %12s %8s\n' area "quillet fps" "ffmpeg fps" ratio
for size in 320x240 640x480 1280x720; do
    W=${size%x*} H=${size#*x}
    e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show $X $Y $W $H 10 topmost
    pic=$E2E_BG_PID
    for i in $(seq 50); do
        xdotool search --onlyvisible --pid "$pic" >/dev/null 2>&1 && break
        sleep 0.2
    done
    sleep 0.5
    ours=() theirs=()
    for r in $(seq "$RUNS"); do
        line=$(E2E_WINE_TIMEOUT=$((SECS + 40)) e2e_wine "$E2E_WIN_BUILD/capture_bench.exe" "$HANDLER" \
            'C:\windows\temp\capture_bench.avi' $X $Y $W $H "$SECS")
        echo "$size run $r: $line" >>"$E2E_OUT/suite.log"
        ours+=("$(sed -n 's/.* fps=\([0-9.]*\).*/\1/p' <<<"$line")")
        ff=$(ffmpeg -hide_banner -nostats -loglevel info -f x11grab -framerate 1000 -video_size "$size" \
            -i "$E2E_DISPLAY+$X,$Y" -t "$SECS" -progress pipe:1 -f null - 2>>"$E2E_OUT/ffmpeg.log" </dev/null |
            sed -n 's/^fps=\([0-9.]*\)/\1/p' | tail -1)
        echo "$size run $r: ffmpeg fps=$ff" >>"$E2E_OUT/suite.log"
        theirs+=("$ff")
    done
    e2e_stop "$pic" 2
    q=$(printf '%s\n' "${ours[@]}" | median)
    f=$(printf '%s\n' "${theirs[@]}" | median)
    ratio=$(awk -v q="$q" -v f="$f" 'BEGIN { if (f > 0) printf "%.2f", q / f; else print "n/a" }')
    printf '%-10s %12s %12s %8s\n' "$size" "$q" "$f" "$ratio"
done
