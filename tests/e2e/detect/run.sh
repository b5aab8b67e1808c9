#!/usr/bin/env bash
# Record's look at the screen on the real API, in scenes a user has (tests/e2e/lib/scenes.sh):
# a test pattern, a clock above the video, an editor's caret below it, two videos.
# detect_bench_win.exe runs the look and measures the area found against the picture; every
# run must cover at least 0.98 of it (0.99 of the picture at most is recorded: Record Again
# leaves out the last column and row) with at most 0.10 of the area outside it. The full scene
# table is the detection benchmark's (bench/detect/run.sh).
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
# shellcheck source=../lib/scenes.sh
. "$(dirname "$0")/../lib/scenes.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-67}
e2e_begin_desktop detect detect_bench_win.exe scene_win.exe drive.exe
command -v ffplay >/dev/null || e2e_abort "ffplay" "not installed (scripts/setup.sh installs ffmpeg)"

# check name X Y W H: two looks at the scene now shown, each held to the goal.
check() {
    local name=$1 bad
    shift
    scene_measure "$name" 2 "$@"
    bad=$(awk '/ run [0-9]+:/ { if ($(NF - 5) < 0.98 || $(NF - 3) > 0.10) print }' <<<"$SCENE_LAST")
    if grep -q ' summary ' <<<"$SCENE_LAST" && [ -z "$bad" ]; then
        e2e_pass "$name: $(sed -n 's/.* summary //p' <<<"$SCENE_LAST")"
    else
        e2e_fail "$name" "${bad:-no figures: $SCENE_LAST}"
    fi
}

P=(352 240 320 180) # the player, in the middle of the 1024x768 screen
scene_play "${P[@]}" "$(scene_pattern 320 180)"
check "test pattern" "${P[@]}"
scene_end
scene_play "${P[@]}" "$(scene_zoom 320 180)"
scene_wine clock 437 190
check "clock above the video" "${P[@]}"
scene_end
scene_play "${P[@]}" "$(scene_zoom 320 180)"
scene_wine caret 352 440 320 100
check "caret below the video" "${P[@]}"
scene_end
scene_play 40 40 160 90 "$(scene_pattern 160 90)"
scene_play "${P[@]}" "$(scene_zoom 320 180)"
check "the larger of two videos" "${P[@]}"
scene_end
e2e_finish
