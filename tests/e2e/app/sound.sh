# shellcheck shell=bash
# Sound beside the picture: with "wave recorder (sound)" ticked a WAV of what the microphone
# played is saved at Stop and the AVI holds it too, as long as its frames; the program survives
# the Stops, and unticked nothing is written.
# The microphone is the private PulseAudio's null sink fed with a 1 kHz tone ($E2E_TMP/tone.wav).
# Sourced by run.sh.

# wav_matches file least most: sox's figures of the file ("length rms frequency rate"); succeeds
# when it lasts from the least to the most seconds, give or take one of the 1/3 s buffers that Wine
# records in (measured lengths are whole buffers: 4.00 s, 4.34 s), and holds the tone at its level.
wav_matches() {
    local stat len rms freq rate
    stat=$(sox "$1" -n stat 2>&1)
    echo "$stat" >"$E2E_OUT/sound.stat"
    len=$(awk -F: '/^Length/ {print $2+0}' <<<"$stat")
    rms=$(awk -F: '/^RMS +amplitude/ {print $2+0}' <<<"$stat")
    freq=$(awk -F: '/^Rough +frequency/ {print $2+0}' <<<"$stat")
    rate=$(soxi -r "$1" 2>/dev/null)
    echo "$len s, RMS $rms, about $freq Hz, $rate samples/s"
    awk -v l="$len" -v least="$2" -v most="$3" -v r="$rms" -v f="$freq" \
        'BEGIN { exit !(l >= least - 0.4 && l <= most + 0.4 && r > 0.1 && f > 900 && f < 1100) }'
}

# tone_second raw [out.wav]: succeeds once the raw recording of the sound card holds a second
# after the first sound in it; writes that second to out.wav.
tone_second() {
    sox -t raw -r 22050 -e signed -b 16 -c 1 "$1" "${2:--n}" silence 1 0.02 10% trim 0 1 stat 2>&1 |
        awk '/^Length/ { l = $3 } END { exit !(l >= 1) }'
}

check_sound() {
    [ "$PIC_H" = 193 ] || picture 257 193
    local times
    if [ "$(drive enabled "@$MAIN" "Record Again")" != 1 ]; then
        times=$(record Record 1) || { e2e_fail "sound recording" "$times"; return 1; }
    fi
    rm -f test.wav
    if ! drive check "@$MAIN" "wave recorder (sound)" >/dev/null; then
        e2e_fail "sound recording" "cannot tick \"wave recorder (sound)\""
        return 1
    fi
    e2e_microphone "$E2E_TMP/tone.wav"
    if ! times=$(record "Record Again" 3); then
        e2e_fail "sound recording" "$times"
        e2e_stop "$E2E_MIC_PID"
        return 1
    fi
    local cap
    cap=$(caption)
    if [ "$cap" = "Sound record" ]; then
        e2e_pass "caption after Stop with sound: \"Sound record\""
    else
        e2e_fail "caption after Stop with sound" "\"$cap\""
    fi
    if [ ! -s test.wav ]; then
        e2e_fail "WAV recorded" "no test.wav written"
    else
        cp test.wav "$E2E_OUT/sound.wav"
        local least most found
        least=$(awk '{ printf "%.2f", $3 - $2 }' <<<"$times")
        most=$(awk '{ printf "%.2f", $4 - $1 }' <<<"$times")
        if found=$(wav_matches test.wav "$least" "$most"); then
            e2e_pass "WAV of the tone: $found (recorded for $least to $most s)"
        else
            e2e_fail "WAV of the tone" "$found (recorded for $least to $most s, want $least - 0.4 to $most + 0.4 s, RMS > 0.1, about 1000 Hz)"
        fi
    fi
    # The AVI holds the same sound as a stream of its own, as long as its frames.
    local video audio
    video=$(ffprobe -v error -select_streams v:0 -show_entries stream=duration -of csv=p=0 test.avi)
    if ffmpeg -v error -y -i test.avi -map 0:a -f wav "$E2E_OUT/avi-sound.wav" 2>>"$E2E_OUT/suite.log"; then
        audio=$(soxi -D "$E2E_OUT/avi-sound.wav" 2>/dev/null)
        if found=$(wav_matches "$E2E_OUT/avi-sound.wav" "$video" "$video") &&
            awk -v a="$audio" -v v="$video" 'BEGIN { d = a - v; exit !(d <= 0.1 && d >= -0.1) }'; then
            e2e_pass "AVI sound stream of the tone, as long as the frames ($video s): $found"
        else
            e2e_fail "AVI sound stream" "$found; frames last $video s, the sound $audio s (want within 0.1 s)"
        fi
    else
        e2e_fail "AVI sound stream" "FFmpeg finds no sound in test.avi to decode"
    fi
    # Closing the sound device right after stopping it must not bring the program down; the
    # danger lies in the moments after the Stop, so a few more short ones.
    local k survived=0 tries=3
    for k in $(seq $tries); do
        [ "$k" -gt 1 ] && { record "Record Again" 1 >/dev/null || break; }
        sleep 2
        if drive caption "@$MAIN" >/dev/null; then
            survived=$((survived + 1))
        else
            break
        fi
    done
    e2e_stop "$E2E_MIC_PID"
    if [ $survived -eq $tries ]; then
        e2e_pass "the program runs on after $tries Stops with sound"
    else
        e2e_fail "the program runs on after Stop with sound" "after Stop number $((survived + 1)) the main window no longer answers ($(grep -h -m1 Unhandled "$E2E_OUT/quillet.log" 2>/dev/null || echo 'no crash message'))"
        return 1
    fi
    # Play Avi plays the AVI's sound with its picture: with the microphone quiet, what reaches
    # the sound card while it plays is the tone the AVI holds. The sound card is recorded until a
    # second of the tone has come (at most 20 s: a busy machine starts the player late), and
    # that second is measured.
    sleep 0.5
    parec --device=vsink.monitor --channels=1 --rate=22050 --format=s16le >"$E2E_OUT/played.raw" 2>>"$E2E_OUT/suite.log" &
    local played=$!
    click "Play Avi"
    e2e_wait 20 tone_second "$E2E_OUT/played.raw"
    kill "$played"
    wait "$played" 2>/dev/null
    click Stop
    tone_second "$E2E_OUT/played.raw" "$E2E_OUT/played.wav"
    if found=$(wav_matches "$E2E_OUT/played.wav" 1 1); then
        e2e_pass "Play Avi plays the AVI's sound: $found"
    else
        e2e_fail "Play Avi plays the AVI's sound" "what the sound card played while it played: $found"
    fi
}

check_no_sound() {
    [ "$PIC_H" = 193 ] || picture 257 193
    # Unticked: no sound steps at all.
    drive uncheck "@$MAIN" "wave recorder (sound)" >/dev/null
    rm -f test.wav
    local why cap
    why=$(record Record 1) || { e2e_fail "no WAV without the sound box" "$why"; return 1; }
    cap=$(caption)
    if [ ! -e test.wav ] && [[ $cap == ms/Frame:* ]]; then
        e2e_pass "no WAV without the sound box; caption keeps the progress text"
    else
        e2e_fail "no WAV without the sound box" "test.wav exists: $([ -e test.wav ] && echo yes || echo no), caption \"$cap\""
    fi
}
