#!/usr/bin/env bash
# How well Record finds the picture a user means, under Wine on a 1920x1080 virtual screen:
# scenes of FFmpeg-generated videos played by ffplay (native X windows on the same display,
# which Wine's screen copy includes) and the small changes of a desktop (a clock, an editor's
# caret, from tests' Wine program scene_win.exe). Record's look runs several times in each
# scene; the table gives the share of the picture covered and the share of the recorded area
# outside it (worst run and median) and how long the look took. Goal in every run: covered at
# least 0.98, outside at most 0.10, the look at most 1.5 s where the picture moves from the
# start.
#
#   bench/detect/run.sh [runs]     QUILLET_DISPLAY (default 65), QUILLET_WIN_BUILD as for e2e
#   QUILLET_BENCH_SCENES="pattern clock" runs only the scenes named.
set -u
# A prefix of its own: the screen size Wine reports is fixed by the first program of a
# wineserver session, and the test suites share the project prefix at 1024x768.
export QUILLET_WINEPREFIX=${QUILLET_BENCH_WINEPREFIX:-$HOME/.cache/quillet/wineprefix-detect}
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
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

# The videos. The test pattern: still colour bars, a running timecode, a few small moving
# parts; the zoom: a picture that changes all over.
pattern() { echo "testsrc2=size=$1x$2:rate=25"; }
zoom() { echo "mandelbrot=size=$1x$2:rate=25"; }
SCENE_PIDS=()
# play X Y W H filter: an ffplay window there, once it shows.
play() {
    SDL_AUDIODRIVER=dummy ffplay -loglevel quiet -an -noborder -left "$1" -top "$2" -x "$3" -y "$4" \
        -f lavfi "$5" </dev/null >/dev/null 2>&1 &
    SCENE_PIDS+=($!)
    e2e_wait 10 _e2e_shows_window $! || echo "detect bench: no ffplay window" >&2
}
# wine_scene mode args...: a window of scene_win.exe, once it shows.
wine_scene() {
    e2e_bg scene "$E2E_WIN_BUILD/scene_win.exe" "$@"
    SCENE_PIDS+=("$E2E_BG_PID")
    e2e_wait_visible "$E2E_BG_PID" 20 || echo "detect bench: no scene window" >&2
}
end_scene() {
    local p
    for p in "${SCENE_PIDS[@]}"; do e2e_stop "$p" 2; done
    SCENE_PIDS=()
}
# measure name runs X Y W H...: Record's look in the scene as it stands, one table row.
ROWS=()
measure() {
    local name=$1 runs=$2 line
    shift 2
    sleep 1 # the scene settles: windows drawn, the videos playing
    E2E_WINE_TIMEOUT=300 e2e_wine "$E2E_WIN_BUILD/detect_bench_win.exe" "$runs" "$@" |
        sed "s/^/$name /" | tee -a "$E2E_OUT/runs.txt" >"$E2E_TMP/last.txt"
    line=$(grep ' summary ' "$E2E_TMP/last.txt") || { echo "detect bench: $name gave no figures" >&2; return; }
    ROWS+=("$name $(bench_field covered_worst "$line") $(bench_field covered_median "$line") $(bench_field outside_worst "$line") $(bench_field outside_median "$line") $(bench_field look_worst "$line") $(bench_field look_median "$line")")
}
wanted() { [ -z "${QUILLET_BENCH_SCENES:-}" ] || [[ " $QUILLET_BENCH_SCENES " == *" $1 "* ]]; }
P="640 360 640 360" # the player, in the middle of the screen

if wanted pattern; then play $P "$(pattern 640 360)"; measure pattern "$RUNS" $P; end_scene; fi
if wanted zoom; then play $P "$(zoom 640 360)"; measure zoom "$RUNS" $P; end_scene; fi
if wanted clock; then
    play $P "$(zoom 640 360)"; wine_scene clock 885 310; measure clock-above "$RUNS" $P; end_scene
fi
if wanted caret; then
    play $P "$(zoom 640 360)"; wine_scene caret 640 740 640 120; measure caret-below "$RUNS" $P
    end_scene
    play $P "$(pattern 640 360)"; wine_scene caret 640 200 640 120; measure caret-above "$RUNS" $P
    end_scene
fi
if wanted object; then wine_scene object $P; measure still-object "$RUNS" $P; end_scene; fi
if wanted letterbox; then
    play $P "$(zoom 640 272),pad=640:360:0:44:color=0x080808,noise=alls=6:allf=t"
    measure letterbox "$RUNS" 640 404 640 272 $P
    end_scene
fi
if wanted two; then
    play 200 120 240 136 "$(pattern 240 136)"; play $P "$(zoom 640 360)"
    measure two-videos "$RUNS" $P; end_scene
fi
if wanted late; then
    # Still for the first three seconds of the video: still when the look begins, moving within it.
    for ((i = 0; i < RUNS; i++)); do
        play $P "$(zoom 640 360),tpad=start_duration=3:start_mode=clone"
        measure "late-start-$((i + 1))" 1 $P; end_scene
    done
fi
if wanted edge; then play 1600 840 320 240 "$(pattern 320 240)"; measure edge-corner "$RUNS" 1600 840 320 240; end_scene; fi
if wanted large; then play 0 0 1280 720 "$(pattern 1280 720)"; measure large-top-left "$RUNS" 0 0 1280 720; end_scene; fi
if wanted cursor; then
    play $P "$(pattern 640 360)"
    (while :; do for x in 100 700 1300 1800; do xdotool mousemove "$x" $((x / 2)); sleep 0.05; done; done) &
    SCENE_PIDS+=($!)
    measure moving-cursor "$RUNS" $P; end_scene
fi

printf '\n%-16s %8s %8s %8s %8s %8s %8s\n' scene covered "(median)" outside "(median)" "look ms" "(median)" | tee "$E2E_OUT/table.txt"
for row in "${ROWS[@]}"; do
    # shellcheck disable=SC2086 # the row's fields
    printf '%-16s %8s %8s %8s %8s %8s %8s\n' $row
done | tee -a "$E2E_OUT/table.txt"
awk '{ n++; if ($2 >= 0.98 && $4 <= 0.10) good++ } END { printf "goal (covered >= 0.98, outside <= 0.10 in the worst run): %d of %d scenes\n", good, n }' \
    <(printf '%s\n' "${ROWS[@]}") | tee -a "$E2E_OUT/table.txt"
