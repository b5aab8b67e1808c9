#!/usr/bin/env bash
# A recording survives its process being killed: Quillet records the moving picture with its
# default settings and is killed with kill -9 at a random moment 1-10 s in. The next start
# repairs the file and says so in one "Notice" box; FFmpeg then decodes every frame of it, the
# frames reach at least as far as the progress caption counted 1 s before the kill, and every
# frame shows the moving picture at the position its capture time calls for.
#
# The same for a recording killed after it went on into a second file, for recordings whose
# AVI lost its tail after the kill (cut off, or read as zeros: the file's length reached the disk,
# its last data did not), which are recovered up to the damage, and for two Quillets recording
# at once and killed together, both recovered at the next start; and for a recording with the
# sound box ticked, whose sound chunks lie between the frames: its repaired file holds both
# streams, FFmpeg decodes both whole, and they last as long as each other within 0.6 s (a block
# of sound and a frame).
#
# QUILLET_RECOVERY_KILLS sets the number of killed recordings (10 by default).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib/common.sh"
# The positions are checked exactly against the killed file; the pictures' timing also carries
# the capture's own jitter, and a pass grabbed late on a loaded machine (the first ones of a
# recording, mostly) shows a later picture than its position.
AVI_TIMING_TOLERANCE=${AVI_TIMING_TOLERANCE:-500}
. "$here/../lib/avi.sh"
. "$here/killed.sh"
e2e_begin_desktop recovery quillet.exe drive.exe movingpic.exe split_record.exe
e2e_start_pulse || e2e_log "no PulseAudio: the recording with sound records none"
e2e_register_codec
export E2E_WINE_TIMEOUT=20
KILLS=${QUILLET_RECOVERY_KILLS:-10}

PIC_X=24 PIC_Y=40 PIC_W=257 PIC_H=193 STEP=40 MSPF=100
work=$E2E_OUT/work # Quillet's current folder: "test.avi" lands here
mkdir -p "$work"
cd "$work" || exit 1

e2e_show_picture $PIC_X $PIC_Y $PIC_W $PIC_H $STEP ||
    e2e_abort "moving picture" "movingpic shows no window"

# Wine now and then loses a program started right after another was killed: twice then.
start_quillet() { e2e_start_quillet . 2; }

# The next start of Quillet (in the folder given, or here) and its Notice, logged as "what
# notice: ..."; false, with the failure said, when there is no window or no Notice.
next_start_notice() { # what [folder]
    e2e_start_quillet "${2:-.}" 2 || { e2e_fail "$1: next start" "no main window"; return 1; }
    if ! take_notice; then
        e2e_fail "$1: notice at the next start" "no Notice box"
        e2e_stop "$QUILLET_PID" 2
        return 1
    fi
    e2e_log "$1 notice: $NOTICE"
}

frame_nr() { # the FrameNr of the progress caption, or nothing
    local c
    c=$(drive caption "@$MAIN") || return 1
    [[ $c =~ FrameNr:\ ([0-9]+), ]] && echo "${BASH_REMATCH[1]}"
}

# One recording killed after the given number of tenths of a second, its tail damaged when
# asked, with the sound box ticked when asked; then the next start.
killed_recording() { # n tenths [cut|zeroed|''] [sound]
    local n=$1 tenths=$2 damage=${3:-} sound=${4:-} last_nr='' nr t0 elapsed
    rm -f test.avi test.avi.journal
    start_quillet || { e2e_fail "kill $n: start" "no main window"; return 1; }
    if [ -n "$sound" ]; then
        drive check "@$MAIN" "wave recorder (sound)" >/dev/null ||
            { e2e_fail "kill $n: sound box" "cannot tick it"; return 1; }
    fi
    e2e_click "@$MAIN" Record || { e2e_fail "kill $n: record" "no Record button"; return 1; }
    # The run counts from its first frame: wait for the journal that comes with it.
    e2e_wait 8 test -s test.avi.journal
    t0=$(date +%s%N)
    # A second Quillet started meanwhile leaves the file being recorded alone.
    if [ "$n" = 1 ]; then
        e2e_bg second "$E2E_WIN_BUILD/quillet.exe"
        local second=$E2E_BG_PID
        e2e_window_of "$second" "Quillet 1.542" 30 >/dev/null
        sleep 1
        if DRIVE_PID='' drive dialogs | grep -q '"Notice"' || [ ! -s test.avi.journal ] ||
            [ -n "$(avi_info test.avi)" ]; then
            e2e_fail "kill $n: a second Quillet leaves the recording alone" "$(DRIVE_PID='' drive dialogs | tr '\n' ' ')"
        else
            e2e_pass "kill $n: a second Quillet leaves the recording alone"
        fi
        e2e_stop "$second" 2
    fi
    # The caption's FrameNr, read until 1 s before the kill.
    while :; do
        elapsed=$((($(date +%s%N) - t0) / 100000000))
        [ "$elapsed" -ge $((tenths - 10)) ] && break
        nr=$(frame_nr) && [ -n "$nr" ] && last_nr=$nr
        sleep 0.2
    done
    while [ $((($(date +%s%N) - t0) / 100000000)) -lt "$tenths" ]; do sleep 0.05; done
    e2e_kill "$QUILLET_PID"
    e2e_wait_exit "$QUILLET_PID" 5
    local size
    size=$(stat -c %s test.avi 2>/dev/null || echo 0)
    [ -n "$damage" ] && damage_tail test.avi "$damage"
    cp test.avi "$E2E_OUT/killed-$n.avi" 2>/dev/null
    e2e_log "kill $n after $tenths/10 s: caption FrameNr ${last_nr:-none} 1 s before; $size bytes left${damage:+, the last quarter $damage}"
    if [ -n "$sound" ]; then
        if grep -q 01wb test.avi; then
            e2e_pass "kill $n: the killed file holds sound chunks between its frames"
        else
            e2e_fail "kill $n: the killed file holds sound chunks between its frames" "no 01wb chunk"
        fi
    fi
    if [ -n "$(avi_info test.avi)" ]; then
        e2e_fail "kill $n: the killed file is damaged" "FFmpeg reads it before any repair"
    fi

    # The next start runs in another folder: the list names the file by its full path.
    next_start_notice "kill $n" "$E2E_TMP" || return 1
    cp test.avi "$E2E_OUT/recovered-$n.avi"
    local frames
    frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 test.avi 2>/dev/null)
    if [[ $NOTICE == *"$(winepath -w "$work/test.avi" 2>/dev/null): "*" frames, "*" seconds"* ]] &&
        [ -f test.avi ] && [ ! -e test.avi.journal ]; then
        e2e_pass "kill $n after $tenths/10 s: recovered ($NOTICE)"
    else
        e2e_fail "kill $n: recovered" "notice \"$NOTICE\"; journal left: $([ -e test.avi.journal ] && echo yes || echo no)"
    fi
    if avi_decodes test.avi; then
        e2e_pass "kill $n: FFmpeg decodes every frame ($frames positions)"
    else
        e2e_fail "kill $n: FFmpeg decodes every frame" "$(ffmpeg -nostdin -v error -i test.avi -f null - 2>&1 | head -2)"
    fi
    if [ -n "$sound" ]; then
        # The sound's length as its header says (samples / rate) and as FFmpeg decodes it.
        local streams errs video audio said
        streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 test.avi | tr '\n' ' ')
        errs=$(ffmpeg -nostdin -v error -i test.avi -map 0:v -map 0:a -f null - 2>&1) || errs+=" (failed)"
        video=$(stream_end test.avi v) audio=$(stream_end test.avi a)
        said=$(ffprobe -v error -select_streams a:0 -show_entries stream=nb_frames,sample_rate \
            -of csv=p=0 test.avi | awk -F, '{ print $2 / $1 }')
        if [ "$streams" = "video audio " ] && [ -z "$errs" ] && awk -v v="$video" -v a="$audio" \
            -v h="${said:-0}" 'BEGIN { exit !(a > 0 && (v - a) ^ 2 <= 0.36 && (h - a) ^ 2 <= 0.0025) }'; then
            e2e_pass "kill $n: both streams recovered, decoded whole and in step (frames $video s, sound $audio s, its header $said s)"
        else
            e2e_fail "kill $n: both streams recovered, decoded whole and in step" "streams: $streams; FFmpeg: ${errs:-no error}; frames $video s, sound $audio s, its header ${said:-none} s (want all within 0.6 s, the sound's within 0.05 s)"
        fi
    fi
    local last
    last=$(avi_positions test.avi | tail -1)
    # The position due 1 s before the kill, counted from the journal's appearance (which comes
    # just before the first frame; polled, so up to a position late), and the caption's count.
    local due=$(((tenths - 10) * 100 / MSPF - 1))
    [ -n "$last_nr" ] && [ "$last_nr" -gt "$due" ] && due=$last_nr
    # A damaged tail takes the frames in it: those before it are checked below.
    [ -n "$damage" ] && due=0
    if [ -n "$last" ] && [ "$last" -ge "$due" ]; then
        e2e_pass "kill $n: frames up to position $last, position $due was due 1 s before the kill (caption FrameNr ${last_nr:-none})"
    else
        e2e_fail "kill $n: frames up to 1 s before the kill" "last position ${last:-none}, position $due due 1 s before (caption FrameNr ${last_nr:-none})"
    fi
    if same_positions "$E2E_OUT/killed-$n.avi" test.avi; then
        e2e_pass "kill $n: every frame${damage:+ before the damage} at the position the killed file gave it"
    else
        e2e_fail "kill $n: every frame at the position the killed file gave it" \
            "killed: $(positions_in_killed "$E2E_OUT/killed-$n.avi" | tr '\n' ' '); recovered: $(avi_positions test.avi | tr '\n' ' ')"
    fi
    local why
    if why=$(avi_pictures test.avi $PIC_W $PIC_H $MSPF $STEP "kill-$n"); then
        e2e_pass "kill $n: frames show the moving picture at their positions ($why)"
    else
        e2e_fail "kill $n: frames show the moving picture at their positions" "$why"
    fi
    # Nothing repaired twice: the next start says nothing.
    if [ "$n" = 1 ]; then
        e2e_stop "$QUILLET_PID" 2
        start_quillet
        sleep 2
        if drive dialogs | grep -q '"Notice"'; then
            e2e_fail "kill $n: nothing repaired twice" "a Notice box at the start after the repair"
            take_notice
        else
            e2e_pass "kill $n: nothing repaired twice (no notice at the following start)"
        fi
    fi
    e2e_stop "$QUILLET_PID" 2
}

# A recording killed after it went on into a second file: split_record records with the default
# compressor and interval under a lowered size limit. The files before the last were closed whole
# (nothing to repair); the next start of Quillet repairs the last. The run bounds a file by what
# the frames so far took plus twice the raw size of the next one.
SPLIT_LIMIT=1000000
killed_split() {
    local tenths=$1 second='split (2).avi' t0 f open='' closed=()
    rm -f split*.avi*
    e2e_bg split_record "$E2E_WIN_BUILD/split_record.exe" MSVC split.avi $PIC_X $PIC_Y \
        $((PIC_W - 1)) $((PIC_H - 1)) 100 10 60 $SPLIT_LIMIT
    local rec=$E2E_BG_PID
    if ! e2e_wait 30 test -s "$second.journal"; then
        e2e_fail "split kill: the recording went on into a second file" "no journal of \"$second\" within 30 s ($(ls split* | tr '\n' ' '))"
        e2e_stop "$rec" 2
        return 1
    fi
    # When each file began: its journal comes with its first frame.
    local -A began=()
    t0=$(date +%s%N)
    began[$second]=$t0
    while [ $((($(date +%s%N) - t0) / 100000000)) -lt "$tenths" ]; do
        for f in split*.avi.journal; do
            [ -e "$f" ] && [ -z "${began[${f%.journal}]:-}" ] && began[${f%.journal}]=$(date +%s%N)
        done
        sleep 0.05
    done
    local killed
    killed=$(date +%s%N)
    e2e_kill "$rec"
    e2e_wait_exit "$rec" 5
    for f in split*.avi; do
        if [ -e "$f.journal" ]; then open=$f; else closed+=("$f"); fi
    done
    e2e_log "split kill $tenths/10 s after the second file began: open \"$open\", closed ${#closed[@]}"
    [ -n "$open" ] && cp "$open" "$E2E_OUT/killed-split.avi"
    local bad=''
    for f in "${closed[@]}"; do avi_decodes "$f" || bad+=" $f"; done
    if [ -n "$open" ] && [ ${#closed[@]} -ge 1 ] && [ -z "$bad" ]; then
        e2e_pass "split kill: ${#closed[@]} file(s) closed whole before \"$open\""
    else
        e2e_fail "split kill: the files before the last closed whole" "open \"$open\", not decoding:$bad"
        return 1
    fi
    next_start_notice "split kill" || return 1
    cp "$open" "$E2E_OUT/recovered-split.avi"
    local others=0
    for f in "${closed[@]}"; do [[ $NOTICE == *"$f: "* ]] && others=1; done
    if [[ $NOTICE == *"$open: "*" frames, "*" seconds"* ]] && [ $others = 0 ] && [ ! -e "$open.journal" ]; then
        e2e_pass "split kill: \"$open\" recovered, the closed files left alone ($NOTICE)"
    else
        e2e_fail "split kill: \"$open\" recovered" "notice \"$NOTICE\""
    fi
    # Positions restart with each file, from when it began.
    local last due=0
    [ -n "${began[$open]:-}" ] && due=$((((killed - began[$open]) / 100000000 - 10) * 100 / MSPF - 1))
    [ "$due" -lt 0 ] && due=0
    last=$(avi_positions "$open" | tail -1)
    if avi_decodes "$open" && [ -n "$last" ] && [ "$last" -ge "$due" ]; then
        e2e_pass "split kill: FFmpeg decodes every frame of \"$open\", up to position $last ($due due 1 s before the kill)"
    else
        e2e_fail "split kill: FFmpeg decodes \"$open\" up to 1 s before the kill" "last position ${last:-none}, $due due"
    fi
    if same_positions "$E2E_OUT/killed-split.avi" "$open"; then
        e2e_pass "split kill: every frame of \"$open\" at the position the killed file gave it"
    else
        e2e_fail "split kill: every frame of \"$open\" at the position the killed file gave it" "see killed-split.avi"
    fi
    local why
    if why=$(avi_pictures "$open" $PIC_W $PIC_H $MSPF $STEP split-last); then
        e2e_pass "split kill: the frames of \"$open\" show the moving picture at their positions ($why)"
    else
        e2e_fail "split kill: the frames of \"$open\" show the moving picture at their positions" "$why"
    fi
    e2e_stop "$QUILLET_PID" 2
}

# Two Quillets record at once, each in a folder of its own, and are killed together: the next
# start recovers both.
two_copies_killed() {
    local f pids=() ok=1
    mkdir -p one two
    rm -f one/test.avi* two/test.avi*
    for f in one two; do
        start_quillet_in "$f" || { e2e_fail "two copies: start in $f" "no main window"; ok=0; break; }
        pids+=("$QUILLET_PID")
        e2e_click "@$MAIN" Record || { e2e_fail "two copies: record in $f" "no Record button"; ok=0; break; }
        e2e_wait 8 test -s "$f/test.avi.journal" ||
            { e2e_fail "two copies: $f records" "no journal within 8 s"; ok=0; break; }
    done
    [ "$ok" = 1 ] && sleep 4
    for f in "${pids[@]}"; do e2e_kill "$f"; done
    for f in "${pids[@]}"; do e2e_wait_exit "$f" 5; done
    [ "$ok" = 1 ] || return 1
    next_start_notice "two copies" || return 1
    for f in one two; do
        if [[ $NOTICE == *"$(winepath -w "$work/$f/test.avi" 2>/dev/null): "*" frames, "*" seconds"* ]] &&
            [ ! -e "$f/test.avi.journal" ] && avi_decodes "$f/test.avi"; then
            e2e_pass "two copies killed at once: $f/test.avi recovered and decodes"
        else
            e2e_fail "two copies killed at once: $f/test.avi recovered and decodes" "notice \"$NOTICE\""
        fi
    done
    e2e_stop "$QUILLET_PID" 2
}
start_quillet_in() { e2e_start_quillet "$1" 2; }

list=$(list_folder)
[ -n "$list" ] && rm -rf "$list"
for n in $(seq "$KILLS"); do
    # The first leaves time for a second Quillet to start beside it.
    tenths=$((10 + RANDOM % 91))
    [ "$n" = 1 ] && [ "$tenths" -lt 70 ] && tenths=$((tenths + 30))
    damage=''
    [ "$n" = 2 ] && damage=cut
    [ "$n" = 3 ] && damage=zeroed
    killed_recording "$n" "$tenths" $damage
done

two_copies_killed

killed_split $((10 + RANDOM % 61))

# Last: the sound box may stay ticked for the starts after it.
killed_recording $((KILLS + 1)) $((30 + RANDOM % 71)) '' sound

e2e_finish
