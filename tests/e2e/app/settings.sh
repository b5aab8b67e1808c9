# shellcheck shell=bash disable=SC2015
# Settings kept between runs, and a settings file of garbage. Sourced by run.sh.

# Closes Quillet as a user does (it writes its settings then), puts garbage and the lines given,
# if any, into the settings file and starts Quillet again. Sets SHOWN: Record Again enabled, the
# boxes showing, then Options' quality, interval and rate sliders and file names.
restart_keeping() {
    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_stop "$QUILLET_PID" 2
    [ -z "${1:-}" ] || { head -c 2000 /dev/urandom; printf '\n%s\n' "$1"; } >"$(e2e_settings_file)"
    E2E_KEEP_SETTINGS=1 e2e_start_quillet . 2 && sleep 1 || return 1
    SHOWN="$(drive enabled "@$MAIN" "Record Again") [$(open_dialogs)]"
    drive post-click "@$MAIN" Options >/dev/null
    drive wait-window Options 10000 >/dev/null
    SHOWN+=" $(drive get-trackbar Options 0) $(drive get-trackbar Options 1) $(drive get-trackbar Options 2)"
    SHOWN+=" $(drive get-edit Options "$EDIT_FILE") $(drive get-edit Options "$EDIT_WAVE")"
    drive click Options Cancel >/dev/null
    drive wait-gone Options 5000 >/dev/null
}

check_settings() {
    local why info frames
    drive post-click "@$MAIN" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || { e2e_fail "settings: Options" "no dialog"; return 1; }
    drive set-trackbar Options 0 60 >/dev/null  # quality 6000
    drive set-trackbar Options 1 482 >/dev/null # 200 ms a frame
    drive set-trackbar Options 2 490 >/dev/null # 25 a second (which always opens at 489)
    drive set-edit Options "$EDIT_FILE" kept.avi >/dev/null
    drive set-edit Options "$EDIT_WAVE" kept.wav >/dev/null
    drive click Options OK >/dev/null
    drive wait-gone Options 5000 >/dev/null
    picture 257 193
    why=$(record Record 2 kept.avi) || { e2e_fail "settings: a recording" "$why"; return 1; }
    # The window dragged by its caption with the mouse, as a user moves it.
    local moved placed
    xdotool mousemove 700 205 mousedown 1 mousemove 720 225 mousemove 760 265 mouseup 1
    sleep 0.5
    moved=$(drive rect "@$MAIN")
    restart_keeping && rm -f kept.avi; why='' info='' frames=''
    placed=$(drive rect "@$MAIN")
    if [ "$moved" != "537 195 906 639" ] && [ "$placed" = "$moved" ]; then
        e2e_pass "after a restart the window is where it was moved to: $placed"
    else
        e2e_fail "after a restart the window is where it was moved to" "moved to \"$moved\" (from 537 195 906 639), opened at \"$placed\""
    fi
    [ "$SHOWN" = "1 [] 60 482 489 kept.avi kept.wav" ] &&
        why=$(record "Record Again" 2 kept.avi) && info=$(avi_has kept.avi size=256x192 rate=25/1) &&
        frames=$(avi_frames kept.avi 257 193 settings-kept 16) &&
        e2e_pass "after a restart Options shows the kept values and Record Again records the last area: $info, $frames" ||
        e2e_fail "after a restart the settings are back" "\"$SHOWN\" (want 1 [] 60 482 489 kept.avi kept.wav) ${why:-} ${info:-} ${frames:-}"
    restart_keeping $'Quality=-7\nMsPerFrame=1e3\nAreaLeft=99999' && rm -f test.avi; why='' info='' frames=''
    [ "$SHOWN" = "0 [] 0 419 183 test.avi test.wav" ] && why=$(record Record 2) &&
        info=$(avi_has test.avi size=256x192) && frames=$(avi_frames test.avi 257 193 settings-garbage 16) &&
        e2e_pass "a settings file of garbage gives the defaults (quality 0, nearest in range), no box, and a recording that plays: $info, $frames" ||
        e2e_fail "a settings file of garbage gives the defaults and a recording" "\"$SHOWN\" (want 0 [] 0 419 183 test.avi test.wav) ${why:-} ${info:-} ${frames:-}"
    e2e_stop "$QUILLET_PID" 3
    e2e_start_quillet . 2 && find_boxes && drive click "@$MAIN" Stop >/dev/null
}
