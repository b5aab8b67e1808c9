#!/usr/bin/env bash
# Two things only the real API shows, under Wine on a virtual display:
#
# 1. The corner marker never gets into the recording. With the default compressor 'MSVC' an area
#    whose width or height is 1 or 2 more than a multiple of 4 is recorded grown to the next
#    multiple of 4; record_check.exe records such areas (both ways round) over a moving picture
#    with the marker shown, a screenshot proves the marker was on the screen meanwhile, and FFmpeg
#    decodes every frame: no pixel may have either marker colour.
# 2. Enter in the Options dialog presses the focused button: with the focus on Cancel (pressed
#    with the mouse and released beside it, as a user gives a button the focus without clicking
#    it) Enter closes the dialog without applying the changed key-frame count.
# 3. A WAV name in a folder whose name holds a space is saved there, with the sound recorded from
#    a private PulseAudio microphone, when the whole program is driven as a user would.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/common.sh"
e2e_begin_desktop marker-wav-enter quillet.exe record_check.exe movingpic.exe drive.exe
e2e_start_pulse || e2e_log "no PulseAudio: the sound check will fail"
e2e_register_codec
export E2E_WINE_TIMEOUT=20
cd "$E2E_TMP" || exit 1

# --- 1. no marker pixel in the frames ---

X=200 Y=150 STEP=40

# Counts the pixels of an rgb24 file (raw frames or a screenshot turned raw) within 6 of either
# marker colour on every channel (Video 1 keeps 5 bits a channel: 180 decodes as 181, 80 as 82;
# the picture's nearest colour, 240, decodes as 247 and stays apart from 255).
marker_pixels() { # file.rgb
    python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
colours = [(255, 255, 180), (0, 255, 80)]
n = 0
for i in range(0, len(data) - 2, 3):
    r, g, b = data[i], data[i + 1], data[i + 2]
    if g >= 249 and any(abs(r - c[0]) <= 6 and abs(b - c[2]) <= 6 for c in colours):
        n += 1
print(n)
PY
}

marker_check() { # W H: requested area
    local w=$1 h=$2 name=area-$1x$2 avi out pic rec
    avi=$E2E_TMP/$name.avi
    e2e_show_picture $X $Y "$w" "$h" $STEP topmost
    pic=$E2E_PIC_PID
    E2E_WINE_TIMEOUT=40 e2e_wine "$E2E_WIN_BUILD/record_check.exe" MSVC \
        "$(winepath -w "$avi" 2>/dev/null)" $X $Y "$w" "$h" 100 10 3 >"$name.out" &
    rec=$!
    sleep 2
    e2e_shot "$E2E_OUT/$name-screen.png"
    wait "$rec"
    e2e_stop "$pic" 2
    out=$(cat "$name.out")
    e2e_log "$name: $out"
    if ! grep -q 'result=idle' <<<"$out" || [ ! -s "$avi" ]; then
        e2e_fail "$name recording" "no file or the recorder did not end: ${out:-no output}"
        return 1
    fi
    cp "$avi" "$E2E_OUT/"
    local cw=$(((w + 3) / 4 * 4)) ch=$(((h + 3) / 4 * 4)) size
    size=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height \
        -of csv=p=0 "$avi")
    if [ "$size" != "msvideo1,$cw,$ch" ]; then
        e2e_fail "$name recorded grown to ${cw}x$ch" "ffprobe: $size"
        return 1
    fi
    # The marker was on the screen while the frames were grabbed.
    /usr/bin/convert "$E2E_OUT/$name-screen.png" -depth 8 rgb:"$name-screen.rgb"
    local shown frames found
    shown=$(marker_pixels "$name-screen.rgb")
    ffmpeg -nostdin -v error -i "$avi" -f rawvideo -pix_fmt rgb24 -y "$name.rgb"
    frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$avi")
    found=$(marker_pixels "$name.rgb")
    if [ "${shown:-0}" -lt 100 ]; then
        e2e_fail "$name marker shown" "only ${shown:-0} marker pixels on the screen during the recording"
    elif [ "${frames:-0}" -lt 10 ]; then
        e2e_fail "$name frames" "only ${frames:-0} frames decoded"
    elif [ "$found" = 0 ]; then
        e2e_pass "$name recorded as ${cw}x$ch: no marker pixel in $frames frames ($shown on the screen)"
    else
        e2e_fail "$name no marker pixel in the frames" "$found marker pixels in $frames frames"
    fi
}

marker_check 321 242
marker_check 322 241

# --- the program, for 2 and 3 ---

sox -n -r 22050 -c 1 -b 16 "$E2E_TMP/tone.wav" synth 400 sine 1000 vol 0.5
work=$E2E_TMP/work # Quillet's current folder
dir="$E2E_TMP/rec dir"
mkdir -p "$work" "$dir"
cd "$work" || exit 1
wave_win=$(winepath -w "$dir/sound take.wav" 2>/dev/null)

start_program() {
    e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show 24 40 257 193 $STEP
    e2e_start_quillet
}

# options_edit text: index of the Options dialog's edit box holding that text (dialog open).
options_edit() {
    local i
    for i in 0 1 2 3 4; do
        [ "$(drive get-edit Options $i)" = "$1" ] && { echo "$i"; return 0; }
    done
    return 1
}

# --- 2. Enter on a focused Cancel ---

enter_check() {
    local main=$MAIN edit l t r b after
    drive post-click "@$main" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || { e2e_fail "Enter on Cancel" "no Options dialog"; return 1; }
    edit=$(options_edit 5) || { e2e_fail "Enter on Cancel" "no key-frame box holding 5"; return 1; }
    drive set-edit Options "$edit" 7 >/dev/null
    read -r l t r b < <(drive rect Options Cancel)
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) mousedown 1 mousemove 5 5 mouseup 1
    sleep 0.3
    e2e_shot "$E2E_OUT/cancel-focused.png"
    xdotool key Return
    if ! drive wait-gone Options 3000 >/dev/null; then
        e2e_fail "Enter on Cancel" "the dialog stayed open"
        drive click Options Cancel >/dev/null
        return 1
    fi
    drive post-click "@$main" Options >/dev/null
    drive wait-window Options 10000 >/dev/null
    after=$(drive get-edit Options "$edit")
    drive click Options Cancel >/dev/null
    drive wait-gone Options 5000 >/dev/null
    if [ "$after" = 5 ]; then
        e2e_pass "Enter with the focus on Cancel closes Options without applying (key frames still 5)"
    else
        e2e_fail "Enter on Cancel" "the key-frame count became \"$after\": the changes were applied"
    fi
}

# --- 3. a WAV name with a space ---

wav_check() {
    local main=$MAIN i t edit='' before c
    drive post-click "@$main" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || {
        e2e_fail "WAV name with a space" "no Options dialog"
        return 1
    }
    if ! edit=$(options_edit test.wav); then
        e2e_fail "WAV name with a space" "no edit box holding test.wav in Options"
        return 1
    fi
    drive set-edit Options "$edit" "$wave_win" >/dev/null
    drive click Options OK >/dev/null
    drive wait-gone Options 5000 >/dev/null
    drive check "@$main" "wave recorder (sound)" >/dev/null || {
        e2e_fail "WAV name with a space" "cannot tick \"wave recorder (sound)\""
        return 1
    }
    e2e_microphone "$E2E_TMP/tone.wav"
    before=$(drive caption "@$main")
    local clicked start stop
    clicked=$(date +%s.%N)
    e2e_click "@$main" Record
    for i in $(seq 80); do
        c=$(drive caption "@$main")
        [[ $c == ms/Frame:* ]] && [ "$c" != "$before" ] && break
        sleep 0.1
    done
    if [[ $c != ms/Frame:* ]]; then
        e2e_fail "WAV name with a space" "no recording started (caption \"$c\")"
        return 1
    fi
    # The sound started just before the first progress caption (after the area detection).
    start=$(date +%s.%N)
    sleep 3
    drive click "@$main" Stop >/dev/null
    stop=$(date +%s.%N)
    drive wait-caption "@$main" "Sound record" 10000 >/dev/null
    e2e_stop "$E2E_MIC_PID"
    c=$(drive caption "@$main")
    e2e_log "files after Stop: $(find "$E2E_TMP" -name '*.wav' | tr '\n' ' ')"
    if [ ! -s "$dir/sound take.wav" ]; then
        e2e_fail "WAV name with a space" "nothing at $wave_win (caption \"$c\"; WAV files: $(find "$E2E_TMP" -name '*.wav' -newer "$E2E_TMP/tone.wav" | tr '\n' ' '))"
        return 1
    fi
    cp "$dir/sound take.wav" "$E2E_OUT/sound-take.wav"
    sox "$dir/sound take.wav" -n stat 2>"$E2E_OUT/sound.stat"
    local len rms freq want most
    len=$(awk -F: '/^Length/ {print $2+0}' "$E2E_OUT/sound.stat")
    rms=$(awk -F: '/^RMS +amplitude/ {print $2+0}' "$E2E_OUT/sound.stat")
    freq=$(awk -F: '/^Rough +frequency/ {print $2+0}' "$E2E_OUT/sound.stat")
    want=$(awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.2f", b - a }')
    # The sound cannot have run longer than from the click on Record to the end of Stop (the
    # first caption may be seen late on a busy machine: each look is a program start).
    most=$(awk -v a="$clicked" -v b="$stop" 'BEGIN { printf "%.2f", b - a }')
    if awk -v l="$len" -v w="$want" -v m="$most" -v r="$rms" -v f="$freq" \
        'BEGIN { exit !(l >= w - 0.7 && l <= m + 0.2 && r > 0.1 && f > 900 && f < 1100) }'; then
        e2e_pass "WAV saved as \"$wave_win\": $len s of the tone (recorded for about $want s, at most $most s), RMS $rms, about $freq Hz"
    else
        e2e_fail "WAV name with a space holds the sound" "length $len s (about $want s wanted, at most $most s), RMS $rms, frequency $freq"
    fi
    if [ -e "$work/take.wav" ]; then
        e2e_fail "nothing saved beside" "a take.wav in the current folder"
    else
        e2e_pass "no stray take.wav in the current folder"
    fi
    if [ "$c" = "Sound record" ]; then
        e2e_pass "caption after Stop with sound: \"Sound record\""
    else
        e2e_fail "caption after Stop with sound" "\"$c\""
    fi
}

if start_program; then
    enter_check
    wav_check
    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_log "quillet.exe did not end after WM_CLOSE"
else
    e2e_fail "program" "no main window"
fi
e2e_finish
