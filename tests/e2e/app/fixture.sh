# shellcheck shell=bash
# The app suite's fixture: Quillet's main window and Options dialog driven as a user would, the
# moving picture under it, one recording at a time, and the way back after a failed check.
# Sourced by run.sh after the shared library; the checks live in the other files of this folder.
#
# State of the fixture (what runs, not what a check found):
#   QUILLET_PID, MAIN         Quillet's process and main window handle (e2e_start_quillet)
#   EDIT_FILE, EDIT_WAVE      the Options dialog's edit boxes holding the AVI and WAV names
#   PIC_PID, PIC_W, PIC_H     the moving picture now shown at (PIC_X, PIC_Y)

PIC_X=24 PIC_Y=40 STEP=40
PIC_PID='' PIC_W='' PIC_H='' EDIT_FILE='' EDIT_WAVE=''
PROGRESS_CAPTION='^ms/Frame: [0-9]+[.,][0-9]{2}, FrameNr: [0-9]+, Skipped Frames: [0-9]+$'

# The Options dialog's edit boxes, counted in screen order, found by their start-up texts. The
# dialog may get its window only when first shown: open it once and cancel (Cancel writes
# nothing back).
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

set_file() { drive set-edit Options "$EDIT_FILE" "$1" >/dev/null; }

picture() { # W H: show the moving picture of that size in place of the current one
    [ -n "$PIC_PID" ] && e2e_stop "$PIC_PID" 2
    e2e_show_picture $PIC_X $PIC_Y "$1" "$2" $STEP
    PIC_PID=$E2E_PIC_PID PIC_W=$1 PIC_H=$2
}

# A mouse click in the middle of a main-window button, as a user would.
click() { e2e_click "@$MAIN" "$1"; }

caption() { drive caption "@$MAIN"; }

# The message boxes and dialogs now showing, on one line.
open_dialogs() { drive dialogs | tr '\n' ' '; }

# marker_shown screenshot: the marker's top-left bracket lies 8 px outside the area, so the
# pixel 6 px up and left of the picture is green or pale yellow while it shows. Prints the pixel.
marker_shown() {
    local px
    px=$(e2e_pixel "$1" $((PIC_X - 6)) $((PIC_Y - 6)))
    echo "$px"
    [ "$px" = 0,255,80 ] || [ "$px" = 255,255,180 ]
}

# wait_progress old-caption [seconds]: waits until the caption shows a progress text other than
# the one it had before; prints the caption it saw last.
wait_progress() {
    e2e_wait "${2:-8}" _new_progress "$1"
    local rc=$?
    caption
    return $rc
}
_new_progress() {
    local c
    c=$(caption) || return 2
    [[ $c =~ $PROGRESS_CAPTION ]] && [ "$c" != "$1" ]
}

# record Record|"Record Again" seconds [file]: one recording (Record by a mouse click, with the
# area detection, or Record Again) into the file removed first (a taken name gets a time added),
# a few seconds, Stop by a click, the AVI complete. Prints four
# clock times (seconds since the epoch), or why it failed: before the start click, after it
# returned, before the Stop click, after it returned. Each click runs a driver process that takes
# its own while to start, so the recording surely covers the middle two and at most the outer two.
record() {
    local how=$1 secs=$2 f=${3:-test.avi} before start clicked progress stopping stop
    rm -f "$f" "${f%.avi}.wav"
    before=$(caption)
    start=$(date +%s.%N)
    if [ "$how" = Record ]; then click Record; else drive click "@$MAIN" "$how" >/dev/null; fi || {
        echo "could not click $how"
        return 1
    }
    clicked=$(date +%s.%N)
    if ! progress=$(wait_progress "$before" 8); then
        e2e_shot "$E2E_OUT/no-progress-$(date +%H%M%S).png"
        echo "no progress caption after $how (caption \"$progress\"; dialogs: $(open_dialogs))"
        click Stop
        return 1
    fi
    sleep "$secs"
    stopping=$(date +%s.%N)
    click Stop || { echo "could not click Stop"; return 1; }
    stop=$(date +%s.%N)
    avi_wait "$f" 10 || { echo "$f not complete 10 s after Stop"; return 1; }
    sleep 0.3 # the marker is hidden after the file is closed; let it go before the next Record
    echo "$start $clicked $stopping $stop"
}

# check_recording name how seconds ms_per_frame frames_name condition...: one recording of the
# picture now shown (see record); PASS when the AVI meets the conditions of avi_has and, unless
# frames_name is "-", its frames show the picture at their capture times.
check_recording() {
    local name=$1 how=$2 secs=$3 mspf=$4 frames=$5 why info pictures=
    shift 5
    if ! why=$(record "$how" "$secs"); then
        e2e_fail "$name" "$why; dialogs: $(open_dialogs)"
        return 1
    fi
    if ! info=$(avi_has test.avi "$@"); then
        e2e_fail "$name" "ffprobe: $info (want $*)"
        return 1
    fi
    if [ "$frames" != - ] &&
        ! pictures=$(avi_pictures test.avi "$PIC_W" "$PIC_H" "$mspf" $STEP "$frames"); then
        e2e_fail "$name" "$info: $pictures"
        return 1
    fi
    e2e_pass "$name: $info${pictures:+, $pictures}"
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
        if e2e_start_quillet && find_boxes; then
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

# run check-function: runs one group of checks; a failure inside does not stop the suite.
# QUILLET_E2E_ONLY="check_sound check_no_sound" runs only those groups (after start-up).
run() {
    if [ -n "${QUILLET_E2E_ONLY:-}" ] && [ "$1" != check_startup ] &&
        [[ " $QUILLET_E2E_ONLY " != *" $1 "* ]]; then
        return 0
    fi
    e2e_log "--- $1"
    if [ -n "$MAIN" ] && ! drive caption "@$MAIN" >/dev/null; then recover; fi
    "$1" || recover
}
