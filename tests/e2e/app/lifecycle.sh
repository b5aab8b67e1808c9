# shellcheck shell=bash
# The program from start to end: the main window at start-up, the About box, a hundred short
# recordings in a row, and closing the window while it records. Sourced by run.sh.

check_startup() {
    if ! e2e_start_quillet; then
        e2e_shot "$E2E_OUT/start-up-failed.png"
        drive windows all >"$E2E_OUT/start-up-windows.txt" 2>&1
        e2e_fail "start-up" "no visible window \"Quillet 1.542\" of quillet.exe within 30 s (see ${E2E_OUT#"$E2E_ROOT"/}/quillet.log)"
        return 1
    fi
    local rect again
    rect=$(drive rect "@$MAIN")
    again=$(drive enabled "@$MAIN" "Record Again")
    if [ "$rect" = "537 195 906 639" ] && [ "$again" = 0 ]; then
        e2e_pass "start-up: main window at (537,195) 369x444, Record Again disabled"
    else
        e2e_fail "start-up" "window rect \"$rect\" (want 537 195 906 639), Record Again enabled=$again (want 0)"
    fi
    drive list "@$MAIN" >"$E2E_OUT/main-controls.txt"
    e2e_shot "$E2E_OUT/main-window.png" 537 195 369 444
    if find_boxes; then
        e2e_pass "Options holds the file names \"test.avi\" and \"test.wav\""
    else
        e2e_fail "Options holds the file names" "no edit boxes with test.avi and test.wav in the Options dialog"
    fi
}

check_about() {
    drive post-click "@$MAIN" About >/dev/null
    local box text
    if ! box=$(drive wait-window About 5000); then
        e2e_fail "About" "no window titled \"About\" within 5 s"
        return
    fi
    text=$(drive dialogs | grep "^$box " | cut -d' ' -f3-)
    drive click "@$box" OK >/dev/null
    if [ -n "$text" ] && drive wait-gone "@$box" 3000 >/dev/null; then
        e2e_pass "About shows a box titled \"About\": $text"
    else
        e2e_fail "About" "box without text or it does not close with OK"
    fi
}

# A hundred Record Again / Stop cycles, each into a file of its own: every file complete, the
# program still answering, and idle afterwards.
check_reliability() {
    picture 257 193
    rm -f cycle-*.avi
    local i hang="" t0 made=0
    t0=$(date +%s)
    click Record
    sleep 0.8
    click Stop
    sleep 0.5
    for i in $(seq -w 1 100); do
        if ! set_file "cycle-$i.avi" || ! drive click "@$MAIN" "Record Again" >/dev/null; then
            hang="Record Again of cycle $i"
            break
        fi
        sleep 0.6
        if ! drive click "@$MAIN" Stop >/dev/null; then
            hang="Stop of cycle $i"
            break
        fi
        made=$((made + 1))
    done
    local secs=$(($(date +%s) - t0))
    set_file test.avi
    if [ -n "$hang" ] || ! e2e_alive "$QUILLET_PID"; then
        e2e_fail "100 Record Again/Stop cycles" "${hang:-Quillet ended} after $made cycles in $secs s; dialogs: $(open_dialogs)"
        return 1
    fi
    sleep 1
    local bad=() f
    for i in $(seq -w 1 100); do
        f=cycle-$i.avi
        [ -n "$(avi_info "$f")" ] && avi_decodes "$f" || bad+=("$i")
    done
    if [ ${#bad[@]} -eq 0 ]; then
        e2e_pass "100 Record Again/Stop cycles in $secs s, every AVI complete and decodable"
    else
        e2e_fail "100 Record Again/Stop cycles" "in $secs s; ${#bad[@]} files unreadable: ${bad[*]:0:20}"
    fi
    local c1 c2 px
    c1=$(caption)
    sleep 1.2
    c2=$(caption)
    e2e_shot "$E2E_OUT/after-cycles.png"
    if px=$(marker_shown "$E2E_OUT/after-cycles.png") || [ "$c1" != "$c2" ] || [ -n "$(drive dialogs)" ]; then
        e2e_fail "recorder idle after the cycles" "caption \"$c1\" then \"$c2\", marker pixel $px, dialogs: $(open_dialogs)"
    else
        e2e_pass "recorder idle after the cycles (caption still, marker hidden, no box)"
    fi
}

check_close_while_recording() {
    picture 257 193
    rm -f test.avi
    local before
    before=$(caption)
    drive click "@$MAIN" "Record Again" >/dev/null
    wait_progress "$before" 8 >/dev/null
    sleep 2
    drive close "@$MAIN" >/dev/null
    if ! e2e_wait_exit "$QUILLET_PID" 15; then
        e2e_fail "closing the window while recording" "quillet.exe still running 15 s after WM_CLOSE"
    elif avi_wait test.avi 3 && avi_decodes test.avi; then
        e2e_pass "closing the window while recording ends the program and leaves a playable AVI ($(avi_info test.avi))"
    else
        e2e_fail "closing the window while recording" "test.avi incomplete: $(avi_info test.avi)"
    fi
}

# The display at 144 dots per inch (Wine's LogPixels, put back afterwards): Quillet started anew
# lays its windows out 1.5 times their 96-dot size (screenshots main-window-144.png and
# options-144.png, to be looked at), records the picture's own pixels and marks them.
LOGPIXELS_KEY='HKCU\Control Panel\Desktop'
set_logpixels() { # dpi, or "" to remove the value
    if [ -n "$1" ]; then
        wine reg add "$LOGPIXELS_KEY" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    else
        wine reg delete "$LOGPIXELS_KEY" /v LogPixels /f >/dev/null 2>&1
    fi
}

check_scaled_display() {
    local old rect px info
    old=$(wine reg query "$LOGPIXELS_KEY" /v LogPixels 2>/dev/null | tr -d '\r' |
        awk '$1 == "LogPixels" { printf "%d", $3 }')
    e2e_stop "$QUILLET_PID" 3
    set_logpixels 144
    if ! e2e_start_quillet . 2 || ! find_boxes; then
        e2e_fail "at 144 dpi" "Quillet showed no main window or Options dialog"
    else
        rect=$(drive rect "@$MAIN")
        e2e_shot "$E2E_OUT/main-window-144.png" 537 195 554 573
        drive post-click "@$MAIN" Options >/dev/null
        drive wait-window Options 5000 >/dev/null
        local opt
        opt=$(drive rect Options)
        e2e_shot "$E2E_OUT/options-144.png" 304 160 682 608
        drive click Options Cancel >/dev/null
        if [ "$rect" = "537 195 1091 861" ] && [ "$opt" = "304 160 986 916" ]; then
            e2e_pass "at 144 dpi the main window and Options are 1.5 times their size: $rect, $opt"
        else
            e2e_fail "at 144 dpi the windows are 1.5 times their size" "main \"$rect\" (want 537 195 1091 861), Options \"$opt\" (want 304 160 986 916)"
        fi
        picture 257 193
        rm -f test.avi
        local before
        before=$(caption)
        click Record
        if wait_progress "$before" 8 >/dev/null; then
            sleep 1
            e2e_shot "$E2E_OUT/screen-144.png"
            if px=$(marker_shown "$E2E_OUT/screen-144.png"); then
                e2e_pass "at 144 dpi the marker surrounds the area ($px)"
            else
                e2e_fail "at 144 dpi the marker surrounds the area" "pixel ($((PIC_X - 6)),$((PIC_Y - 6))) is $px"
            fi
            sleep 1
        fi
        click Stop
        if avi_wait test.avi 10 && info=$(avi_has test.avi size=256x192) &&
            px=$(avi_frames test.avi 257 193 dpi144 16); then
            e2e_pass "at 144 dpi the frames are the screen's pixels: $info, $px"
        else
            e2e_fail "at 144 dpi the frames are the screen's pixels" "${info:-no AVI} ${px:-} (want 256x192, every frame the picture)"
        fi
    fi
    e2e_stop "$QUILLET_PID" 3
    set_logpixels "$old"
    e2e_start_quillet . 2 && find_boxes
}
