# shellcheck shell=bash
# The Options dialog: the recorder's settings shown on the sliders, labels that follow them, and
# OK putting them (and the compressor of the list) into the next recording. Sourced by run.sh.

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
