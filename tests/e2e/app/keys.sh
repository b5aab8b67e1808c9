# shellcheck shell=bash
# Pause and the hot keys: a recording with sound started, paused, resumed and stopped with
# Ctrl+Shift+F7, F9 and F10, sent by xdotool while another program's window (the moving picture)
# has the focus, and paused once more with the Pause button. Sourced by run.sh.

hot_key() { xdotool key --clearmodifiers "ctrl+shift+$1"; }

# The keyboard focus on the moving picture, another program's window.
focus_picture() {
    local xid
    xid=$(xdotool search --name '^moving picture$' | head -1)
    [ -n "$xid" ] && xdotool windowfocus "$xid"
}

# pause_jumps name: the picture's time minus the frame's time, frame after frame, jumps where a
# pause was: prints the jumps of more than 0.7 s (ms) and the spread between them.
pause_jumps() {
    paste -d' ' "$E2E_OUT/$1.pts" <(grep '^frame ' "$E2E_OUT/$1.frames") |
        awk -v step=$STEP '{
            split($4, a, "="); d = a[2] * step - $1 * 100
            if (NR > 1 && d - last > 700) { jumps = jumps " " d - last; lo = hi = d }
            if (NR == 1) lo = hi = d
            if (d < lo) lo = d; if (d > hi) hi = d; if (hi - lo > spread) spread = hi - lo
            last = d
        } END { printf "jumps%s; spread %d ms", jumps, spread }'
}

check_hot_keys() {
    picture 257 193
    rm -f test.avi test.wav
    drive check "@$MAIN" "wave recorder (sound)" >/dev/null
    e2e_microphone "$E2E_TMP/tone.wav"
    # Each step's clock time before it (b) and after it returned (a).
    local before t0 t1 p1b p1a r1b r1a p2b p2a r2b r2a t2b t2a paused
    before=$(caption)
    focus_picture || e2e_log "no moving picture window to focus"
    t0=$(date +%s.%N)
    hot_key F7
    if ! wait_progress "$before" 8 >/dev/null; then
        e2e_fail "Ctrl+Shift+F7 records from another program's window" "no progress caption; dialogs: $(open_dialogs)"
        click Stop
        drive uncheck "@$MAIN" "wave recorder (sound)" >/dev/null
        e2e_stop "$E2E_MIC_PID"
        return 1
    fi
    t1=$(date +%s.%N)
    e2e_pass "Ctrl+Shift+F7 records from another program's window"
    sleep 2
    focus_picture
    p1b=$(date +%s.%N)
    hot_key F9
    p1a=$(date +%s.%N)
    drive wait-caption "@$MAIN" "Paused, FrameNr: " 3000 >/dev/null
    paused=$(caption)
    if [[ $paused == Paused,* ]] && [ "$(drive enabled "@$MAIN" Resume)" = 1 ]; then
        e2e_pass "Ctrl+Shift+F9 pauses: caption \"$paused\", the button reads Resume"
    else
        e2e_fail "Ctrl+Shift+F9 pauses" "caption \"$paused\", Resume button: $(drive enabled "@$MAIN" Resume)"
    fi
    # Paused, the marker holds the idle green: no grab makes it blink.
    local px1 px2
    e2e_shot "$E2E_TMP/paused1.png"
    sleep 0.5
    e2e_shot "$E2E_OUT/paused.png"
    px1=$(marker_shown "$E2E_TMP/paused1.png") px2=$(marker_shown "$E2E_OUT/paused.png")
    if [ "$px1" = 0,255,80 ] && [ "$px2" = 0,255,80 ]; then
        e2e_pass "paused, the marker stays green"
    else
        e2e_fail "paused, the marker stays green" "marker pixel $px1 then $px2"
    fi
    sleep 1
    r1b=$(date +%s.%N)
    hot_key F9
    r1a=$(date +%s.%N)
    sleep 2
    p2b=$(date +%s.%N)
    drive click "@$MAIN" Pause >/dev/null
    p2a=$(date +%s.%N)
    sleep 1.5
    r2b=$(date +%s.%N)
    drive click "@$MAIN" Resume >/dev/null
    r2a=$(date +%s.%N)
    sleep 2
    focus_picture
    t2b=$(date +%s.%N)
    hot_key F10
    t2a=$(date +%s.%N)
    if ! avi_wait test.avi 10; then
        e2e_fail "Ctrl+Shift+F10 stops" "test.avi not complete 10 s after the key; caption \"$(caption)\""
        drive uncheck "@$MAIN" "wave recorder (sound)" >/dev/null
        e2e_stop "$E2E_MIC_PID"
        return 1
    fi
    sleep 0.5
    e2e_stop "$E2E_MIC_PID"
    drive uncheck "@$MAIN" "wave recorder (sound)" >/dev/null
    cp test.avi "$E2E_OUT/paused.avi"
    # Recorded: from the start to the first pause, and from each resume to the next pause or
    # the stop; at most between the steps' outer times, at least between their inner ones
    # (from the first progress caption on).
    local most least info frames gaps jumps
    most=$(awk -v a="$t0" -v b="$p1a" -v c="$r1b" -v d="$p2a" -v e="$r2b" -v f="$t2a" \
        'BEGIN { printf "%.2f", (b - a) + (d - c) + (f - e) + 0.2 }')
    least=$(awk -v a="$t1" -v b="$p1b" -v c="$r1a" -v d="$p2b" -v e="$r2a" -v f="$t2b" \
        'BEGIN { printf "%.2f", (b - a) + (d - c) + (f - e) - 0.3 }')
    # The file's length in positions of 100 ms (frames a loaded machine skipped included).
    info=$(avi_has test.avi size=256x192)
    frames=$(avi_positions test.avi | tail -1)
    if [ -n "$frames" ] && awk -v n="$((frames + 1))" -v l="$least" -v m="$most" \
        'BEGIN { exit !(n >= l * 10 && n <= m * 10 + 2) }'; then
        e2e_pass "the file holds the recorded time only: $info, $((frames + 1)) positions, recorded $least to $most s"
    else
        e2e_fail "the file holds the recorded time only" "$info (want 256x192, $least to $most s at 100 ms a frame)"
    fi
    # A loaded machine may leave a position empty now and then; a pause would leave a second's.
    gaps=$(avi_positions test.avi | awk 'NR > 1 && $1 - last - 1 > widest { widest = $1 - last - 1 }
        NR > 1 { empty += $1 - last - 1 } { last = $1 } END { print widest + 0, empty + 0 }')
    if [ "${gaps%% *}" -le 2 ]; then
        e2e_pass "positions continuous across the pauses (widest gap ${gaps%% *}, ${gaps##* } empty in all)"
    else
        e2e_fail "positions continuous across the pauses" "a gap of ${gaps%% *} positions (${gaps##* } empty in all)"
    fi
    if avi_frames test.avi 257 193 paused 16 >/dev/null; then
        jumps=$(pause_jumps paused)
        local count spread
        count=$(wc -w <<<"${jumps%%;*}")
        spread=${jumps##*spread }
        if [ "$count" = 3 ] && [ "${spread%% *}" -le "$AVI_TIMING_TOLERANCE" ]; then
            e2e_pass "the picture jumps only at the two pauses ($jumps)"
        else
            e2e_fail "the picture jumps only at the two pauses" "$jumps (want two jumps)"
        fi
    else
        e2e_fail "the frames show the moving picture" "see ${E2E_OUT#"$E2E_ROOT"/}/paused.frames"
    fi
    local found
    if [ -s test.wav ] && cp test.wav "$E2E_OUT/paused.wav" &&
        found=$(wav_matches test.wav "$(awk -v l="$least" 'BEGIN { print l - 0.3 }')" \
            "$(awk -v m="$most" 'BEGIN { print m + 0.3 }')"); then
        e2e_pass "the WAV pauses too: $found (recorded $least to $most s)"
    else
        e2e_fail "the WAV pauses too" "${found:-no test.wav} (want $least - 0.7 to $most + 0.7 s of the tone)"
    fi
}
