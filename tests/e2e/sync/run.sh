#!/usr/bin/env bash
# Sound and picture in step, under Wine with a private PulseAudio: flashclick.exe flashes a bar
# and plays a click into the null sink once a second (its monitor is the default input), and
# split_record.exe records its window with sound in the AVI. In each file FFmpeg decodes both
# streams whole, every flash has its frame and its click, the click stands within 45 ms of its
# flash at the start and at the end, the offset moves by less than 20 ms, and the sound lasts as
# long as the frames within one frame (flashclick.cpp says how the offset is measured). Then the
# same at a lowered size limit: each numbered file holds its own sound from 0, in step.
#
#   tests/e2e/sync/run.sh [seconds_at_100ms [seconds_at_33ms [seconds_split]]]   (30 20 24; 0 skips)
set -u
. "$(dirname "$0")/../lib/common.sh"
e2e_begin_desktop sync split_record.exe flashclick.exe drive.exe
e2e_register_codec
e2e_start_pulse || e2e_abort "PulseAudio" "did not start"

X=192 Y=160 W=224 H=128 RATE=22050

# sync_file name file.avi show.log frame_ms edge: the checks of one recorded file.
sync_file() {
    local name=$1 avi=$2 d=$E2E_TMP/$1 errs starts rate
    mkdir -p "$d"
    errs=$(ffmpeg -nostdin -v error -i "$avi" -map 0 -f null - 2>&1)
    starts=$(ffprobe -v error -show_entries stream=codec_type,start_time -of csv=p=0 "$avi" | tr '\n' ' ')
    e2e_expect "$name: both streams decode whole, from 0 ($starts)" "${errs:-not a picture and a sound from 0}" \
        test -z "$errs" -a "$starts" = "video,0.000000 audio,0.000000 "
    # One grey pixel per 16 x 16 block of the picture, each frame's time, and the sound.
    ffmpeg -nostdin -v error -y -i "$avi" -map 0:v -fps_mode passthrough -vf scale=14:8:flags=area \
        -f rawvideo -pix_fmt gray "$d/blocks.gray" &&
        ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp_time \
            -of csv=p=0 "$avi" >"$d/times.txt" &&
        ffmpeg -nostdin -v error -y -i "$avi" -map 0:a -f s16le -c:a pcm_s16le "$d/sound.s16" ||
        { e2e_fail "$name" "FFmpeg cannot take the file apart"; return; }
    rate=$(ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 "$avi")
    cp "$3" "$d/show.log"
    (cd "$d" && e2e_wine "$E2E_WIN_BUILD/flashclick.exe" check blocks.gray times.txt sound.s16 \
        "$rate" show.log "$4" "$5") | sed "s/^\(PASS\|FAIL\): /\1: $name: /" >"$E2E_OUT/$name.check"
    e2e_tally <"$E2E_OUT/$name.check" || e2e_fail "$name" "no result from the checker"
}

# sync_run name ms_per_frame fps seconds [limit_bytes [edge]]: records the flashes with sound and
# checks each file the recording made: the offsets of its first and last `edge` flashes (3).
sync_run() {
    local name=$1 ms=$2 fps=$3 secs=$4 limit=${5:-0} dir=$E2E_TMP/$1 out show files n f
    [ "$secs" -gt 0 ] || return 0
    mkdir -p "$dir"
    e2e_bg "$name-show" "$E2E_WIN_BUILD/flashclick.exe" show $X $Y $W $H $((secs + 8))
    show=$E2E_BG_PID
    e2e_wait_visible "$show" 10 || { e2e_fail "$name" "flashclick shows no window"; return; }
    sleep 2.5 # its first flash comes at 3 s
    out=$(E2E_WINE_TIMEOUT=$((secs + 60)) e2e_wine "$E2E_WIN_BUILD/split_record.exe" MSVC \
        "$(winepath -w "$dir/take.avi" 2>/dev/null)" $X $Y $W $H "$ms" "$fps" "$secs" "$limit" $RATE)
    e2e_log "$name: $out"
    e2e_wait_exit "$show" 30 || { e2e_fail "$name" "flashclick did not end"; return; }
    files=$(sed -n 's/.* files=\([0-9]*\).*/\1/p' <<<"$out")
    [ "${files:-0}" -ge 1 ] || { e2e_fail "$name" "no recording: ${out:-no output}"; return; }
    [ "$limit" = 0 ] || [ "$files" -ge 2 ] || { e2e_fail "$name" "expected two files or more: $out"; return; }
    for n in $(seq "$files"); do
        if [ "$n" = 1 ]; then f=$dir/take.avi; else f="$dir/take ($n).avi"; fi
        cp "$f" "$E2E_OUT/$name-$n.avi"
        sync_file "$name-$n" "$f" "$E2E_OUT/$name-show.log" "$((1000 / fps))" "${6:-3}"
    done
}

sync_run at100ms 100 10 "${1:-30}"
# 30 frames a second of playback, as a user sets it for a 33 ms interval.
sync_run at33ms 33 30 "${2:-20}"
# A file holds about 11 s of frames and sound here; every flash of each is checked.
sync_run split 100 10 "${3:-24}" 900000 99

e2e_finish
