# shellcheck shell=bash
# The shipped program as a user runs it, for the capture benchmark (sourced by run.sh after the
# e2e and bench libraries): quillet.exe started with the settings of a recording (the interval,
# the playback rate and the area, in its settings file), each recording started with Record Again
# and ended with Stop by real mouse clicks on its main window, and what the recording cost the
# machine from the click to the end of the file: the user and system time of quillet.exe's
# process (and of its threads: main, the recording's worker and writer), of the Wine server, and
# of the X server. The clicks are given with xdotool, not through a Wine program, so that the Wine
# server does no work for the benchmark itself while it is counted.
#
#   app_start MS FPS X Y W H     # quillet.exe for recordings of that area at that interval
#   app_record SECS              # one recording of about SECS seconds: prints its line (below)
#   app_quit
#
# app_record prints: frames= positions= skipped= (from the file: frames written, the last
# position + 1, the empty positions), seconds= (positions x interval), then ms of processor time
# over the whole recording: process= server= xserver=, and the process's threads while the
# recording ran (from the click to just before Stop): main= worker= writer= (the first and second
# thread that the recording started), rest= (the process less those three: the other threads,
# and the run's end after Stop). The server's time is net of what it spends meanwhile on the
# other programs of the prefix (the moving picture): see app_server_rate.

APP_TICK=$(getconf CLK_TCK)
APP_MS=0 APP_SERVER_PID='' APP_RECORD_AT='' APP_STOP_AT='' APP_SERVER_RATE=0

# cpu_of PID [TID]: user and system time of a process (or of one of its threads) so far, in ms;
# 0 when it is gone.
cpu_of() {
    local f=/proc/$1/stat
    [ -n "${2:-}" ] && f=/proc/$1/task/$2/stat
    awk -v t="$APP_TICK" '{ sub(/.*\) /, ""); printf "%.1f\n", ($12 + $13) * 1000 / t }' "$f" 2>/dev/null || echo 0
}

# The Wine server of this prefix (other prefixes have their own).
app_find_server() {
    local p dir
    # It works in a folder named for the prefix's device and inode.
    dir=$(stat -L -c '%d %i' "$WINEPREFIX" | awk '{ printf "server-%x-%x", $1, $2 }')
    for p in $(pgrep wineserver); do
        if [ "$(basename "$(readlink "/proc/$p/cwd")")" = "$dir" ]; then
            APP_SERVER_PID=$p
            return 0
        fi
    done
    return 1
}

# app_server_rate SECS: the Wine server's ms per second over that long while quillet.exe waits
# idle and the moving picture plays (taken off each recording's server time).
app_server_rate() {
    local a b t0 t1
    a=$(cpu_of "$APP_SERVER_PID")
    t0=$EPOCHREALTIME
    sleep "$1"
    b=$(cpu_of "$APP_SERVER_PID")
    t1=$EPOCHREALTIME
    APP_SERVER_RATE=$(awk -v a="$a" -v b="$b" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.3f", (b - a) / (t1 - t0) }')
}

app_start() { # MS FPS X Y W H
    local ms=$1 fps=$2 x=$3 y=$4 w=$5 h=$6 ini l t r b
    APP_MS=$ms
    ini=$(e2e_settings_file)
    mkdir -p "$(dirname "$ini")"
    # Record Again records CaptureRight - CaptureLeft across and CaptureBottom - CaptureTop down.
    printf '[Quillet]\r\nCompressor=MSVC\r\nQuality=10000\r\nMsPerFrame=%d\r\nPlaybackFps=%d\r\nAreaLeft=%d\r\nAreaTop=%d\r\nAreaRight=%d\r\nAreaBottom=%d\r\nSound=0\r\nAviName=C:\\windows\\temp\\app_bench.avi\r\n' \
        "$ms" "$fps" "$x" "$y" $((x + w)) $((y + h)) >"$ini"
    E2E_KEEP_SETTINGS=1 e2e_start_quillet . 2 || { echo "bench: quillet.exe showed no main window" >&2; return 1; }
    app_find_server || { echo "bench: no Wine server for $WINEPREFIX" >&2; return 1; }
    read -r l t r b < <(drive rect "@$MAIN" "Record Again")
    APP_RECORD_AT="$(((l + r) / 2)) $(((t + b) / 2))"
    read -r l t r b < <(drive rect "@$MAIN" Stop)
    APP_STOP_AT="$(((l + r) / 2)) $(((t + b) / 2))"
    [ "$(drive enabled "@$MAIN" "Record Again")" = 1 ] ||
        { echo "bench: Record Again is not enabled (the area in the settings was refused)" >&2; return 1; }
}

app_quit() {
    drive close "@$MAIN" >/dev/null
    e2e_wait_exit "$QUILLET_PID" 10 || e2e_stop "$QUILLET_PID" 2
    MAIN='' QUILLET_PID=''
}

# The thread ids of quillet.exe now, one a line, in order of creation.
app_threads() { ls "/proc/$QUILLET_PID/task" 2>/dev/null | sort -n; }

app_record() { # SECS
    local secs=$1 avi="$WINEPREFIX/drive_c/windows/temp/app_bench.avi"
    local before p0 s0 x0 t0 p1 s1 x1 t1 tid new=() main worker writer n last
    declare -A c0=()
    rm -f "$avi"
    before=$(app_threads)
    for tid in $before; do c0[$tid]=$(cpu_of "$QUILLET_PID" "$tid"); done
    p0=$(cpu_of "$QUILLET_PID") s0=$(cpu_of "$APP_SERVER_PID") x0=$(cpu_of "$E2E_XVFB_PID")
    t0=$EPOCHREALTIME
    # shellcheck disable=SC2086 # x y
    xdotool mousemove $APP_RECORD_AT click 1
    # shellcheck disable=SC2086
    [ "${APP_POINTER:-button}" = away ] && xdotool mousemove 4 $(($(_app_screen_height) - 4))
    sleep "$secs"
    # The threads' times just before Stop: the recording's own end is in the process's total.
    for tid in $(app_threads); do
        [ -n "${c0[$tid]:-}" ] || { new+=("$tid"); c0[$tid]=0; }
    done
    main=$(awk -v a="$(cpu_of "$QUILLET_PID" "$QUILLET_PID")" -v b="${c0[$QUILLET_PID]}" 'BEGIN { print a - b }')
    worker=$(cpu_of "$QUILLET_PID" "${new[0]:-0}")
    writer=$(cpu_of "$QUILLET_PID" "${new[1]:-0}")
    # shellcheck disable=SC2086
    xdotool mousemove $APP_STOP_AT click 1
    # shellcheck disable=SC2086
    [ "${APP_POINTER:-button}" = away ] && xdotool mousemove 4 $(($(_app_screen_height) - 4))
    # The recording has ended when its threads have, and its file is complete.
    e2e_wait 60 _app_threads_are "$before"
    avi_wait "$avi" 30 >/dev/null
    p1=$(cpu_of "$QUILLET_PID") s1=$(cpu_of "$APP_SERVER_PID") x1=$(cpu_of "$E2E_XVFB_PID")
    t1=$EPOCHREALTIME
    n=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
        -of csv=p=0 "$avi" 2>/dev/null)
    last=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 "$avi" 2>/dev/null | tail -1)
    awk -v n="${n:-0}" -v last="${last:-0}" -v ms="$APP_MS" -v p="$((0))" \
        -v p0="$p0" -v p1="$p1" -v s0="$s0" -v s1="$s1" -v x0="$x0" -v x1="$x1" \
        -v rate="$APP_SERVER_RATE" -v t0="$t0" -v t1="$t1" \
        -v main="$main" -v worker="$worker" -v writer="$writer" -v threads="${#new[@]}" 'BEGIN {
        server = (s1 - s0) - rate * (t1 - t0)
        printf "app frames=%d positions=%d skipped=%d seconds=%.3f threads=%d", n, last + 1, last + 1 - n, (last + 1) * ms / 1000, threads
        printf " process=%.1f server=%.1f server_raw=%.1f xserver=%.1f main=%.1f worker=%.1f writer=%.1f rest=%.1f\n",
            p1 - p0, server, s1 - s0, x1 - x0, main, worker, writer, (p1 - p0) - main - worker - writer }'
}
_app_screen_height() { xdotool getdisplaygeometry | cut -d' ' -f2; }
_app_threads_are() { [ "$(app_threads)" = "$1" ]; }
