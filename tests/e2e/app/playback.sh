# shellcheck shell=bash
# Playback in the main window's panel, and the error boxes for files that cannot be played or
# written. Sourced by run.sh.

# The largest child of the main window below the buttons: the playback panel.
panel_rect() {
    drive list "@$MAIN" | awk '/^  [^ ]/ {
        if (match($0, /rect=-?[0-9]+,-?[0-9]+,-?[0-9]+,-?[0-9]+/)) {
            split(substr($0, RSTART + 5, RLENGTH - 5), r, ",")
            a = (r[3] - r[1]) * (r[4] - r[2])
            if (r[2] > 195 + 150 && a > best) { best = a; out = r[1] " " r[2] " " r[3] " " r[4] }
        }
    } END { if (out) print out }'
}

# Share of the panel's pixels in the picture's navy background (the video shows there).
navy_share() { # image l t r b
    /usr/bin/convert "$1" -crop "$(($4 - $2))x$(($5 - $3))+$2+$3" +repage -fuzz 12% \
        -fill white -opaque '#000080' -fill black +opaque white -format '%[fx:mean]' info:
}

# panel_changes first second seconds l t r b: two screenshots that far apart; prints how many
# pixels of the panel differ between them (the files are kept in $E2E_OUT).
panel_changes() {
    local a=$E2E_OUT/$1.png b=$E2E_OUT/$2.png
    e2e_shot "$a"
    sleep "$3"
    e2e_shot "$b"
    compare -metric AE -crop "$(($6 - $4))x$(($7 - $5))+$4+$5" "$a" "$b" /dev/null 2>&1
}

# The program answers and shows no box.
answers_without_boxes() { caption >/dev/null && [ -z "$(drive dialogs)" ]; }

check_playback() {
    local l t r b
    read -r l t r b < <(panel_rect)
    if [ -z "${b:-}" ]; then
        e2e_fail "Play Avi" "no panel found below the buttons"
        return 1
    fi
    cp "$E2E_OUT/first.avi" test.avi
    click "Play Avi"
    sleep 1
    local moving share
    moving=$(panel_changes playing playing2 0.4 "$l" "$t" "$r" "$b")
    share=$(navy_share "$E2E_OUT/playing.png" "$l" "$t" "$r" "$b")
    if awk -v s="$share" 'BEGIN { exit !(s > 0.3) }' && [ "${moving%% *}" != 0 ]; then
        e2e_pass "Play Avi shows the video scaled into the panel ($l,$t)-($r,$b): ${share} of it navy, $moving pixels change in 0.4 s"
    else
        e2e_fail "Play Avi shows the video in the panel" "panel ($l,$t)-($r,$b) is ${share} navy (want > 0.3), $moving pixels changed in 0.4 s (see playing.png)"
    fi
    # The recording lasts about 4 s: without the Stop the video would still be moving here. The
    # panel may keep showing the last frame drawn.
    click Stop
    sleep 0.5
    moving=$(panel_changes after-play-stop after-play-stop2 0.6 "$l" "$t" "$r" "$b")
    if [ "${moving%% *}" = 0 ]; then
        e2e_pass "Stop during playback ends it (the panel stands still)"
    else
        e2e_fail "Stop during playback ends it" "$moving pixels of the panel changed in 0.6 s after Stop (see after-play-stop.png)"
    fi
}

_boxes_showing() { [ -n "$(drive dialogs)" ]; }

check_play_missing() {
    set_file missing.avi
    rm -f missing.avi
    drive post-click "@$MAIN" "Play Avi" >/dev/null
    if e2e_wait 5 _boxes_showing; then
        local box
        box=$(dismiss_boxes)
        box=${box%%$'\n'*}
        sleep 0.3
        if answers_without_boxes; then
            e2e_pass "Play Avi with a missing file shows an error box and the program goes on: ${box#* }"
        else
            e2e_fail "Play Avi with a missing file" "error box shown, but the program does not answer afterwards"
        fi
    else
        e2e_fail "Play Avi with a missing file" "no error box within 5 s"
    fi
    set_file test.avi
}

check_bad_folder() {
    set_file 'no-such-folder\clip.avi'
    drive click "@$MAIN" "Record Again" >/dev/null
    local box front
    if box=$(drive find-text "Error Creating AVI file" 10000); then
        front=$(drive front "@${box%% *}")
        drive click "@${box%% *}" OK >/dev/null
        # The run ended by itself: the window is back as after Stop without a click on Stop.
        e2e_wait 5 eval '[ "$(drive enabled "@$MAIN" Pause)" = 0 ]'
        if [ "$front" = "1 1" ] && answers_without_boxes; then
            e2e_pass "AVI name in a missing folder: \"Error Creating AVI file\" above the main window with the focus, and the program goes on"
        else
            e2e_fail "AVI name in a missing folder" "box on top and focused: \"$front\" (want \"1 1\"); dialogs: $(open_dialogs)"
        fi
    else
        e2e_fail "AVI name in a missing folder" "no \"Error Creating AVI file\" box within 10 s; dialogs: $(open_dialogs)"
        click Stop
    fi
    set_file test.avi
}
