# shellcheck shell=bash
# The Options dialog: the recorder's settings shown on the sliders, labels that follow them, and
# OK putting them (and the compressor of the list) into the next recording; every box a user types
# in typed into with real keys. Sourced by run.sh.

# type_into window text new: a real click into the box that reads text, its text taken away with
# the keys and the new one typed, as a user does.
type_into() {
    local l t r b
    read -r l t r b < <(drive rect "$1" "$2") && [ -n "$b" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1 key End key --repeat 20 BackSpace \
        type --delay 40 "$3"
}

# Every box reads as typed (options-typed.png). After the box about the key-frame text (OK by a
# real click, the box closed with Enter) Options stays in front: a real click where Record lies
# under it starts nothing (options-after-error.png).
check_typing() {
    local got before r
    click Options && drive wait-window Options 10000 >/dev/null && sleep 0.3 || return 1
    type_into Options test.avi neg.avi && type_into Options test.wav neg.wav && type_into Options 5 abc
    read -r -a r < <(drive rect Options)
    e2e_shot "$E2E_OUT/options-typed.png" "${r[0]}" "${r[1]}" $((r[2] - r[0])) $((r[3] - r[1]))
    got=$(for i in 0 1 2; do drive get-edit Options $i; done | tr '\n' ' ')
    e2e_expect "Options: typed text reads as typed (options-typed.png)" "\"$got\"" [ "$got" = "abc neg.avi neg.wav " ]
    rm -f test.avi
    e2e_click Options OK && e2e_wait 5 _box_shows && xdotool key Return && e2e_wait 5 eval '! _box_shows'
    before=$(caption)
    sleep 0.5 && e2e_shot "$E2E_OUT/options-after-error.png" && click Record && sleep 2
    got="$(drive wait-window Options 10 >/dev/null && echo Options) $(caption) $(ls test.avi 2>/dev/null)$(open_dialogs)"
    e2e_expect "Options stays in front after an error box: the main window takes no click (options-after-error.png)" \
        "Options shown, caption, test.avi, boxes: $got" [ "$got" = "Options $before " ]
    dismiss_boxes >/dev/null
    type_into Options abc 5 && set_file test.avi && drive set-edit Options "$EDIT_WAVE" test.wav >/dev/null
    drive click Options Cancel >/dev/null && drive wait-gone Options 5000 >/dev/null
    type_into "@$MAIN" "Standar Cam" "My Cam"
    got=$(drive get-edit "@$MAIN" 0)
    e2e_expect "the service fix box: typed text reads as typed" "it reads \"$got\"" [ "$got" = "My Cam" ]
    drive select-combo "@$MAIN" 0 >/dev/null
}
_box_shows() { [[ $(drive dialogs) == *"n'est pas"* ]]; }

check_options() {
    drive post-click "@$MAIN" Options >/dev/null
    if ! drive wait-window Options 10000 >/dev/null; then
        e2e_fail "Options dialog opens" "no visible \"Options\" window within 10 s"
        return 1
    fi
    sleep 0.5
    local r
    read -r -a r < <(drive rect Options)
    e2e_shot "$E2E_OUT/options-dialog.png" "${r[0]}" "${r[1]}" $((r[2] - r[0])) $((r[3] - r[1]))
    drive list Options >"$E2E_OUT/options-controls.txt"
    local rec play qual
    rec=$(drive get-trackbar Options 1) play=$(drive get-trackbar Options 2) qual=$(drive get-trackbar Options 0)
    if [ "$qual $rec $play" = "100 419 183" ]; then
        e2e_pass "Options opens with the recorder's defaults (sliders 100, 419, 183)"
    else
        e2e_fail "Options opens with the recorder's defaults" "slider positions quality/record/playback $qual $rec $play (want 100 419 183)"
    fi
    # 200 ms a frame (position 482) and 25 frames per second (position 490).
    drive set-trackbar Options 1 482 >/dev/null
    drive set-trackbar Options 2 490 >/dev/null
    local labels
    labels=$(grep -o '"[0-9]* \(ms\|fps\)"' <(drive list Options) | tr '\n' ' ')
    if [[ $labels == *'"200 ms"'* ]] && [[ $labels == *'"25 fps"'* ]]; then
        e2e_pass "Options labels follow the sliders: $labels"
    else
        e2e_fail "Options labels follow the sliders" "labels $labels (want \"200 ms\" and \"25 fps\")"
    fi
    drive list Options >"$E2E_OUT/options-controls-set.txt"
    drive click Options OK >/dev/null
    if ! drive wait-gone Options 5000 >/dev/null; then
        e2e_fail "Options closes on OK" "still showing"
        return 1
    fi
    picture 257 193
    check_recording "Options take effect in the next recording: 200 ms a frame at 25/1" \
        Record 3 200 options rate=25/1
    # OK also chose the compressor the list showed: sizes are now aligned for it.
    e2e_log "compressor list: $(grep -i 'combobox' "$E2E_OUT/options-controls-set.txt" | head -1)"
    picture 257 195
    check_recording "a compressor chosen in Options aligns 256x194 to 256x196" \
        Record 2 - - size=256x196
}
