#!/usr/bin/env bash
# The recorder at its edges on the real Video for Windows under Wine:
# - a recording at a lowered file size limit goes on into numbered files, each of which FFmpeg
#   decodes completely, together holding every frame the recorder counted;
# - a disk that fills during a recording (the current folder on a small tmpfs): the write-failure
#   message shows, the program keeps running, and what was written decodes completely;
# - the main window closed at random moments during recordings: every process exits with code 0
#   and leaves an AVI that decodes completely.
set -u
. "$(dirname "$0")/../lib/common.sh"
e2e_begin_desktop edges quillet.exe split_record.exe movingpic.exe drive.exe
e2e_register_codec
export E2E_WINE_TIMEOUT=30

PIC_X=200 PIC_Y=150 PIC_W=320 PIC_H=240 STEP=40
CLOSES=${QUILLET_E2E_CLOSES:-20}

e2e_show_picture $PIC_X $PIC_Y $PIC_W $PIC_H $STEP topmost

# decoded file: frames FFmpeg decodes from the file, or nothing when it reports an error or
# when the file's index holds packets that do not decode.
decoded() {
    local errs frames packets
    errs=$(ffmpeg -nostdin -v error -i "$1" -f null - 2>&1) || return 1
    [ -z "$errs" ] || { e2e_log "$1: $errs"; return 1; }
    read -r frames packets < <(ffprobe -v error -select_streams v:0 -count_frames -count_packets \
        -show_entries stream=nb_read_frames,nb_read_packets -of csv=p=0 "$1" | tr ',' ' ')
    if [ -z "$frames" ] || [ "$frames" != "$packets" ]; then
        e2e_log "$1: $frames of $packets packets decoded"
        return 1
    fi
    echo "$frames"
}

# --- A lowered size limit: numbered files ------------------------------------------------
split_check() { # name handler limit
    local name=$1 handler=$2 limit=$3 dir=$E2E_TMP/$1
    mkdir -p "$dir"
    local out
    out=$(E2E_WINE_TIMEOUT=60 e2e_wine "$E2E_WIN_BUILD/split_record.exe" "$handler" \
        "$(winepath -w "$dir/take.avi" 2>/dev/null)" $PIC_X $PIC_Y $PIC_W $PIC_H 100 10 6 "$limit")
    echo "$name: $out" >>"$E2E_OUT/suite.log"
    local written files
    written=$(sed -n 's/.*recorded frames=\([0-9]*\).*/\1/p' <<<"$out")
    files=$(sed -n 's/.* files=\([0-9]*\).*/\1/p' <<<"$out")
    if ! grep -q 'result=idle' <<<"$out" || [ -z "$written" ] || [ "${files:-0}" -lt 2 ]; then
        e2e_fail "$name split" "expected two files or more: ${out:-no output}"
        return
    fi
    local n f sum=0 bad='' size frames first
    for n in $(seq "$files"); do
        if [ "$n" = 1 ]; then f=$dir/take.avi; else f="$dir/take ($n).avi"; fi
        size=$(stat -c %s "$f")
        [ "$size" -le "$limit" ] || bad="$bad $(basename "$f") is $size bytes;"
        frames=$(decoded "$f") || { bad="$bad $(basename "$f") does not decode completely;"; continue; }
        first=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 "$f" | head -1)
        [ "$first" = 0 ] || bad="$bad $(basename "$f") starts at position $first;"
        sum=$((sum + frames))
        cp "$f" "$E2E_OUT/$name-$n.avi"
    done
    if [ -z "$bad" ] && [ "$sum" = "$written" ]; then
        e2e_pass "$name: $files files under $limit bytes, each decodes completely from position 0, $sum frames = FramesWritten"
    else
        e2e_fail "$name split" "${bad:-} decoded $sum of $written frames"
    fi
}
split_check split-dib 'DIB ' 4000000
# A frame not yet compressed is allowed twice its raw size (614,400 bytes here): this limit
# leaves room for a few dozen compressed frames per file.
split_check split-msvc MSVC 700000

# --- The main window ------------------------------------------------------------------------
# --- A disk that fills -------------------------------------------------------------------
error_box() { # the write-failure box's line of `drive dialogs`, once it shows
    drive dialogs 2>/dev/null | grep -m1 'Error Creating AVI file' && return 0
    e2e_alive "$QUILLET_PID" || return 2
    return 1
}

disk_full() {
    local mnt=$E2E_TMP/small
    mkdir -p "$mnt"
    if ! mount -t tmpfs -o size=4m tmpfs "$mnt" 2>>"$E2E_OUT/suite.log"; then
        echo "SKIP: disk full (a small tmpfs cannot be mounted here)"
        e2e_log "SKIP: disk full: no tmpfs"
        return
    fi
    E2E_MOUNT=$mnt
    # Nearly full from the start, so that the recording fills it within seconds: the recorder
    # keeps room for a frame twice its raw size (614,400 bytes for the picture) and the index.
    local avail
    avail=$(df --output=avail -B1 "$mnt" | tail -1)
    head -c $((avail - 800 * 1024)) /dev/zero >"$mnt/filler"
    if ! e2e_start_quillet "$mnt" 2; then
        e2e_fail "disk full" "Quillet did not start"
        return
    fi
    e2e_click "@$MAIN" Record || { e2e_fail "disk full" "could not click Record"; return; }
    local box
    box=$(e2e_wait 30 error_box)
    e2e_shot "$E2E_OUT/disk-full.png"
    if [ -z "$box" ]; then
        e2e_fail "disk full" "no \"Error Creating AVI file\" within 30 s ($(df -h "$mnt" | tail -1))"
    else
        e2e_pass "disk full: \"Error Creating AVI file\" shown ($(du -b "$mnt/test.avi" | cut -f1) bytes written)"
        drive click "@${box%% *}" OK >/dev/null
    fi
    sleep 0.5
    if e2e_alive "$QUILLET_PID" && drive caption "@$MAIN" >/dev/null; then
        e2e_pass "disk full: Quillet keeps running"
    else
        e2e_fail "disk full" "Quillet is gone or does not answer"
    fi
    local frames
    if frames=$(decoded "$mnt/test.avi") && [ "$frames" -gt 0 ]; then
        e2e_pass "disk full: the part written decodes completely ($frames frames)"
    else
        e2e_fail "disk full" "test.avi does not decode completely"
    fi
    cp "$mnt/test.avi" "$E2E_OUT/disk-full.avi" 2>/dev/null
    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_stop "$QUILLET_PID" 2
    umount -l "$mnt" && E2E_MOUNT=''
}
E2E_MOUNT=''
trap 'rc=$?; [ -n "$E2E_MOUNT" ] && umount -l "$E2E_MOUNT"; (exit $rc); e2e_cleanup' EXIT
disk_full

# --- Closing the main window during recordings ------------------------------------------------
closes_ok=0 why=''
for run in $(seq "$CLOSES"); do
    dir=$E2E_TMP/close-$run
    mkdir -p "$dir"
    if ! e2e_start_quillet "$dir" 2; then
        why="$why run $run: no main window;"
        e2e_stop "$QUILLET_PID" 2
        continue
    fi
    e2e_click "@$MAIN" Record || { why="$why run $run: could not click Record;"; }
    e2e_wait 5 test -s "$dir/test.avi"
    delay=$(awk -v r="$RANDOM" 'BEGIN { printf "%.2f", 0.5 + 2.5 * r / 32767 }')
    sleep "$delay"
    drive close "@$MAIN" >/dev/null
    # The exit code of the Windows process (wine runs as that process), 255 when it hangs.
    rc=255
    if e2e_wait_exit "$QUILLET_PID" 20; then
        wait "$QUILLET_PID"
        rc=$?
    fi
    frames=$(decoded "$dir/test.avi")
    e2e_log "close $run after ${delay}s: exit code $rc, ${frames:-no complete} frames"
    if [ "$rc" = 0 ] && [ -n "$frames" ] && [ "$frames" -gt 0 ]; then
        closes_ok=$((closes_ok + 1))
    else
        why="$why run $run (${delay}s): exit code $rc, ${frames:-no} decoded frames;"
        e2e_stop "$QUILLET_PID" 2
        e2e_stop_debugger
        cp "$dir/test.avi" "$E2E_OUT/close-$run.avi" 2>/dev/null
    fi
done
if [ "$closes_ok" = "$CLOSES" ]; then
    e2e_pass "$CLOSES closes during a recording: every exit code 0, every AVI decodes completely"
else
    e2e_fail "closes during a recording" "$closes_ok of $CLOSES clean:$why"
fi

e2e_finish
