# shellcheck shell=bash
# Scenes for Record's look at the screen, sourced after common.sh by the detect suite and the
# detection benchmark: FFmpeg-generated videos played by ffplay (native X windows on the same
# display, which Wine's screen copy includes) and the small changes of a desktop from
# scene_win.exe (the benchmark's Wine program: a clock, an editor's caret, a still picture with
# a moving object).
#
#   scene_play X Y W H "$(scene_pattern W H)"   # a video there, once it shows
#   scene_wine clock X Y                        # scene_win.exe clock X Y, once it shows
#   scene_measure name runs X Y W H...          # the look, runs times: lines in $SCENE_LAST
#   scene_end                                   # ends what the scene showed

SCENE_PIDS=()
SCENE_LAST=
# The test pattern: still colour bars, a running timecode, a few small moving parts; the zoom: a
# picture that changes all over.
scene_pattern() { echo "testsrc2=size=$1x$2:rate=25"; }
scene_zoom() { echo "mandelbrot=size=$1x$2:rate=25"; }

scene_play() {
    SDL_AUDIODRIVER=dummy ffplay -loglevel quiet -an -noborder -left "$1" -top "$2" -x "$3" \
        -y "$4" -f lavfi "$5" </dev/null >/dev/null 2>&1 &
    SCENE_PIDS+=($!)
    e2e_wait 10 _e2e_shows_window $! || e2e_log "scene: no ffplay window for $5"
}

scene_wine() {
    e2e_bg scene "$E2E_WIN_BUILD/scene_win.exe" "$@"
    SCENE_PIDS+=("$E2E_BG_PID")
    e2e_wait_visible "$E2E_BG_PID" 20 || e2e_log "scene: no scene_win window for $*"
}

scene_end() {
    local p
    for p in "${SCENE_PIDS[@]}"; do e2e_stop "$p" 2; done
    SCENE_PIDS=()
}

# scene_measure name runs X Y W H...: after a second for the scene to settle, the look runs
# times (detect_bench_win.exe: a line a run, then a summary line), the lines in $SCENE_LAST
# prefixed with the name and kept in $E2E_OUT/runs.txt.
scene_measure() {
    local name=$1 runs=$2
    shift 2
    sleep 1
    SCENE_LAST=$(E2E_WINE_TIMEOUT=300 e2e_wine "$E2E_WIN_BUILD/detect_bench_win.exe" "$runs" "$@" |
        sed "s/^/$name /")
    echo "$SCENE_LAST" >>"$E2E_OUT/runs.txt"
}
