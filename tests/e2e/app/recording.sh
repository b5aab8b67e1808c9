# shellcheck shell=bash
# Recording through the main window: Record finds the moving picture and records it, Record
# Again keeps the area, the service fixes and the compressor's alignment change its height.
# Sourced by run.sh.

check_first_recording() {
    picture 257 193
    local before progress
    before=$(caption)
    click Record || { e2e_fail "record by a click" "no Record button"; return 1; }
    if progress=$(wait_progress "$before" 8); then
        e2e_pass "record by a click: caption shows \"$progress\""
    else
        e2e_fail "record by a click" "no progress caption within 8 s (caption \"$progress\")"
        return 1
    fi
    sleep 1.5
    e2e_shot "$E2E_OUT/screen-recording.png"
    local later
    later=$(caption)
    local n1=${progress#*FrameNr: } n2=${later#*FrameNr: }
    n1=${n1%%,*} n2=${n2%%,*}
    if [[ $n2 =~ ^[0-9]+$ ]] && [ "$n2" -gt "$n1" ]; then
        e2e_pass "progress caption counts frames (FrameNr $n1 -> $n2)"
    else
        e2e_fail "progress caption counts frames" "\"$progress\" then \"$later\""
    fi
    local px
    if px=$(marker_shown "$E2E_OUT/screen-recording.png"); then
        e2e_pass "marker brackets shown around the area ($px)"
    else
        e2e_fail "marker brackets shown around the area" "pixel ($((PIC_X - 6)),$((PIC_Y - 6))) is $px"
    fi
    sleep 1
    click Stop
    if ! avi_wait test.avi 10; then
        e2e_fail "AVI written" "test.avi not complete 10 s after Stop"
        return 1
    fi
    cp test.avi "$E2E_OUT/first.avi"
    local info pictures
    if info=$(avi_has test.avi size=256x192 rate=10/1); then
        e2e_pass "AVI of the detected area: $info (256x192 at 10/1)"
    else
        e2e_fail "AVI of the detected area" "ffprobe: $info (want 256x192 at 10/1)"
    fi
    if pictures=$(avi_pictures test.avi 257 193 100 "$STEP" first); then
        e2e_pass "AVI frames show the moving picture at their capture times ($pictures)"
    else
        e2e_fail "AVI frames show the moving picture at their capture times" "$pictures"
    fi
    sleep 0.5
    e2e_shot "$E2E_OUT/screen-stopped.png"
    if px=$(marker_shown "$E2E_OUT/screen-stopped.png"); then
        e2e_fail "marker hidden after Stop" "bracket pixel still $px"
    else
        e2e_pass "marker hidden after Stop"
    fi
    local again
    again=$(drive enabled "@$MAIN" "Record Again")
    if [ "$again" = 1 ]; then
        e2e_pass "Record Again enabled after Stop"
    else
        e2e_fail "Record Again enabled after Stop" "enabled=$again"
    fi
}

check_record_again() {
    # The area found by the last Record is kept, even when the picture has changed size since.
    picture 261 197
    check_recording "Record Again records the last area" "Record Again" 2 100 again size=256x192
}

# Record Again while a recording runs: the recorder ignores the start, the recording goes on
# into the same file, from the same start time.
check_record_again_while_recording() {
    [ "$PIC_H" = 193 ] || picture 257 193
    local before progress
    rm -f test.avi
    before=$(caption)
    drive click "@$MAIN" "Record Again" >/dev/null
    if ! progress=$(wait_progress "$before" 8); then
        e2e_fail "Record Again while recording" "no progress caption (\"$progress\")"
        return 1
    fi
    sleep 1
    drive click "@$MAIN" "Record Again" >/dev/null
    local off
    off=$(for b in Record "Select Area" "Record Again" "Play Avi"; do drive enabled "@$MAIN" "$b"; done | tr -d '\n')
    e2e_expect "while it records, Record, Select Area, Record Again and Play Avi are disabled" "enabled: $off" [ "$off" = 0000 ]
    # The hint of a disabled button shows all the same (a look: hint-while-recording.png).
    local l t r b
    read -r l t r b < <(drive rect "@$MAIN" "Record Again")
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) sleep 0.2 mousemove_relative 2 0 sleep 1.5
    e2e_shot "$E2E_OUT/hint-while-recording.png"
    click Stop
    if ! avi_wait test.avi 10; then
        e2e_fail "Record Again while recording" "test.avi not complete after Stop"
        return 1
    fi
    local info pictures=
    if info=$(avi_has test.avi min-frames=22) &&
        pictures=$(avi_pictures test.avi 257 193 100 "$STEP" twice); then
        e2e_pass "Record Again while recording changes nothing: one recording, $info ($pictures)"
    else
        e2e_fail "Record Again while recording" "ffprobe: $info (want at least 22 frames: one run of about 3 s); $pictures"
    fi
    # Record during a recording looks for no area: Record Again then keeps the last one.
    rm -f test.avi
    before=$(caption)
    drive click "@$MAIN" "Record Again" >/dev/null
    wait_progress "$before" 8 >/dev/null
    picture 201 151
    click Record
    sleep 1
    click Stop
    avi_wait test.avi 10
    check_recording "Record during a recording changes nothing" "Record Again" 1 - - size=256x192
    picture 257 193
}

# Play Avi holds the file: Record Again closes the player first and records over it.
check_record_after_playback() {
    drive click "@$MAIN" "Play Avi" >/dev/null
    sleep 0.5
    check_recording "Record Again right after Play Avi" "Record Again" 1 - - size=256x192
}

# 256 x 194 is not a size the Video 1 compressor takes: with no compressor chosen in Options
# the recorder asks the one in use and grows the area to 256 x 196.
check_unaligned_size() {
    picture 257 195
    check_recording "256x194 area with the default compressor recorded aligned to 256x196" \
        Record 2 - - size=256x196 min-frames=1
}

# The service fixes of the main window's list take rows off the bottom of the detected area.
check_service_fixes() {
    local fix idx item ph want
    for fix in "1 VLC 195 180" "2 Youtube 197 176"; do # list index, item, picture and AVI height
        read -r idx item ph want <<<"$fix"
        picture 257 "$ph"
        drive select-combo "@$MAIN" "$idx" >/dev/null
        check_recording "service fix $item: area 256x$((ph - 1)) recorded as 256x$want" \
            Record 2 100 "fix$idx" "size=256x$want"
    done
    drive select-combo "@$MAIN" 0 >/dev/null
    picture 257 193
    check_recording "service fix Standar Cam again: height back to 192" Record 1 - - size=256x192
}

# Record with nothing changing on the screen: one box above the main window says so, the last
# recording stays as it was, and the next Record, of the moving picture, is not held up behind it.
check_still_then_moving() {
    local info sum front=
    e2e_stop "$PIC_PID" 2
    sum=$(md5sum <test.avi)
    click Record
    info=$(drive find-text "Nothing on the screen changed" 10000) && front=$(drive front "@${info%% *}")
    sleep 1
    dismiss_boxes >>"$E2E_OUT/suite.log"
    picture 257 193
    if [ "$front" = "1 1" ] && [ "$(md5sum <test.avi)" = "$sum" ] && [ -z "$(drive dialogs)" ] &&
        info=$(record Record 2) && info=$(avi_has test.avi size=256x192) && avi_decodes test.avi; then
        e2e_pass "Record of a still screen (one box, on top; the last AVI kept), then of a moving picture: $info"
    else
        e2e_fail "Record of a still screen, then of a moving picture" "box on top and focused: \"$front\"; $info"
    fi
}

# Record over the main window's place: the picture lies under the window (which stays on top),
# about 20 px larger every way. Wine cannot leave the window out of screen copies, so it steps out of
# the area for the recording; no frame holds a pixel of it (every frame is the picture), and it
# is back where it was after Stop.
check_main_window_out_of_recording() {
    local l t r b home during after info pictures=
    if ! home=$(drive rect "@$MAIN"); then
        e2e_fail "main window out of the recording" "no main window rectangle"
        return 1
    fi
    read -r l t r b <<<"$home"
    e2e_stop "$PIC_PID" 2
    # One more than a multiple of 4 each way: Record Again records one less, and the default
    # compressor takes sizes in blocks of 4.
    local x=$((l - 20)) y=$((t - 20)) w=$(((r - l + 43) / 4 * 4 + 1)) h=$(((b - t + 43) / 4 * 4 + 1))
    e2e_show_picture $x $y $w $h "$STEP"
    PIC_PID=$E2E_PIC_PID PIC_W=$w PIC_H=$h
    # The picture's window came up last: the main window back above it, as a click on it would.
    local xw
    for xw in $(xdotool search --onlyvisible --pid "$QUILLET_PID" 2>/dev/null); do
        xdotool windowraise "$xw"
    done
    sleep 0.3
    local before
    rm -f test.avi
    before=$(caption)
    click Record
    # The mouse out of the way: the recording draws the cursor in.
    xdotool mousemove 2 2
    wait_progress "$before" 10 >/dev/null
    during=$(drive rect "@$MAIN")
    sleep 2
    click Stop
    avi_wait test.avi 10
    after=$(e2e_wait 5 _main_window_at "$home" && echo "$home" || drive rect "@$MAIN")
    read -r l t r b <<<"$during"
    if ! info=$(avi_has test.avi size=$((w - 1))x$((h - 1))); then
        e2e_fail "main window out of the recording" "ffprobe: $info (want $((w - 1))x$((h - 1)))"
    elif ! pictures=$(avi_pictures test.avi "$w" "$h" 100 $STEP mainwindow); then
        e2e_fail "main window out of the recording" "$info: $pictures; window during $during"
    elif [ "$after" != "$home" ] || { [ "$r" -gt $x ] && [ "$l" -lt $((x + w)) ] &&
        [ "$b" -gt $y ] && [ "$t" -lt $((y + h)) ]; }; then
        e2e_fail "main window out of the recording" "window at $home, during $during, after $after"
    else
        e2e_pass "main window out of the recording: $info, $pictures; window at $home, during $during, back at $after"
    fi
    picture 257 193
}
_main_window_at() { [ "$(drive rect "@$MAIN")" = "$1" ]; }

# A take under a name already taken: the first file stays byte for byte, the new one gets its
# start's time in its name, both decode; once it has stopped the window names the take's full
# path and its length, within 1 s of what FFmpeg finds (screenshot take-shown.png).
check_takes_kept() {
    local sum before takes take list path len probed
    [ -s test.avi ] || record "Record Again" 1 >/dev/null
    sum=$(md5sum <test.avi) before=$(caption)
    rm -f "test "2*.avi
    drive click "@$MAIN" "Record Again" >/dev/null
    wait_progress "$before" 8 >/dev/null && sleep 2
    click Stop
    takes=("test "2*.avi) take=${takes[0]}
    if [ ${#takes[@]} -ne 1 ] || ! avi_wait "$take" 10 || [ "$(md5sum <test.avi)" != "$sum" ] ||
        ! avi_decodes test.avi || ! avi_decodes "$take"; then
        e2e_fail "two takes in a row" "files $(ls ./*.avi | tr '\n' ' '); test.avi changed or a file does not decode"
        return 1
    fi
    e2e_pass "two takes in a row: test.avi as it was and \"$take\", both decode"
    path=$(winepath -w "$PWD/$take" 2>/dev/null)
    e2e_wait 10 _take_shown "Recorded: $path" && sleep 0.3
    e2e_shot "$E2E_OUT/take-shown.png"
    list=$(drive list "@$MAIN")
    len=$(sed -n 's/.*"Length: \([0-9]*[.,][0-9]\) s,.*/\1/p' <<<"$list" | tr , .)
    probed=$(ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 "$take")
    if grep -qF "\"Recorded: $path\"" <<<"$list" && [ -n "$len" ] &&
        awk -v a="$len" -v b="$probed" 'BEGIN { exit !(a - b <= 1 && b - a <= 1) }'; then
        e2e_pass "after Stop the window names \"$path\", $len s long (FFmpeg: $probed s)"
    else
        e2e_fail "after Stop the window names the take and its length" "want \"$path\" and $probed s; the window: $(grep -E 'Recorded|Length' <<<"$list")"
    fi
}
_take_shown() { drive list "@$MAIN" | grep -qF "\"$1\""; }
