# shellcheck shell=bash
# The settings kept between runs: values changed in Options and the area of a recording come back
# after a restart (Record Again records that area at once); a settings file full of garbage gives
# the defaults, no box, and a recording that plays. Sourced by run.sh. Every other start of
# Quillet begins without the file (e2e_start_quillet).

# Closes Quillet as a user does (it writes its settings then) and starts it again with them.
restart_keeping() {
    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_stop "$QUILLET_PID" 2
    E2E_KEEP_SETTINGS=1 e2e_start_quillet . 2
}

# What Options shows (quality, interval and rate sliders, AVI and WAV names), then Cancel.
options_shown() {
    drive post-click "@$MAIN" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || return 1
    echo "$(drive get-trackbar Options 0) $(drive get-trackbar Options 1)" \
        "$(drive get-trackbar Options 2) $(drive get-edit Options "$EDIT_FILE")" \
        "$(drive get-edit Options "$EDIT_WAVE")"
    drive click Options Cancel >/dev/null
    drive wait-gone Options 5000 >/dev/null
}

check_settings() {
    local ini why shown info frames
    ini=$(e2e_settings_file)
    drive post-click "@$MAIN" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || { e2e_fail "settings: Options opens" "no dialog"; return 1; }
    drive set-trackbar Options 0 60 >/dev/null  # quality 6000
    drive set-trackbar Options 1 482 >/dev/null # 200 ms a frame
    drive set-trackbar Options 2 490 >/dev/null # 25 frames a second (shown again at 489)
    drive set-edit Options "$EDIT_FILE" kept.avi >/dev/null
    drive set-edit Options "$EDIT_WAVE" kept.wav >/dev/null
    drive click Options OK >/dev/null
    drive wait-gone Options 5000 >/dev/null
    drive check "@$MAIN" Low >/dev/null
    [ -s "$ini" ] && e2e_pass "Options OK writes $ini" || e2e_fail "Options OK writes the settings" "no $ini"
    picture 257 193
    why=$(record Record 2 kept.avi) || { e2e_fail "settings: a recording" "$why"; return 1; }
    restart_keeping || { e2e_fail "settings: restart" "no main window"; return 1; }
    shown=$(options_shown)
    if [ "$shown $(drive checked "@$MAIN" Low) $(drive enabled "@$MAIN" "Record Again")" = \
        "60 482 489 kept.avi kept.wav 1 1" ]; then
        e2e_pass "after a restart Options shows the kept values, Low is ticked, Record Again enabled"
    else
        e2e_fail "after a restart the settings are back" "\"$shown\", Low ticked $(drive checked "@$MAIN" Low), Record Again enabled $(drive enabled "@$MAIN" "Record Again") (want 60 482 489 kept.avi kept.wav, 1, 1)"
    fi
    rm -f kept.avi
    why=$(record "Record Again" 2 kept.avi) &&
        info=$(avi_has kept.avi size=256x192 rate=25/1) &&
        frames=$(avi_frames kept.avi 257 193 settings-kept 16) &&
        e2e_pass "Record Again after a restart records the last area: $info, $frames" ||
        e2e_fail "Record Again after a restart records the last area" "${why:-} ${info:-} ${frames:-} (want 256x192 at 25/1, every frame the picture)"

    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_stop "$QUILLET_PID" 2
    { head -c 2000 /dev/urandom; printf '\nQuality=-7\nMsPerFrame=1e3\nAreaLeft=99999\n'; } >"$ini"
    E2E_KEEP_SETTINGS=1 e2e_start_quillet . 2 || { e2e_fail "garbage settings: start" "no main window"; return 1; }
    sleep 1
    shown="$(options_shown) $(drive enabled "@$MAIN" "Record Again") [$(open_dialogs)]"
    [ "$shown" = "0 419 183 test.avi test.wav 0 []" ] &&
        e2e_pass "a settings file of garbage gives the defaults (quality 0 the nearest in range) and no box" ||
        e2e_fail "a settings file of garbage gives the defaults" "\"$shown\" (want 0 419 183 test.avi test.wav 0 [])"
    rm -f test.avi
    why=$(record Record 2) && info=$(avi_has test.avi size=256x192) &&
        frames=$(avi_frames test.avi 257 193 settings-garbage 16) &&
        e2e_pass "after a garbage settings file a recording plays: $info, $frames" ||
        e2e_fail "after a garbage settings file a recording plays" "${why:-} ${info:-} ${frames:-}"

    e2e_stop "$QUILLET_PID" 3
    e2e_start_quillet . 2 && find_boxes && drive click "@$MAIN" Stop >/dev/null
}
