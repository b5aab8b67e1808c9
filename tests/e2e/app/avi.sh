# shellcheck shell=bash
# Looks at recorded AVI files with FFmpeg, and at the moving picture in their frames.
# Sourced by run.sh after tests/e2e/lib/common.sh.

# avi_info file: "codec width height rate packets" of the first video stream.
avi_info() {
    ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_packets \
        -of default=nw=1:nk=1 "$1" 2>/dev/null | tr '\n' ' ' | sed 's/ $//'
}

# avi_wait file [seconds]: waits until the file is complete (FFmpeg reads it and its size holds
# still), as after Stop, when the recording thread closes it.
avi_wait() {
    local f=$1 secs=${2:-10} i s1 s2
    for i in $(seq $((secs * 4))); do
        s1=$(stat -c %s "$f" 2>/dev/null || echo 0)
        sleep 0.25
        s2=$(stat -c %s "$f" 2>/dev/null || echo 0)
        if [ "$s1" -gt 0 ] && [ "$s1" = "$s2" ] && [ -n "$(avi_info "$f")" ]; then return 0; fi
    done
    return 1
}

# avi_decodes file: FFmpeg decodes every frame without an error.
avi_decodes() {
    local errs
    errs=$(ffmpeg -nostdin -v error -i "$1" -f null - 2>&1) || return 1
    [ -z "$errs" ]
}

# avi_pictures file picture_w picture_h ms_per_frame step_ms name: decodes every written frame
# (no repeats for empty positions) and has movingpic compare each with the picture whose number
# it shows; then checks that each frame sits at the position its capture time calls for: the
# picture number times the picture's step, minus the position times the capture interval, is the
# same for every frame up to the jitter of grabbing and painting. Details go to $E2E_OUT/name.*.
AVI_TIMING_TOLERANCE=${AVI_TIMING_TOLERANCE:-300}
avi_pictures() {
    local f=$1 pw=$2 ph=$3 mspf=$4 step=$5 name=$6 w h
    read -r w h < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height \
        -of csv=p=0 "$f" | tr ',' ' ')
    [ -n "$w" ] || { AVI_WHY="ffprobe cannot read $f"; return 1; }
    local raw=$E2E_TMP/$name.rgb
    ffmpeg -nostdin -v error -y -i "$f" -fps_mode passthrough -f rawvideo -pix_fmt rgb24 "$raw" ||
        { AVI_WHY="ffmpeg cannot decode $f"; return 1; }
    ffprobe -v error -select_streams v:0 -show_entries frame=best_effort_timestamp \
        -of csv=p=0 "$f" >"$E2E_OUT/$name.pts"
    (cd "$E2E_TMP" && e2e_wine "$E2E_WIN_BUILD/movingpic.exe" check "$pw" "$ph" "$w" "$h" \
        "$name.rgb" 16) >"$E2E_OUT/$name.frames"
    local rc=$?
    rm -f "$raw"
    local summary
    summary=$(tail -1 "$E2E_OUT/$name.frames")
    if [ $rc -ne 0 ]; then
        AVI_WHY="frames that do not match the picture ($summary; see ${E2E_OUT#$E2E_ROOT/}/$name.frames)"
        return 1
    fi
    local spread
    spread=$(paste -d' ' "$E2E_OUT/$name.pts" <(grep '^frame ' "$E2E_OUT/$name.frames") |
        awk -v step="$step" -v mspf="$mspf" '{
            split($4, a, "="); d = a[2] * step - $1 * mspf
            if (NR == 1 || d < lo) lo = d; if (NR == 1 || d > hi) hi = d
        } END { print hi - lo }')
    AVI_WHY="$summary, timing spread ${spread} ms"
    if [ "${spread%.*}" -gt "$AVI_TIMING_TOLERANCE" ]; then
        AVI_WHY="frames off their time-derived positions: picture time minus position time spreads over $spread ms (> $AVI_TIMING_TOLERANCE; see ${E2E_OUT#$E2E_ROOT/}/$name.pts and .frames)"
        return 1
    fi
    return 0
}
