#!/usr/bin/env bash
# Capture throughput of the recording loop under Wine, beside the grab ceiling of the same area
# measured in the same run on the same display: a program that only BitBlts the area into one
# DIB section and copies its pixels out. The loop runs at 1 ms per frame with the uncompressed
# handler ('DIB ') and with the default compressor ('MSVC'), while the moving picture fills the
# area, each writing behind the loop and, for reference, writing every frame on the worker before
# the next grab (CAPTURE_BENCH_WRITE=inline). Prints per size, handler and way of writing the
# medians of RUNS runs: frames per second, the ceiling, their ratio and its goal, and the
# milliseconds per pass of each stage of the loop ("write": the compressed stream's write inline,
# or the wait for the writer behind), the encoder and decoder alone on frames of the same area,
# and "beyond": write less encoder. Beside the ceiling, the ceiling that also writes each copy to
# a file on a second thread ("ceil+write"): what grabbing and writing the same bytes cost on this
# machine, and the loop's ratio to that ("ratio/w"; for 'DIB ' the bytes the loop writes). Then a
# full-HD recording with the default compressor at 33 ms for LONG_SECS seconds, LONG_RUNS times:
# frames written and skipped, each run beside one that writes every frame on the worker before
# the next grab (CAPTURE_BENCH_WRITE=inline, the reference for writing behind the loop); with
# "sound" among LONG_WRITES, also one with the sound in the AVI, and the ratio of the frames
# written with it to those without (at a real interval the loop sleeps, so load moves it less
# than the 1 ms loop's frames a second).
#
# First, what a frame costs the machine at 30 frames a second (CPU_SIZES, CPU_SECS, RUNS runs), as
# the user pays it: the shipped quillet.exe recording through its main window (app.sh: Record
# Again and Stop clicked, the area and interval from its settings file), its process's user and
# system time (and its threads': main, worker, writer), the Wine server's and the X server's,
# per frame written; beside FFmpeg's x11grab into its msvideo1 encoder on the same display and
# area in the same run, its own time and the X server's; their ratio (goals <= 0.25 at 640x480,
# <= 0.2 at 1920x1080). Then the stage table: the same recording by the loop alone
# (capture_bench.exe: the recorder without the main window), each stage's time on its thread
# per frame (see capture_bench.cpp), and how much of quillet.exe's process the worker's and
# writer's stages account for; what is left is work no stage names. The bare grab's time per grab
# is shown beside (grab_ceiling.exe: BitBlt into one DIB section, nothing copied out).
# "app" among RUNS_OF is quillet.exe at 1 ms through its main window (frames a second against the
# bare grab, goal >= 0.9), and among LONG_WRITES quillet.exe at 33 ms for LONG_SECS.
# APP_POINTER=away moves the mouse pointer off every window after each click (by default it
# stays on the button clicked, as a user leaves it; a tool tip may then show there).
#
#   bench/capture/run.sh     (QUILLET_DISPLAY, QUILLET_WIN_BUILD, RUNS=3, SECS=3, SIZES, LONG_RUNS=3,
#                             CPU_SIZES="640x480 1920x1080", CPU_SECS=10, RUNS_OF, APP_POINTER,
#                             LONG_SECS=20, LONG_SIZES=1920x1080, LONG_WRITES="app behind inline"
#                             (and "sound"); the codec registered in the prefix for 'MSVC')
set -u
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
. "$(dirname "$0")/../../tests/e2e/lib/avi.sh"
. "$(dirname "$0")/../lib/bench.sh"
. "$(dirname "$0")/app.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-64}
RUNS=${RUNS:-3}
SECS=${SECS:-3}
SIZES=${SIZES:-640x480 1280x720 1920x1080}
LONG_RUNS=${LONG_RUNS:-3}
LONG_SECS=${LONG_SECS:-20}
LONG_SIZES=${LONG_SIZES:-1920x1080}
# "sound": writing behind, with the sound of the default input in the AVI as well.
LONG_WRITES=${LONG_WRITES:-app behind inline}
# A screen big enough for the full-HD area beside the corner marker and right of quillet.exe's
# main window (run with no Wine server of this prefix alive: see bench_begin).
bench_begin capture-bench 2900x1250x24 capture_bench.exe grab_ceiling.exe movingpic.exe \
    quillet.exe drive.exe
e2e_wine_server
e2e_register_codec || { echo "capture-bench: the codec could not be registered" >&2; exit 1; }
cd "$E2E_TMP" || exit 1

STAGES="bookkeeping marker grab cursor conversion write sleep"
# Each handler writing behind the loop, and the reference: writing on the worker before the
# next grab; and the default compressor writing behind with the sound of the default input in
# the AVI as well ("MSVC/sound", beside "MSVC/behind": the ratio of the two, goal within 5 %).
RUNS_OF=${RUNS_OF:-"app DIB/behind DIB/inline MSVC/behind MSVC/inline MSVC/sound"}
case " $RUNS_OF $LONG_WRITES " in
*sound*)
    # The input is a private PulseAudio's null sink that plays a tone.
    e2e_start_pulse || echo "capture-bench: no PulseAudio, the sound runs record no sound" >&2
    sox -n -r 22050 -c 1 -b 16 "$E2E_TMP/tone.wav" synth 900 sine 1000 vol 0.5
    e2e_microphone "$E2E_TMP/tone.wav"
    ;;
esac

# Right of quillet.exe's main window (537..906 across), which stays on top.
X=950 Y=80
show_picture() { # W H: the moving picture over the area, until stopped
    e2e_show_picture $X $Y "$1" "$2" 10 topmost
    PIC=$E2E_PIC_PID
}
bench() { # FOURCC W H SECS [MS QUALITY]: one capture_bench line (the threads' times read at each
    # mark only with CAPTURE_BENCH_CPU=1: a read is a server round trip under Wine, eight a pass)
    E2E_WINE_TIMEOUT=$(($4 + 60)) e2e_wine "$E2E_WIN_BUILD/capture_bench.exe" "$1" \
        'C:\windows\temp\capture_bench.avi' $X $Y "$2" "$3" "$4" "${5:-1}" "${6:-}"
}

CPU_SIZES=${CPU_SIZES-640x480 1920x1080}
CPU_SECS=${CPU_SECS:-10}
CPU_STAGES="bookkeeping marker grab cursor conversion write sleep readout sound frame journal main other"
# The loop's stages that are its worker's and its writer's own work (their sum, beside what
# quillet.exe's process spends, leaves what no stage names).
NAMED_STAGES="bookkeeping marker grab cursor conversion write sleep readout sound frame journal"
ffmpeg_cpu() { # W H: "ms-per-frame frames xserver-ms-per-frame" of FFmpeg's grab and encoder at 30 a second
    local x0 t f
    x0=$(cpu_of "$E2E_XVFB_PID")
    t=$({ /usr/bin/time -f 'cpu %U %S' ffmpeg -nostdin -v error -f x11grab -framerate 30 \
        -video_size "$1x$2" -i "$E2E_DISPLAY.0+$X,$Y" -t "$CPU_SECS" -c:v msvideo1 \
        -pix_fmt rgb555le -y "$E2E_TMP/ffmpeg.avi"; } 2>&1 | awk '/^cpu / { print ($2 + $3) * 1000 }')
    f=$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets \
        -of csv=p=0 "$E2E_TMP/ffmpeg.avi")
    awk -v t="$t" -v f="$f" -v x="$(cpu_of "$E2E_XVFB_PID")" -v y="$x0" \
        'BEGIN { if (f > 0) printf "%.3f %d %.3f\n", t / f, f, (x - y) / f; else print "0 0 0" }'
}
per_frame() { # MS FRAMES: ms per frame, 3 decimals
    awk -v a="$1" -v n="$2" 'BEGIN { printf "%.3f", (n > 0 ? a / n : 0) }'
}
share() { # PART WHOLE: percent
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f%%", (b > 0 ? 100 * a / b : 0) }'
}
APP_FIELDS="process main worker writer rest server xserver"
for size in $CPU_SIZES; do
    W=${size%x*} H=${size#*x}
    show_picture "$W" "$H"
    app_start 33 30 $X $Y "$W" "$H" || exit 1
    app_server_rate 3
    declare -A col=()
    for r in $(seq "$RUNS"); do
        read -r ff ffn ffx < <(ffmpeg_cpu "$W" "$H")
        echo "$size cpu run $r: ffmpeg ms/frame=$ff frames=$ffn xserver=$ffx" >>"$E2E_OUT/suite.log"
        col[ffmpeg]+="$ff " col[ffn]+="$ffn " col[ffx]+="$ffx "
        col[fftotal]+="$(awk -v a="$ff" -v b="$ffx" 'BEGIN { print a + b }') "
        line=$(app_record "$CPU_SECS")
        echo "$size cpu run $r: $line (Wine server's own pace $APP_SERVER_RATE ms/s)" >>"$E2E_OUT/suite.log"
        n=$(bench_field frames "$line")
        col[app_frames]+="$n " col[app_skipped]+="$(bench_field skipped "$line") "
        col[app_positions]+="$(bench_field positions "$line") "
        for f in $APP_FIELDS; do col[app_$f]+="$(per_frame "$(bench_field $f "$line")" "$n") "; done
        col[app_total]+="$(per_frame "$(awk -v p="$(bench_field process "$line")" -v s="$(bench_field server "$line")" \
            -v x="$(bench_field xserver "$line")" 'BEGIN { print p + s + x }')" "$n") "
        line=$(e2e_wine "$E2E_WIN_BUILD/grab_ceiling.exe" $X $Y "$W" "$H" 3)
        col[floor]+="$(bench_field cpu "$line") "
        line=$(CAPTURE_BENCH_CPU=1 bench MSVC "$W" "$H" "$CPU_SECS" 33 10000)
        echo "$size cpu run $r: $line" >>"$E2E_OUT/suite.log"
        col[frames]+="$(bench_field frames "$line") " col[skipped]+="$(bench_field skipped "$line") "
        col[cpu]+="$(bench_field cpu "$line") "
        named=0
        for f in $CPU_STAGES encoder; do col[$f]+="$(bench_field c_$f "$line") "; done
        for f in $NAMED_STAGES; do named=$(awk -v a="$named" -v b="$(bench_field c_$f "$line")" 'BEGIN { print a + b }'); done
        col[named]+="$named "
    done
    app_quit
    e2e_stop "$PIC" 2
    declare -A med=()
    for f in "${!col[@]}"; do med[$f]=$(printf '%s\n' ${col[$f]} | bench_median); done
    echo "$size at 30 frames a second for ${CPU_SECS} s, MSVC q10000, medians of $RUNS runs: processor time per frame, ms"
    echo "  quillet.exe through its main window (Record Again, Stop), frames ${med[app_frames]} of ${med[app_positions]} positions, skipped ${med[app_skipped]}:"
    printf '    process %.3f (main thread %.3f, worker %.3f, writer %.3f, rest %.3f) + Wine server %.3f + X server %.3f = %.3f\n' \
        "${med[app_process]}" "${med[app_main]}" "${med[app_worker]}" "${med[app_writer]}" "${med[app_rest]}" \
        "${med[app_server]}" "${med[app_xserver]}" "${med[app_total]}"
    printf '  FFmpeg x11grab to msvideo1, frames %s of %s:\n    process %.3f + X server %.3f = %.3f\n' \
        "${med[ffn]}" "$((CPU_SECS * 30))" "${med[ffmpeg]}" "${med[ffx]}" "${med[fftotal]}"
    awk -v a="${med[app_total]}" -v b="${med[fftotal]}" -v size="$size" 'BEGIN { r = b > 0 ? a / b : 0
        g = size == "1920x1080" ? 0.2 : 0.25
        v = (r > 0 && r <= g) ? "ok" : "NOT"
        printf "%s CPU per frame, quillet.exe / FFmpeg'"'"'s: %.3f (goal <= %s: %s)\n", size, r, g, v }'
    echo "  stages of the loop alone (capture_bench: the recorder without the main window), frames ${med[frames]}, skipped ${med[skipped]}:"
    printf '    %-12s %8s %6s\n' stage ms share
    for f in $CPU_STAGES; do
        printf '    %-12s %8.3f %6s\n' "$f" "${med[$f]}" "$(share "${med[$f]}" "${med[cpu]}")"
    done
    printf '    %-12s %8.3f  (the encoder alone on frames of the area, part of "frame")\n' encoder "${med[encoder]}"
    printf '    %-12s %8.3f  (the bare grab'"'"'s time per grab: the floor of grab)\n' "grab floor" "${med[floor]}"
    printf '    %-12s %8.3f  (the loop'"'"'s process)\n' total "${med[cpu]}"
    printf '    the worker'"'"'s and writer'"'"'s stages, %.3f ms, are %s of quillet.exe'"'"'s process (%.3f); unnamed: %.3f\n' \
        "${med[named]}" "$(share "${med[named]}" "${med[app_process]}")" "${med[app_process]}" \
        "$(awk -v a="${med[app_process]}" -v b="${med[named]}" 'BEGIN { print a - b }')"
    unset col med
done

echo "loop at 1 ms per frame, medians of $RUNS runs of ${SECS} s; stages in ms per pass"
printf '%-10s %-11s %7s %8s %6s %-9s %10s %7s' area codec/write fps ceiling ratio goal ceil+write ratio/w
printf ' %7s' $STAGES encoder decoder beyond
printf '\n'
for size in $SIZES; do
    W=${size%x*} H=${size#*x}
    show_picture "$W" "$H"
    [[ " $RUNS_OF " == *" app "* ]] && { app_start 1 50 $X $Y "$W" "$H" || exit 1; }
    declare -A col=()
    for r in $(seq "$RUNS"); do
        line=$(e2e_wine "$E2E_WIN_BUILD/grab_ceiling.exe" $X $Y "$W" "$H" "$SECS")
        echo "$size run $r: $line" >>"$E2E_OUT/suite.log"
        col[ceiling]+="$(bench_field fps "$line") "
        line=$(e2e_wine "$E2E_WIN_BUILD/grab_ceiling.exe" $X $Y "$W" "$H" "$SECS" 'C:\windows\temp\ceiling_copies.raw')
        echo "$size run $r, writing: $line" >>"$E2E_OUT/suite.log"
        col[wceiling]+="$(bench_field fps "$line") "
        for run in $RUNS_OF; do
            if [ "$run" = app ]; then
                line=$(app_record "$SECS")
                echo "$size app run $r: $line" >>"$E2E_OUT/suite.log"
                col[app.fps]+="$(awk -v n="$(bench_field frames "$line")" -v s="$(bench_field seconds "$line")" \
                    'BEGIN { printf "%.1f", (s > 0 ? n / s : 0) }') "
                continue
            fi
            codec=${run%/*}
            sound=0
            [ "${run#*/}" = sound ] && sound=1
            line=$(CAPTURE_BENCH_CPU=0 CAPTURE_BENCH_SOUND=$sound CAPTURE_BENCH_WRITE=${run#*/} bench "$codec" "$W" "$H" "$SECS")
            echo "$size $run run $r: $line" >>"$E2E_OUT/suite.log"
            for f in fps $STAGES encoder decoder; do col[$run.$f]+="$(bench_field $f "$line") "; done
        done
    done
    [ -n "$MAIN" ] && app_quit
    e2e_stop "$PIC" 2
    rm -f "${WINEPREFIX:?}/drive_c/windows/temp/ceiling_copies.raw"
    ceiling=$(printf '%s\n' ${col[ceiling]} | bench_median)
    wceiling=$(printf '%s\n' ${col[wceiling]} | bench_median)
    for run in $RUNS_OF; do
        codec=${run%/*}
        [ "$run" = app ] && codec=MSVC
        fps=$(printf '%s\n' ${col[$run.fps]} | bench_median)
        goal=$([ $codec = DIB ] && echo 0.8 || echo 0.9)
        ratio=$(bench_ratio "$fps" "$ceiling")
        verdict=$(awk -v r="$ratio" -v g="$goal" 'BEGIN { print (r + 0 >= g ? ">=" g " ok" : "<" g " NOT") }')
        [ "${run#*/}" = inline ] && verdict=reference
        if [ "${run#*/}" = sound ]; then
            behind=$(printf '%s\n' ${col[$codec/behind.fps]:-} | bench_median)
            verdict=$(awk -v s="$fps" -v b="$behind" 'BEGIN { r = b > 0 ? s / b : 0;
                printf "%.3f/behind %s", r, (r >= 0.95 ? "ok" : "NOT") }')
        fi
        printf '%-10s %-11s %7s %8s %6s %-9s %10s %7s' "$size" "$run" "$fps" "$ceiling" "$ratio" "$verdict" \
            "$wceiling" "$(bench_ratio "$fps" "$wceiling")"
        declare -A med=()
        for f in $STAGES encoder decoder; do
            med[$f]=$(printf '%s\n' ${col[$run.$f]:-} | bench_median)
            printf ' %7s' "${med[$f]:--}"
        done
        # What the compressed stream's write costs beyond the encoder's own work.
        [ -n "${med[encoder]}" ] && awk -v w="${med[write]}" -v e="${med[encoder]}" 'BEGIN { printf " %7.3f", w - e }'
        printf '\n'
        unset med
    done
    unset col
done

for size in $([ "$LONG_RUNS" -gt 0 ] && echo "$LONG_SIZES"); do
    W=${size%x*} H=${size#*x}
    show_picture "$W" "$H"
    [[ " $LONG_WRITES " == *" app "* ]] && { app_start 33 30 $X $Y "$W" "$H" || exit 1; }
    declare -A written=() skipped=()
    for r in $(seq "$LONG_RUNS"); do
        for write in $LONG_WRITES; do
            if [ "$write" = app ]; then
                line=$(app_record "$LONG_SECS")
                echo "long run $r, $size, quillet.exe: $line" >>"$E2E_OUT/suite.log"
                written[app]+="$(bench_field frames "$line") " skipped[app]+="$(bench_field skipped "$line") "
                echo "$size quillet.exe MSVC q10000 33 ms ${LONG_SECS} s, run $r: frames=$(bench_field frames "$line") skipped=$(bench_field skipped "$line")"
                continue
            fi
            sound=0
            [ "$write" = sound ] && sound=1
            line=$(CAPTURE_BENCH_CPU=0 CAPTURE_BENCH_SOUND=$sound CAPTURE_BENCH_WRITE=${write/sound/behind} bench MSVC "$W" "$H" "$LONG_SECS" 33 10000)
            echo "long run $r, $size, write $write: $line" >>"$E2E_OUT/suite.log"
            written[$write]+="$(bench_field frames "$line") "
            skipped[$write]+="$(bench_field skipped "$line") "
            echo "$size MSVC q10000 33 ms ${LONG_SECS} s, write $write, run $r: frames=$(bench_field frames "$line") skipped=$(bench_field skipped "$line") slowest pass $(bench_field slowest "$line") ms, most of it $(bench_field slowest_stage "$line")"
        done
    done
    [ -n "$MAIN" ] && app_quit
    e2e_stop "$PIC" 2
    for write in $LONG_WRITES; do
        w=$(printf '%s\n' ${written[$write]} | bench_median)
        s=$(printf '%s\n' ${skipped[$write]} | bench_median)
        echo "$size MSVC q10000 33 ms ${LONG_SECS} s, write $write, median: frames=$w skipped=$s (goal: >= $((LONG_SECS * 1000 / 33 - 16)) frames, 0 skipped)"
        eval "median_$write=$w"
    done
    # With the sound in the AVI beside the same recording without it: goal within 5 %.
    [ -n "${median_sound:-}" ] && [ -n "${median_behind:-}" ] &&
        awk -v s="$median_sound" -v b="$median_behind" -v size="$size" 'BEGIN {
            r = b > 0 ? s / b : 0
            printf "%s frames with sound / without: %.3f (goal within 5 %%: %s)\n", size, r, (r >= 0.95 && r <= 1.05) ? "ok" : "NOT" }'
    unset written skipped median_sound median_behind
done
