# shellcheck shell=bash
# Select Area with the real mouse (xdotool): a drag over part of the moving picture, from the
# bottom-right corner of a 240 x 120 rectangle up to the picture's top-left one, records exactly
# that rectangle, whose frames show the picture and nothing of the selection screen (a screenshot
# of it while dragging: select-area.png); Esc records nothing, shows no box and brings the main
# window back; a click on the picture's window records the window. Sourced by run.sh.

# select_then command...: clicks Select Area, runs the command once the selection screen covers
# the display (it shows first as one pixel off the screen) and waits for the screen to go.
select_then() {
    SELECT_BEFORE=$(caption)
    rm -f test.avi
    if [ "$1" = hot_key ]; then hot_key "$2"; else click "Select Area"; fi &&
        e2e_wait 5 _covered && { [ "$1" != hot_key ] || shift 2; } && "$@" &&
        drive wait-gone "Select Area" 5000 >/dev/null
}
Escape() { xdotool key Escape; }
_covered() { [[ $(drive rect "Select Area" 2>/dev/null) == "0 0 "* ]]; }

# Records two seconds of the area chosen, from its first progress caption.
record_chosen() {
    wait_progress "$SELECT_BEFORE" 8 >/dev/null && sleep 2 && click Stop && avi_wait test.avi 10
}

drag_over_picture() {
    xdotool mousemove $((PIC_X + 239)) $((PIC_Y + 119)) mousedown 1 mousemove 150 100 \
        mousemove "$PIC_X" "$PIC_Y" && sleep 0.5
    e2e_shot "$E2E_OUT/select-area.png"
    xdotool mouseup 1
}

check_select_area() {
    local info pictures px=
    picture 257 193
    if select_then drag_over_picture && record_chosen && info=$(avi_has test.avi size=240x120) &&
        pictures=$(avi_pictures test.avi "$PIC_W" "$PIC_H" 100 "$STEP" selected); then
        e2e_pass "a drag records exactly the rectangle dragged: $info, $pictures"
    else
        e2e_fail "a drag records exactly the rectangle dragged" "${info:-no AVI}${pictures:+: $pictures} (want 240x120, the picture in every frame); dialogs: $(open_dialogs)"
    fi
    if select_then xdotool key Escape && drive wait-window "@$MAIN" 3000 >/dev/null && sleep 1 &&
        e2e_shot "$E2E_TMP/escaped.png" && ! px=$(marker_shown "$E2E_TMP/escaped.png") &&
        [ ! -e test.avi ] && [ -z "$(drive dialogs)" ]; then
        e2e_pass "Esc records nothing and shows no box, the main window back"
    else
        e2e_fail "Esc records nothing" "test.avi: $(ls test.avi 2>&1), marker pixel $px, dialogs: $(open_dialogs)"
    fi
    # By its key while another program has the keyboard: the selection screen takes it.
    focus_picture
    if select_then hot_key F6 Escape; then
        e2e_pass "Select Area by its key from another program's window: Esc cancels"
    else
        e2e_fail "Select Area by its key from another program's window: Esc cancels" "the selection screen still shows: $(drive rect "Select Area" 2>&1)"
        xdotool click 3
    fi
    picture 256 192
    info='' pictures=''
    # The mouse leaves the window at once: the cursor drawn into the frames would not match.
    if select_then xdotool mousemove $((PIC_X + 100)) $((PIC_Y + 100)) click 1 mousemove 600 700 &&
        record_chosen &&
        info=$(avi_has test.avi size=256x192) &&
        pictures=$(avi_frames test.avi "$PIC_W" "$PIC_H" window 16); then
        e2e_pass "a click records the window clicked: $info, $pictures"
    else
        e2e_fail "a click records the window clicked" "${info:-no AVI}${pictures:+: $pictures} (want 256x192); dialogs: $(open_dialogs)"
    fi
}

# A drag ending at the screen's last column and row, over a picture in that corner: the area grows
# inwards for the compressor (201x129 records 204x132), and no frame holds black from beyond the
# edge in its last three columns and rows. A screenshot while dragging shows the readout telling
# that size: select-edge.png.
check_select_edge() {
    local info dark='' pid=$PIC_PID
    e2e_show_picture 823 639 201 129 $STEP
    if select_then drag_to_edge && record_chosen && info=$(avi_has test.avi size=204x132) &&
        dark=$(darkest_edge test.avi) && [ "$dark" -gt 0 ]; then
        e2e_pass "a drag to the screen's edge records no black: $info, darkest edge pixel $dark"
    else
        e2e_fail "a drag to the screen's edge records no black" "${info:-no AVI}, darkest edge pixel ${dark:-?} (want 204x132, above 0)"
    fi
    e2e_stop "$E2E_PIC_PID" 2
    PIC_PID=$pid
}
drag_to_edge() {
    xdotool mousemove 823 639 mousedown 1 mousemove 900 700 mousemove 1023 767 && sleep 0.5
    e2e_shot "$E2E_OUT/select-edge.png"
    xdotool mouseup 1 mousemove 600 700
}
# The darkest grey of every frame's last three columns and rows where the picture lies (the area
# grew 3 pixels up and left of it), the picture's own border there.
darkest_edge() {
    { ffmpeg -v error -i "$1" -vf crop=3:ih-3:iw-3:3,format=gray -f rawvideo - &&
        ffmpeg -v error -i "$1" -vf crop=iw-3:3:3:ih-3,format=gray -f rawvideo -; } |
        od -An -tu1 -v | awk '{ for (i = 1; i <= NF; i++) if (m == "" || $i < m) m = $i } END { print m }'
}
