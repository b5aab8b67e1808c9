#!/usr/bin/env bash
# The whole program under Wine on a virtual display, driven as a user would, with what it writes
# checked by independent tools: FFmpeg decodes the AVI files (size, rate, frames compared with the
# moving picture), sox measures the WAV files, ImageMagick reads screenshots.
#
# A moving picture (tests/e2e/programs/movingpic.cpp) is shown at (24, 40). Its whole box
# changes with every picture, so Record finds it as left 24, top 40, right 24 + W - 1,
# bottom 40 + H - 1 and records (W - 1) x (H - 1 + service fix) pixels.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/common.sh"
. "$here/avi.sh"
e2e_init app
export E2E_WINE_TIMEOUT=20
started=$(date +%s)

PIC_X=24 PIC_Y=40 STEP=40
work=$E2E_OUT/work # Quillet's current folder: "test.avi" and "test.wav" land here
mkdir -p "$work"
cd "$work" || exit 1

if [ ! -f "$E2E_WIN_BUILD/quillet.exe" ] || [ ! -f "$E2E_WIN_BUILD/drive.exe" ] ||
    [ ! -f "$E2E_WIN_BUILD/movingpic.exe" ]; then
    e2e_fail "build" "quillet.exe, drive.exe or movingpic.exe missing in ${E2E_WIN_BUILD}"
    e2e_finish
    exit 1
fi
e2e_start_xvfb || { e2e_fail "display" "Xvfb did not start"; exit 1; }
e2e_start_pulse || e2e_log "no PulseAudio: the sound checks will fail"
if ! e2e_warm_wine 2>>"$E2E_OUT/suite.log"; then
    e2e_fail "Wine desktop" "$(tail -1 "$E2E_OUT/suite.log")"
    e2e_finish
    exit 1
fi
# The default compressor 'MSVC' is ours; Wine has only a decoder for it. Registering runs Wine:
# only now, so that a Wine server it starts meets our display (a server keeps the first one).
if [ -f "$E2E_WIN_BUILD/codec/msvc32.dll" ]; then
    bash "$E2E_ROOT/scripts/register-codec.sh" "$E2E_WIN_BUILD/codec/msvc32.dll" >>"$E2E_OUT/suite.log" 2>&1 ||
        e2e_log "codec registration failed"
fi
sox -n -r 22050 -c 1 -b 16 "$E2E_TMP/tone.wav" synth 400 sine 1000 vol 0.5

# --- the program and the picture ---

QUILLET_PID='' MAIN='' PIC_PID='' PIC_H=''
start_quillet() {
    e2e_bg quillet "$E2E_WIN_BUILD/quillet.exe"
    QUILLET_PID=$E2E_BG_PID
    unset DRIVE_PID
    MAIN=$(e2e_window_of "$QUILLET_PID" "Quillet 1.542" 30) || return 1
    DRIVE_PID=$(drive pid "@$MAIN") || return 1
    export DRIVE_PID
}

# The Options dialog's edit boxes, counted in screen order, found by their start-up texts. The
# dialog may get its window only when first shown: open it once and cancel (Cancel writes
# nothing back).
EDIT_FILE='' EDIT_WAVE=''
find_boxes() {
    local i t
    EDIT_FILE='' EDIT_WAVE=''
    drive post-click "@$MAIN" Options >/dev/null
    drive wait-window Options 10000 >/dev/null || return 1
    for i in 0 1 2 3 4; do
        t=$(drive get-edit Options $i) || break
        [ "$t" = test.avi ] && EDIT_FILE=$i
        [ "$t" = test.wav ] && EDIT_WAVE=$i
    done
    drive click Options Cancel >/dev/null
    drive wait-gone Options 5000 >/dev/null
    [ -n "$EDIT_FILE" ] && [ -n "$EDIT_WAVE" ]
}

picture() { # W H: show the moving picture of that size in place of the current one
    [ -n "$PIC_PID" ] && e2e_stop "$PIC_PID" 2
    e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show $PIC_X $PIC_Y "$1" "$2" $STEP
    PIC_PID=$E2E_BG_PID PIC_H=$2
    local i
    for i in $(seq 50); do
        xdotool search --onlyvisible --pid "$PIC_PID" >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 0.5
}

# A mouse click in the middle of a main-window button, as a user would.
click() {
    local l t r b
    read -r l t r b < <(drive rect "@$MAIN" "$1") || return 1
    [ -n "$b" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

caption() { drive caption "@$MAIN"; }

# Waits until the caption shows a progress text other than the one it had before.
wait_progress() { # old-caption [seconds]
    local i c
    for i in $(seq $((${2:-8} * 10))); do
        c=$(caption) || return 1
        if [[ $c =~ ^ms/Frame:\ [0-9]+[.,][0-9]{2},\ FrameNr:\ [0-9]+,\ Skipped\ Frames:\ [0-9]+$ ]] &&
            [ "$c" != "$1" ]; then
            PROGRESS=$c
            return 0
        fi
        sleep 0.1
    done
    PROGRESS=$c
    return 1
}

# One recording: Record (area detection) or Record Again, a few seconds, Stop; the AVI complete.
record() { # Record|"Record Again" seconds [file]
    local how=$1 secs=$2 f=${3:-test.avi} before
    before=$(caption)
    REC_START=$(date +%s.%N)
    if [ "$how" = Record ]; then click Record; else drive click "@$MAIN" "$how" >/dev/null; fi || {
        WHY="could not click $how"
        return 1
    }
    if ! wait_progress "$before" 8; then
        e2e_shot "$E2E_OUT/no-progress-$(date +%H%M%S).png"
        WHY="no progress caption after $how (caption \"$PROGRESS\"; dialogs: $(drive dialogs | tr '\n' ' '))"
        click Stop
        return 1
    fi
    sleep "$secs"
    click Stop || { WHY="could not click Stop"; return 1; }
    REC_STOP=$(date +%s.%N)
    avi_wait "$f" 10 || { WHY="$f not complete 10 s after Stop"; return 1; }
    sleep 0.3 # the marker is hidden after the file is closed; let it go before the next Record
}

# Dismisses message boxes of the program; prints their texts.
dismiss_boxes() {
    local line h
    drive dialogs | while read -r line; do
        echo "$line"
        h=${line%% *}
        drive click "@$h" OK >/dev/null 2>&1 || drive click "@$h" No >/dev/null 2>&1 ||
            drive close "@$h" >/dev/null 2>&1
    done
}

# After a failed check: no box left open, nothing recording, the program still there.
recover() {
    if ! e2e_alive "$QUILLET_PID" || ! drive caption "@$MAIN" >/dev/null; then
        e2e_log "Quillet is gone or does not answer; starting it again"
        e2e_stop "$QUILLET_PID" 2
        e2e_stop_debugger
        if start_quillet && find_boxes; then
            drive click "@$MAIN" Stop >/dev/null # enables Record Again
        else
            e2e_log "Quillet did not start again"
        fi
        return
    fi
    dismiss_boxes >>"$E2E_OUT/suite.log"
    if drive wait-window Options 10 >/dev/null 2>&1; then
        drive click Options Cancel >/dev/null 2>&1
    fi
    drive click "@$MAIN" Stop >/dev/null 2>&1
    sleep 1
    dismiss_boxes >>"$E2E_OUT/suite.log"
}

# QUILLET_E2E_ONLY="check_sound check_no_sound" runs only those groups (after start-up).
run() { # check-function: runs one group of checks; a failure inside does not stop the suite
    if [ -n "${QUILLET_E2E_ONLY:-}" ] && [ "$1" != check_startup ] &&
        [[ " $QUILLET_E2E_ONLY " != *" $1 "* ]]; then
        return 0
    fi
    e2e_log "--- $1"
    if [ -n "$MAIN" ] && ! drive caption "@$MAIN" >/dev/null; then recover; fi
    "$1" || recover
}

set_file() { drive set-edit Options "$EDIT_FILE" "$1" >/dev/null; }
set_wave() { drive set-edit Options "$EDIT_WAVE" "$1" >/dev/null; }

# --- the checks ---

check_startup() {
    if ! start_quillet; then
        e2e_shot "$E2E_OUT/start-up-failed.png"
        drive windows all >"$E2E_OUT/start-up-windows.txt" 2>&1
        e2e_fail "start-up" "no visible window \"Quillet 1.542\" of quillet.exe within 30 s (see ${E2E_OUT#$E2E_ROOT/}/quillet.log)"
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

check_first_recording() {
    picture 257 193
    local before
    before=$(caption)
    click Record || { e2e_fail "record by a click" "no Record button"; return 1; }
    if wait_progress "$before" 8; then
        e2e_pass "record by a click: caption shows \"$PROGRESS\""
    else
        e2e_fail "record by a click" "no progress caption within 8 s (caption \"$PROGRESS\")"
        return 1
    fi
    sleep 1.5
    e2e_shot "$E2E_OUT/screen-recording.png"
    local later
    later=$(caption)
    local n1=${PROGRESS#*FrameNr: } n2=${later#*FrameNr: }
    n1=${n1%%,*} n2=${n2%%,*}
    if [[ $n2 =~ ^[0-9]+$ ]] && [ "$n2" -gt "$n1" ]; then
        e2e_pass "progress caption counts frames (FrameNr $n1 -> $n2)"
    else
        e2e_fail "progress caption counts frames" "\"$PROGRESS\" then \"$later\""
    fi
    # The marker's top-left bracket lies 8 px outside the area: its corner pixel is green or
    # pale yellow while recording.
    local px
    px=$(e2e_pixel "$E2E_OUT/screen-recording.png" $((PIC_X - 6)) $((PIC_Y - 6)))
    case $px in
    0,255,80 | 255,255,180) e2e_pass "marker brackets shown around the area ($px)" ;;
    *) e2e_fail "marker brackets shown around the area" "pixel ($((PIC_X - 6)),$((PIC_Y - 6))) is $px" ;;
    esac
    sleep 1
    click Stop
    if ! avi_wait test.avi 10; then
        e2e_fail "AVI written" "test.avi not complete 10 s after Stop"
        return 1
    fi
    cp test.avi "$E2E_OUT/first.avi"
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "$w" = 256 ] && [ "$h" = 192 ] && [ "$rate" = 10/1 ]; then
        e2e_pass "AVI of the detected area: $info (256x192 at 10/1)"
    else
        e2e_fail "AVI of the detected area" "ffprobe: $info (want 256 192 10/1)"
    fi
    if avi_pictures test.avi 257 193 100 $STEP first; then
        e2e_pass "AVI frames show the moving picture at their capture times ($AVI_WHY)"
    else
        e2e_fail "AVI frames show the moving picture at their capture times" "$AVI_WHY"
    fi
    sleep 0.5
    e2e_shot "$E2E_OUT/screen-stopped.png"
    px=$(e2e_pixel "$E2E_OUT/screen-stopped.png" $((PIC_X - 6)) $((PIC_Y - 6)))
    case $px in
    0,255,80 | 255,255,180) e2e_fail "marker hidden after Stop" "bracket pixel still $px" ;;
    *) e2e_pass "marker hidden after Stop" ;;
    esac
    local again
    again=$(drive enabled "@$MAIN" "Record Again")
    [ "$again" = 1 ] && e2e_pass "Record Again enabled after Stop" ||
        e2e_fail "Record Again enabled after Stop" "enabled=$again"
}

check_record_again() {
    # The area found by the last Record is kept, even when the picture has changed size since.
    picture 261 197
    if ! record "Record Again" 2; then
        e2e_fail "Record Again records the last area" "$WHY"
        return 1
    fi
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "$w" = 256 ] && [ "$h" = 192 ] && avi_pictures test.avi 261 197 100 $STEP again; then
        e2e_pass "Record Again records the last area: $info, $AVI_WHY"
    else
        e2e_fail "Record Again records the last area" "ffprobe: $info (want 256x192); ${AVI_WHY:-}"
    fi
}

# Without a compressor chosen in Options nothing aligns the size, and the default 'MSVC'
# compressor takes only multiples of 4: 256 x 194 cannot be written.
# Record Again while a recording runs: the recorder ignores the start, the recording goes on
# into the same file, from the same start time.
check_record_again_while_recording() {
    [ "$PIC_H" = 193 ] || picture 257 193
    local before
    before=$(caption)
    drive click "@$MAIN" "Record Again" >/dev/null
    if ! wait_progress "$before" 8; then
        e2e_fail "Record Again while recording" "no progress caption (\"$PROGRESS\")"
        return 1
    fi
    sleep 1
    drive click "@$MAIN" "Record Again" >/dev/null
    sleep 1.5
    click Stop
    if ! avi_wait test.avi 10; then
        e2e_fail "Record Again while recording" "test.avi not complete after Stop"
        return 1
    fi
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "${packets:-0}" -ge 22 ] && avi_pictures test.avi 257 193 100 $STEP twice; then
        e2e_pass "Record Again while recording changes nothing: one recording of $packets frames ($AVI_WHY)"
    else
        e2e_fail "Record Again while recording" "ffprobe: $info (want at least 22 frames: one run of about 3 s); ${AVI_WHY:-}"
    fi
}

check_about() {
    drive post-click "@$MAIN" About >/dev/null
    local box
    if box=$(drive wait-window About 5000); then
        local text
        text=$(drive dialogs | grep "^$box " | cut -d' ' -f3-)
        drive click "@$box" OK >/dev/null
        if [ -n "$text" ] && drive wait-gone "@$box" 3000 >/dev/null; then
            e2e_pass "About shows a box titled \"About\": $text"
        else
            e2e_fail "About" "box without text or it does not close with OK"
        fi
    else
        e2e_fail "About" "no window titled \"About\" within 5 s"
    fi
}

check_unaligned_size() {
    # 256 x 194 is not a size the Video 1 compressor takes: with no compressor chosen the
    # recorder asks the one in use and grows the area to 256 x 196.
    picture 257 195
    if ! record Record 2; then
        e2e_fail "256x194 area with the default compressor" "$WHY; dialogs: $(drive dialogs | tr '\n' ' ')"
        return 1
    fi
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "$w" = 256 ] && [ "$h" = 196 ] && [ "${packets:-0}" -gt 0 ]; then
        e2e_pass "256x194 area with the default compressor recorded aligned to 256x196 ($info)"
    else
        e2e_fail "256x194 area with the default compressor aligned to 256x196" "ffprobe: $info"
    fi
}

check_service_fix() { # index item picture_h expected_h
    local idx=$1 item=$2 ph=$3 want=$4
    picture 257 "$ph"
    drive select-combo "@$MAIN" "$idx" >/dev/null
    if ! record Record 2; then
        e2e_fail "service fix $item" "$WHY"
        return 1
    fi
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "$w" = 256 ] && [ "$h" = "$want" ] && avi_pictures test.avi 257 "$ph" 100 $STEP "fix$idx"; then
        e2e_pass "service fix $item: area 256x$((ph - 1)) recorded as $w x $h, frames match"
    else
        e2e_fail "service fix $item" "ffprobe: $info (want 256 x $want); ${AVI_WHY:-}"
    fi
}

check_service_fixes() {
    check_service_fix 1 VLC 195 180
    check_service_fix 2 Youtube 197 176
    drive select-combo "@$MAIN" 0 >/dev/null
    picture 257 193
    record Record 1 || { e2e_fail "service fix Standar Cam again" "$WHY"; return 1; }
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    [ "$h" = 192 ] && e2e_pass "service fix Standar Cam again: height back to 192" ||
        e2e_fail "service fix Standar Cam again" "ffprobe: $info"
}

check_sound() {
    [ "$PIC_H" = 193 ] || picture 257 193
    if [ "$(drive enabled "@$MAIN" "Record Again")" != 1 ]; then
        record Record 1 || { e2e_fail "sound recording" "$WHY"; return 1; }
    fi
    rm -f test.wav
    if ! drive check "@$MAIN" "wave recorder (sound)" >/dev/null; then
        e2e_fail "sound recording" "cannot tick \"wave recorder (sound)\""
        return 1
    fi
    e2e_microphone "$E2E_TMP/tone.wav"
    record "Record Again" 3 || { e2e_fail "sound recording" "$WHY"; e2e_stop "$E2E_MIC_PID"; return 1; }
    local cap
    cap=$(caption)
    [ "$cap" = "Sound record" ] && e2e_pass "caption after Stop with sound: \"Sound record\"" ||
        e2e_fail "caption after Stop with sound" "\"$cap\""
    if [ ! -s test.wav ]; then
        e2e_fail "WAV recorded" "no test.wav written"
    else
        cp test.wav "$E2E_OUT/sound.wav"
        sox test.wav -n stat 2>"$E2E_OUT/sound.stat"
        local len rms freq rate want
        len=$(awk -F: '/^Length/ {print $2+0}' "$E2E_OUT/sound.stat")
        rms=$(awk -F: '/^RMS +amplitude/ {print $2+0}' "$E2E_OUT/sound.stat")
        freq=$(awk -F: '/^Rough +frequency/ {print $2+0}' "$E2E_OUT/sound.stat")
        rate=$(soxi -r test.wav 2>/dev/null)
        want=$(awk -v a="$REC_START" -v b="$REC_STOP" 'BEGIN { printf "%.2f", b - a }')
        if awk -v l="$len" -v w="$want" -v r="$rms" -v f="$freq" \
            'BEGIN { exit !(l >= w - 0.7 && l <= w + 0.7 && r > 0.1 && f > 900 && f < 1100) }'; then
            e2e_pass "WAV of the tone: $len s (recorded for about $want s), RMS $rms, about $freq Hz, $rate samples/s"
        else
            e2e_fail "WAV of the tone" "length $len s (recorded for about $want s, tolerance 0.7 s), RMS $rms (want > 0.1), frequency $freq (want about 1000), $rate samples/s"
        fi
    fi
    # Closing the sound device right after stopping it must not bring the program down; the
    # danger lies in the moments after the Stop, so a few more short ones.
    local k survived=0 tries=3
    for k in $(seq $tries); do
        [ "$k" -gt 1 ] && { record "Record Again" 1 || break; }
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
}

check_no_sound() {
    [ "$PIC_H" = 193 ] || picture 257 193
    # Unticked: no sound steps at all.
    drive uncheck "@$MAIN" "wave recorder (sound)" >/dev/null
    rm -f test.wav
    record Record 1 || { e2e_fail "no WAV without the sound box" "$WHY"; return 1; }
    local cap
    cap=$(caption)
    if [ ! -e test.wav ] && [[ $cap == ms/Frame:* ]]; then
        e2e_pass "no WAV without the sound box; caption keeps the progress text"
    else
        e2e_fail "no WAV without the sound box" "test.wav exists: $([ -e test.wav ] && echo yes || echo no), caption \"$cap\""
    fi
}

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
    e2e_shot "$E2E_OUT/playing.png"
    sleep 0.4
    e2e_shot "$E2E_OUT/playing2.png"
    local share moving
    share=$(navy_share "$E2E_OUT/playing.png" "$l" "$t" "$r" "$b")
    moving=$(compare -metric AE -crop "$((r - l))x$((b - t))+$l+$t" "$E2E_OUT/playing.png" \
        "$E2E_OUT/playing2.png" /dev/null 2>&1)
    if awk -v s="$share" 'BEGIN { exit !(s > 0.3) }' && [ "${moving%% *}" != 0 ]; then
        e2e_pass "Play Avi shows the video scaled into the panel ($l,$t)-($r,$b): ${share} of it navy, $moving pixels change in 0.4 s"
    else
        e2e_fail "Play Avi shows the video in the panel" "panel ($l,$t)-($r,$b) is ${share} navy (want > 0.3), $moving pixels changed in 0.4 s (see playing.png)"
    fi
    # The recording lasts about 4 s: without the Stop the video would still be moving here. The
    # panel may keep showing the last frame drawn.
    click Stop
    sleep 0.5
    e2e_shot "$E2E_OUT/after-play-stop.png"
    sleep 0.6
    e2e_shot "$E2E_OUT/after-play-stop2.png"
    moving=$(compare -metric AE -crop "$((r - l))x$((b - t))+$l+$t" "$E2E_OUT/after-play-stop.png" \
        "$E2E_OUT/after-play-stop2.png" /dev/null 2>&1)
    if [ "${moving%% *}" = 0 ]; then
        e2e_pass "Stop during playback ends it (the panel stands still)"
    else
        e2e_fail "Stop during playback ends it" "$moving pixels of the panel changed in 0.6 s after Stop (see after-play-stop.png)"
    fi
}

check_play_missing() {
    set_file missing.avi
    rm -f missing.avi
    drive post-click "@$MAIN" "Play Avi" >/dev/null
    local i boxes=
    for i in $(seq 50); do
        boxes=$(drive dialogs)
        [ -n "$boxes" ] && break
        sleep 0.1
    done
    if [ -n "$boxes" ]; then
        dismiss_boxes >/dev/null
        sleep 0.3
        if caption >/dev/null && [ -z "$(drive dialogs)" ]; then
            e2e_pass "Play Avi with a missing file shows an error box and the program goes on: $(echo "$boxes" | head -1 | cut -d' ' -f2-)"
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
    local box
    if box=$(drive find-text "Error Creating AVI file" 10000); then
        drive click "@${box%% *}" OK >/dev/null
        click Stop
        sleep 0.3
        if caption >/dev/null && [ -z "$(drive dialogs)" ]; then
            e2e_pass "AVI name in a missing folder: \"Error Creating AVI file\", and the program goes on"
        else
            e2e_fail "AVI name in a missing folder" "the program does not answer after the error box"
        fi
    else
        e2e_fail "AVI name in a missing folder" "no \"Error Creating AVI file\" box within 10 s; dialogs: $(drive dialogs | tr '\n' ' ')"
        click Stop
    fi
    set_file test.avi
}

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
    if ! record Record 3; then
        e2e_fail "Options take effect in the next recording" "$WHY"
        return 1
    fi
    local info
    info=$(avi_info test.avi)
    read -r _ w h rate packets <<<"$info"
    if [ "$rate" = 25/1 ] && avi_pictures test.avi 257 193 200 $STEP options; then
        e2e_pass "Options take effect in the next recording: $info, 200 ms a frame ($AVI_WHY)"
    else
        e2e_fail "Options take effect in the next recording" "ffprobe: $info (want rate 25/1); ${AVI_WHY:-}"
    fi
    # OK also chose the compressor the list showed: sizes are now aligned for it.
    local chosen
    chosen=$(grep -i 'combobox' "$E2E_OUT/options-controls-set.txt" | head -1)
    picture 257 195
    if record Record 2; then
        info=$(avi_info test.avi)
        read -r _ w h rate packets <<<"$info"
        if [ "$w" = 256 ] && [ "$h" = 196 ]; then
            e2e_pass "a compressor chosen in Options aligns 256x194 to 256x196 ($info)"
        else
            e2e_fail "a compressor chosen in Options aligns 256x194 to 256x196" "ffprobe: $info; list: $chosen"
        fi
    else
        e2e_fail "a compressor chosen in Options aligns 256x194 to 256x196" "$WHY; dialogs: $(drive dialogs | tr '\n' ' '); list: $chosen"
    fi
}

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
        e2e_fail "100 Record Again/Stop cycles" "${hang:-Quillet ended} after $made cycles in $secs s; dialogs: $(drive dialogs | tr '\n' ' ')"
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
    local c1 c2
    c1=$(caption)
    sleep 1.2
    c2=$(caption)
    e2e_shot "$E2E_OUT/after-cycles.png"
    local px
    px=$(e2e_pixel "$E2E_OUT/after-cycles.png" $((PIC_X - 6)) $((PIC_Y - 6)))
    if [ "$c1" = "$c2" ] && [ -z "$(drive dialogs)" ] && [ "$px" != 0,255,80 ] && [ "$px" != 255,255,180 ]; then
        e2e_pass "recorder idle after the cycles (caption still, marker hidden, no box)"
    else
        e2e_fail "recorder idle after the cycles" "caption \"$c1\" then \"$c2\", marker pixel $px, dialogs: $(drive dialogs | tr '\n' ' ')"
    fi
}

check_close_while_recording() {
    picture 257 193
    rm -f test.avi
    local before
    before=$(caption)
    drive click "@$MAIN" "Record Again" >/dev/null
    wait_progress "$before" 8
    sleep 2
    drive close "@$MAIN" >/dev/null
    if e2e_wait_exit "$QUILLET_PID" 15; then
        if avi_wait test.avi 3 && avi_decodes test.avi; then
            e2e_pass "closing the window while recording ends the program and leaves a playable AVI ($(avi_info test.avi))"
        else
            e2e_fail "closing the window while recording" "test.avi incomplete: $(avi_info test.avi)"
        fi
    else
        e2e_fail "closing the window while recording" "quillet.exe still running 15 s after WM_CLOSE"
    fi
}

run check_startup
if [ -z "$MAIN" ]; then
    e2e_finish
    exit 1
fi
run check_first_recording
run check_record_again
run check_record_again_while_recording
run check_about
run check_unaligned_size
run check_service_fixes
run check_sound
run check_no_sound
run check_playback
run check_play_missing
run check_bad_folder
run check_options
run check_reliability
run check_close_while_recording
e2e_log "suite took $(($(date +%s) - started)) s"
echo "app: suite took $(($(date +%s) - started)) s"
e2e_finish
