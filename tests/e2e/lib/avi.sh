# shellcheck shell=bash
# Looks at recorded AVI files with FFmpeg, and at the moving picture of
# tests/e2e/programs/movingpic.cpp in their frames. Sourced after common.sh:
#
#   . "$E2E_ROOT/tests/e2e/lib/avi.sh"
#   avi_wait test.avi 10 || ...                 # complete: FFmpeg reads it, its size holds still
#   if info=$(avi_has test.avi size=256x192 rate=10/1); then ...   # info: "msvideo1 256x192 10/1 35"
#   if why=$(avi_pictures test.avi 257 193 100 40 first); then ...  # frames and their timing
#
# Results come back as the status and the printed text, never through variables.

# avi_info file: "codec width height rate packets" of the first video stream; nothing when
# FFmpeg cannot read the file.
avi_info() {
    ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_packets \
        -of default=nw=1:nk=1 "$1" 2>/dev/null | tr '\n' ' ' | sed 's/ $//'
}

# avi_has file condition...: prints "codec WxH rate frames" of the file's video stream and
# succeeds when every condition holds: codec=NAME, size=WxH, rate=N/D, frames=N, min-frames=N.
avi_has() {
    local f=$1 codec w h rate frames cond
    shift
    read -r codec w h rate frames <<<"$(avi_info "$f")"
    if [ -z "${frames:-}" ]; then
        echo "FFmpeg cannot read $f"
        return 1
    fi
    echo "$codec ${w}x$h $rate $frames"
    for cond in "$@"; do
        case $cond in
        codec=*) [ "$codec" = "${cond#*=}" ] ;;
        size=*) [ "${w}x$h" = "${cond#*=}" ] ;;
        rate=*) [ "$rate" = "${cond#*=}" ] ;;
        frames=*) [ "$frames" -eq "${cond#*=}" ] ;;
        min-frames=*) [ "$frames" -ge "${cond#*=}" ] ;;
        *)
            echo "avi_has: unknown condition $cond" >&2
            false
            ;;
        esac || return 1
    done
}

# avi_wait file [seconds]: waits until the file is complete (FFmpeg reads it and its size holds
# still), as after Stop, when the recording thread closes it.
avi_wait() {
    e2e_wait "${2:-10}" _avi_settled "$1"
}
_avi_settled() {
    local s1 s2
    s1=$(stat -c %s "$1" 2>/dev/null || echo 0)
    sleep 0.25
    s2=$(stat -c %s "$1" 2>/dev/null || echo 0)
    [ "$s1" -gt 0 ] && [ "$s1" = "$s2" ] && [ -n "$(avi_info "$1")" ]
}

# avi_decodes file: FFmpeg decodes every frame without an error.
avi_decodes() {
    local errs
    errs=$(ffmpeg -nostdin -v error -i "$1" -f null - 2>&1) || return 1
    [ -z "$errs" ]
}

# avi_positions file: the positions of the frames FFmpeg decodes from the file, one a line.
avi_positions() {
    ffprobe -v error -select_streams v:0 -show_entries frame=pts -of csv=p=0 "$1"
}

# avi_frames file picture_w picture_h name [max_bad_pixels]: decodes every written frame (no
# repeats for empty positions) and has movingpic compare each with the picture whose number it
# shows. Writes $E2E_OUT/name.pts (the frames' positions) and name.frames (the checker's line
# per frame, then "PASS: frames=N matching=M" or FAIL); prints "frames=N matching=M". Fails
# when a frame does not match.
avi_frames() {
    local f=$1 pw=$2 ph=$3 name=$4 bad=${5:-0} w h
    read -r w h < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
        -of csv=p=0 "$f" 2>/dev/null | tr ',' ' ')
    [ -n "${h:-}" ] || { echo "ffprobe cannot read $f"; return 1; }
    local raw=$E2E_TMP/$name.rgb
    ffmpeg -nostdin -v error -y -i "$f" -fps_mode passthrough -f rawvideo -pix_fmt rgb24 "$raw" ||
        { echo "ffmpeg cannot decode $f"; return 1; }
    ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp \
        -of csv=p=0 "$f" >"$E2E_OUT/$name.pts"
    (cd "$E2E_TMP" && e2e_wine "$E2E_WIN_BUILD/movingpic.exe" check "$pw" "$ph" "$w" "$h" \
        "$name.rgb" "$bad") >"$E2E_OUT/$name.frames"
    local rc=$?
    rm -f "$raw"
    tail -1 "$E2E_OUT/$name.frames" | sed 's/^[A-Z]*: //'
    return $rc
}

# avi_pictures file picture_w picture_h ms_per_frame step_ms name: avi_frames (up to 16 pixels
# of a frame may be off, where the cursor passes), then checks that each frame sits at the
# position its capture time calls for: the picture number times the picture's step, minus the
# position times the capture interval, is the same for every frame up to the jitter of grabbing
# and painting. Prints what it found, or why the frames fail.
AVI_TIMING_TOLERANCE=${AVI_TIMING_TOLERANCE:-300}
avi_pictures() {
    local f=$1 pw=$2 ph=$3 mspf=$4 step=$5 name=$6 summary spread
    local where="see ${E2E_OUT#"$E2E_ROOT"/}/$name.pts and .frames"
    if ! summary=$(avi_frames "$f" "$pw" "$ph" "$name" 16); then
        echo "frames that do not match the picture ($summary; $where)"
        return 1
    fi
    spread=$(paste -d' ' "$E2E_OUT/$name.pts" <(grep '^frame ' "$E2E_OUT/$name.frames") |
        awk -v step="$step" -v mspf="$mspf" '{
            split($4, a, "="); d = a[2] * step - $1 * mspf
            if (NR == 1 || d < lo) lo = d; if (NR == 1 || d > hi) hi = d
        } END { print hi - lo }')
    if [ "${spread%.*}" -gt "$AVI_TIMING_TOLERANCE" ]; then
        echo "frames off their time-derived positions: picture time minus position time spreads over $spread ms (> $AVI_TIMING_TOLERANCE; $where)"
        return 1
    fi
    echo "$summary, timing spread ${spread} ms"
}
