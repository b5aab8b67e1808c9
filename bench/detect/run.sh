#!/usr/bin/env bash
# How well Record finds the picture a user means, under Wine on a 1920x1080 virtual screen:
# scenes of FFmpeg-generated videos played by ffplay (native X windows on the same display,
# which Wine's screen copy includes) and the small changes of a desktop (a clock, an editor's
# caret, from the benchmark's Wine program scene_win.exe; tests/e2e/lib/scenes.sh). Record's
# look runs several times in each scene; the table gives the share of the picture covered and
# the share of the recorded area outside it (worst run and median) and how long the look took.
# Goal in every run: covered at least 0.98, outside at most 0.10, the look at most 1.5 s where
# the picture moves from the start.
#
#   bench/detect/run.sh [runs]     QUILLET_DISPLAY (default 65), QUILLET_WIN_BUILD as for e2e
#   QUILLET_BENCH_SCENES="pattern clock" runs only the scenes named.
set -u
# A prefix of its own: the screen size Wine reports is fixed by the first program of a
# wineserver session, and the test suites share the project prefix at 1024x768.
export QUILLET_WINEPREFIX=${QUILLET_BENCH_WINEPREFIX:-$HOME/.cache/quillet/wineprefix-detect}
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
. "$(dirname "$0")/../../tests/e2e/lib/scenes.sh"
. "$(dirname "$0")/../lib/bench.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-65}
RUNS=${1:-3}
bench_begin detect-bench 1920x1080x24 detect_bench_win.exe scene_win.exe
command -v ffplay >/dev/null || { echo "detect bench: ffplay missing" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "detect bench: creating $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi
setsid wineserver -p5 >/dev/null 2>&1 </dev/null &

ROWS=()
# measure name runs X Y W H...: Record's look in the scene as it stands, one table row.
measure() {
    local name=$1 line
    scene_measure "$@"
    line=$(grep ' summary ' <<<"$SCENE_LAST") || { echo "detect bench: $name gave no figures" >&2; return; }
    ROWS+=("$name $(bench_field covered_worst "$line") $(bench_field covered_median "$line") $(bench_field outside_worst "$line") $(bench_field outside_median "$line") $(bench_field look_worst "$line") $(bench_field look_median "$line")")
}
wanted() { [ -z "${QUILLET_BENCH_SCENES:-}" ] || [[ " $QUILLET_BENCH_SCENES " == *" $1 "* ]]; }
P=(640 360 640 360) # the player, in the middle of the screen

if wanted pattern; then scene_play "${P[@]}" "$(scene_pattern 640 360)"; measure pattern "$RUNS" "${P[@]}"; scene_end; fi
if wanted zoom; then scene_play "${P[@]}" "$(scene_zoom 640 360)"; measure zoom "$RUNS" "${P[@]}"; scene_end; fi
if wanted clock; then
    scene_play "${P[@]}" "$(scene_zoom 640 360)"; scene_wine clock 885 310; measure clock-above "$RUNS" "${P[@]}"; scene_end
fi
if wanted caret; then
    scene_play "${P[@]}" "$(scene_zoom 640 360)"; scene_wine caret 640 740 640 120; measure caret-below "$RUNS" "${P[@]}"
    scene_end
    scene_play "${P[@]}" "$(scene_pattern 640 360)"; scene_wine caret 640 200 640 120; measure caret-above "$RUNS" "${P[@]}"
    scene_end
fi
if wanted object; then scene_wine object "${P[@]}"; measure still-object "$RUNS" "${P[@]}"; scene_end; fi
if wanted letterbox; then
    scene_play "${P[@]}" "$(scene_zoom 640 272),pad=640:360:0:44:color=0x080808,noise=alls=6:allf=t"
    measure letterbox "$RUNS" 640 404 640 272 "${P[@]}"
    scene_end
fi
if wanted two; then
    scene_play 200 120 240 136 "$(scene_pattern 240 136)"; scene_play "${P[@]}" "$(scene_zoom 640 360)"
    measure two-videos "$RUNS" "${P[@]}"; scene_end
fi
if wanted late; then
    # Still for the first three seconds of the video: still when the look begins, moving within it.
    for ((i = 0; i < RUNS; i++)); do
        scene_play "${P[@]}" "$(scene_zoom 640 360),tpad=start_duration=3:start_mode=clone"
        measure "late-start-$((i + 1))" 1 "${P[@]}"; scene_end
    done
fi
if wanted edge; then scene_play 1600 840 320 240 "$(scene_pattern 320 240)"; measure edge-corner "$RUNS" 1600 840 320 240; scene_end; fi
if wanted large; then scene_play 0 0 1280 720 "$(scene_pattern 1280 720)"; measure large-top-left "$RUNS" 0 0 1280 720; scene_end; fi
if wanted cursor; then
    scene_play "${P[@]}" "$(scene_pattern 640 360)"
    (while :; do for x in 100 700 1300 1800; do xdotool mousemove "$x" $((x / 2)); sleep 0.05; done; done) &
    SCENE_PIDS+=($!)
    measure moving-cursor "$RUNS" "${P[@]}"; scene_end
fi

printf '\n%-16s %8s %8s %8s %8s %8s %8s\n' scene covered "(median)" outside "(median)" "look ms" "(median)" | tee "$E2E_OUT/table.txt"
for row in "${ROWS[@]}"; do
    # shellcheck disable=SC2086 # the row's fields
    printf '%-16s %8s %8s %8s %8s %8s %8s\n' $row
done | tee -a "$E2E_OUT/table.txt"
awk '{ n++; if ($2 >= 0.98 && $4 <= 0.10) good++ } END { printf "goal (covered >= 0.98, outside <= 0.10 in the worst run): %d of %d scenes\n", good, n }' \
    <(printf '%s\n' "${ROWS[@]}") | tee -a "$E2E_OUT/table.txt"
