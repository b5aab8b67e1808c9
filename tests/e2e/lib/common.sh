# shellcheck shell=bash
# Shared parts of the end-to-end suites: a private virtual display, a warm Wine, a private
# PulseAudio with a virtual microphone, screenshots, PASS/FAIL counting and a cleanup trap that
# ends everything the suite started (only that: processes are ended by their own ids).
#
#   . "$(dirname "$0")/../lib/common.sh"
#   e2e_init app                  # root, build and output folders, trap; Xvfb not yet started
#   e2e_begin grab grab_check.exe # or all at once: e2e_init, e2e_need for the Windows programs
#                                 # named, e2e_start_xvfb and a lingering Wine server
#   e2e_begin_desktop edges quillet.exe   # the same, and a Wine desktop windows show on
#   e2e_start_xvfb                # on :$QUILLET_DISPLAY (default 66), 1024x768x24; exports DISPLAY
#   e2e_warm_wine
#   e2e_bg quillet "$E2E_WIN_BUILD/quillet.exe"   # started under Wine, ended by the trap
#   e2e_start_quillet [folder [tries]]   # Quillet and its main window: QUILLET_PID, MAIN, DRIVE_PID
#   e2e_show_picture X Y W H step [topmost]   # the moving picture, shown: its pid in E2E_PIC_PID
#   e2e_click "@$main" Record     # a real mouse click in the middle of a control
#   e2e_kill pid                  # kill -9, on purpose: bash says nothing about it
#   main=$(e2e_window_of "$E2E_BG_PID" "Quillet 1.542")   # its window's handle, on our display
#   export DRIVE_PID=$(drive pid "@$main")   # from now on drive sees only that program's windows
#   drive click "@$main" Stop     # tests/e2e/programs/drive.cpp; `drive` alone lists its commands
#   e2e_start_pulse; e2e_microphone tone.wav   # Wine records what tone.wav plays
#   e2e_shot file.png [x y w h]; e2e_pixel file.png x y   # "r,g,b"
#   e2e_pass "name" / e2e_fail "name" "why" / e2e_expect "name" "why" command...
#   e2e_tally <checker.log        # counts a checker program's PASS:/FAIL: lines in the tally
#   e2e_need file...              # a FAIL and the end of the suite when a file is missing
#   e2e_abort "name" "why"        # a FAIL, the tally, exit 1
#   e2e_wait seconds command...   # polls the command every 0.1 s until it succeeds
#   e2e_wait_visible pid          # until the program shows a window on our display
#   e2e_register_codec            # the project's Video 1 compressor, when built (before 'MSVC')
#   e2e_finish                    # prints the tally; use as the suite's last command
#
# tests/e2e/lib/avi.sh (sourced on its own) probes recorded AVI files: avi_info, avi_has,
# avi_wait, avi_decodes, avi_positions, avi_frames, avi_pictures.
#
# Wine programs of the whole prefix share one window list: other suites' windows are visible to
# the driver unless DRIVE_PID narrows it. Never `wineserver -k` from a suite: it ends every
# program of the prefix, other people's too.
#
# Variables after e2e_init: E2E_ROOT (repo root), E2E_WIN_BUILD (absolute), E2E_OUT (the suite's
# output folder, emptied), E2E_TMP (scratch, removed at exit), E2E_DISPLAY (":66").

E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
. "$E2E_ROOT/scripts/env.sh"

E2E_PASSED=0
E2E_FAILED=0
E2E_PIDS=()
E2E_XVFB_PID=
E2E_PULSE_PID=

e2e_init() { # suite-name
    local suite=$1
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    local build=${QUILLET_WIN_BUILD:-build/win}
    case $build in /*) ;; *) build=$E2E_ROOT/$build ;; esac
    E2E_WIN_BUILD=$build
    local n=${QUILLET_DISPLAY:-66}
    E2E_DISPLAY=:${n#:}
    E2E_OUT=${QUILLET_E2E_OUT:-$E2E_ROOT/out/e2e/$suite}
    # Two runs of one suite at once (on two displays) must not share an output folder.
    mkdir -p "$(dirname "$E2E_OUT")"
    if ! e2e_claim "$E2E_OUT"; then
        E2E_OUT=$E2E_OUT.${E2E_DISPLAY#:}
        e2e_claim "$E2E_OUT" || { echo "e2e: $E2E_OUT is in use by another run" >&2; exit 1; }
    fi
    rm -rf "$E2E_OUT"
    mkdir -p "$E2E_OUT"
    E2E_TMP=$(mktemp -d "/tmp/quillet-e2e-$suite.XXXXXX")
}

# e2e_begin suite-name [program.exe...]: the usual start of a suite that runs checker programs
# of the Windows build: its folders, those programs there, its display and a Wine server that
# stays for the next program.
e2e_begin() {
    local suite=$1 p
    shift
    e2e_init "$suite"
    for p in "$@"; do e2e_need "$E2E_WIN_BUILD/$p"; done
    e2e_start_xvfb || e2e_abort "setup" "no virtual display"
    e2e_wine_server
}

# e2e_begin_desktop suite-name [program.exe...]: e2e_begin, and a Wine server whose desktop is
# on our display, so that the programs' windows show (a FAIL and the end of the suite otherwise).
e2e_begin_desktop() {
    e2e_begin "$@"
    e2e_warm_wine 2>>"$E2E_OUT/suite.log" || e2e_abort "Wine desktop" "$(tail -1 "$E2E_OUT/suite.log")"
}

# e2e_claim folder: takes folder.lock for this shell, unless a live process holds it.
E2E_CLAIM=
e2e_claim() {
    local lock=$1.lock holder
    if ! mkdir "$lock" 2>/dev/null; then
        holder=$(cat "$lock/pid" 2>/dev/null || true)
        if [ -n "$holder" ] && kill -0 "$holder" 2>/dev/null; then return 1; fi
        rm -rf "$lock"
        mkdir "$lock" 2>/dev/null || return 1
    fi
    echo $$ >"$lock/pid"
    E2E_CLAIM=$lock
}

e2e_log() { echo "[$(date +%T)] $*" >>"$E2E_OUT/suite.log"; }

e2e_pass() {
    E2E_PASSED=$((E2E_PASSED + 1))
    echo "PASS: $1"
    e2e_log "PASS: $1"
}

e2e_fail() {
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL: $1: $2"
    e2e_log "FAIL: $1: $2"
}

# e2e_expect name why command...: PASS when the command succeeds, FAIL with why otherwise; the
# command's output goes to the log, and under a FAIL on the screen too. Returns 0 either way, so
# that a suite under `set -e` goes on to its next check.
e2e_expect() {
    local name=$1 why=$2 out rc
    shift 2
    out=$("$@" 2>&1)
    rc=$?
    [ -n "$out" ] && echo "$out" >>"$E2E_OUT/suite.log"
    if [ $rc -eq 0 ]; then
        e2e_pass "$name"
    else
        e2e_fail "$name" "$why"
        [ -n "$out" ] && echo "$out" | tail -20 | sed 's/^/    /'
    fi
    return 0
}

# e2e_tally: reads a checker program's output and counts its "PASS: " and "FAIL: " lines as this
# suite's own (they are shown as they are; the other lines go to the log). Returns 1 when there
# was no PASS line at all.
e2e_tally() {
    local line passes=0
    while IFS= read -r line || [ -n "$line" ]; do
        line=${line%$'\r'}
        case $line in
        'PASS: '*)
            e2e_pass "${line#PASS: }"
            passes=$((passes + 1))
            ;;
        'FAIL: '*)
            local rest=${line#FAIL: }
            if [[ $rest == *': '* ]]; then e2e_fail "${rest%%: *}" "${rest#*: }"; else e2e_fail "$rest" "failed"; fi
            ;;
        *) e2e_log "$line" ;;
        esac
    done
    [ $passes -gt 0 ]
}

# e2e_abort name why: the suite cannot go on.
e2e_abort() {
    e2e_fail "$1" "$2"
    e2e_finish
    exit 1
}

# e2e_need file...: each file must exist (programs of the Windows build, mostly).
e2e_need() {
    local f
    for f in "$@"; do
        [ -f "$f" ] || e2e_abort "setup" "$f missing (build the Windows targets first)"
    done
}

# e2e_wait seconds command...: runs the command every 0.1 s while it answers 1 ("not yet"), for
# at most the whole number of seconds given (by the clock: a slow command is not run more
# often). Returns 0 once it succeeds, 1 when the time is up, and any other status of the command
# at once (a condition that can never come true any more, such as the program it waits for
# having ended, says so with 2).
e2e_wait() {
    local until=$(($(_e2e_now_us) + $1 * 1000000)) rc
    shift
    while :; do
        "$@"
        rc=$?
        [ $rc -eq 1 ] || return $rc
        [ "$(_e2e_now_us)" -lt $until ] || return 1
        sleep 0.1
    done
}
_e2e_now_us() { echo "${EPOCHREALTIME//[!0-9]/}"; }

# e2e_wait_visible pid [seconds]: until the program shows a window on our display (10 s).
e2e_wait_visible() {
    e2e_wait "${2:-10}" _e2e_shows_window "$1"
}
_e2e_shows_window() {
    xdotool search --onlyvisible --pid "$1" >/dev/null 2>&1 && return 0
    e2e_alive "$1" || return 2
    return 1
}

e2e_finish() {
    echo "e2e: $E2E_PASSED passed, $E2E_FAILED failed (output in ${E2E_OUT#"$E2E_ROOT"/})"
    [ "$E2E_FAILED" -eq 0 ]
}

e2e_start_xvfb() {
    local n=${E2E_DISPLAY#:}
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then
        local holder
        holder=$(tr -d ' ' <"/tmp/.X$n-lock" 2>/dev/null || true)
        if [ -n "$holder" ] && kill -0 "$holder" 2>/dev/null; then
            echo "e2e: display $E2E_DISPLAY is in use (pid $holder); set QUILLET_DISPLAY" >&2
            return 1
        fi
    fi
    Xvfb "$E2E_DISPLAY" -screen 0 "${E2E_SCREEN:-1024x768x24}" -nolisten tcp -noreset \
        >"$E2E_OUT/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    export DISPLAY=$E2E_DISPLAY
    e2e_wait 10 _e2e_display_up && return 0
    echo "e2e: Xvfb on $E2E_DISPLAY did not come up" >&2
    return 1
}
_e2e_display_up() {
    xdpyinfo >/dev/null 2>&1 && return 0
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || return 2
    return 1
}

# e2e_wine_server: a Wine server that lingers 30 s after its last program. A Wine start takes
# half a second without one and a twentieth with it.
e2e_wine_server() {
    setsid wineserver -p30 >/dev/null 2>&1 </dev/null &
}

# e2e_register_codec [msvc32.dll]: registers the project's Video 1 compressor (by default the
# Windows build's) in the prefix, for recordings with 'MSVC' (Wine has only a decoder for it).
# Registering runs Wine: call it once the display is up, so that a Wine server it starts meets
# that display (a server keeps the first one). Returns 1 when the DLL is not built or
# registering fails.
# shellcheck disable=SC2120 # the DLL is an optional argument
e2e_register_codec() {
    local dll=${1:-$E2E_WIN_BUILD/codec/msvc32.dll}
    [ -f "$dll" ] || { e2e_log "no $dll to register"; return 1; }
    bash "$E2E_ROOT/scripts/register-codec.sh" "$dll" >>"$E2E_OUT/suite.log" 2>&1 && return 0
    e2e_log "codec registration failed"
    return 1
}

# A wineserver that lingers for a while after its last client saves half a second on every
# Wine start. If one already runs for the prefix (another suite), that one is used.
# A Wine server keeps the desktop of the display it first met: one started by a Wine command
# without a display (or whose display has gone) leaves no desktop, and no program of the prefix
# shows a window until that server has ended. Returns 1, with the reason, in that case.
e2e_warm_wine() {
    e2e_wine_server
    local windows
    windows=$(e2e_wine "$E2E_WIN_BUILD/drive.exe" windows all 2>/dev/null)
    if [ -z "$windows" ]; then
        echo "e2e: the running Wine server of $WINEPREFIX has no desktop (started without a display?): no window can show until it ends (wineserver -k, when nobody else uses the prefix)" >&2
        return 1
    fi
}

# Runs a Windows program in the foreground under Wine with a time limit; console line ends
# are turned into plain ones.
e2e_wine() {
    local limit=${E2E_WINE_TIMEOUT:-30}
    timeout -k 2 "$limit" wine "$@" </dev/null 2>>"$E2E_OUT/wine.log" | tr -d '\r'
    return "${PIPESTATUS[0]}"
}

drive() { e2e_wine "$E2E_WIN_BUILD/drive.exe" "$@"; }

# e2e_bg name program args...: starts a Windows program in the background under Wine, its output
# in $E2E_OUT/name.log; the pid (the Windows process itself: wine execs into it) is in E2E_BG_PID
# and is ended by the trap.
e2e_bg() {
    local name=$1
    shift
    wine "$@" </dev/null >>"$E2E_OUT/$name.log" 2>&1 &
    E2E_BG_PID=$!
    E2E_PIDS+=("$E2E_BG_PID")
}

# e2e_kill pid: ends a background program at once, as a crash or a power cut would. The job is
# disowned first, so that bash prints no "Killed" notice for an end the suite chose.
e2e_kill() {
    disown "$1" 2>/dev/null
    kill -9 "$1" 2>/dev/null
}

# e2e_start_quillet [folder [tries]]: starts quillet.exe (in the folder given: its current
# folder, where test.avi goes) and finds its main window. Sets QUILLET_PID and MAIN, and exports
# DRIVE_PID so that drive sees only that program's windows. Wine now and then loses a program
# started right after another one was killed: with tries above 1, a start that shows no window
# is ended and made again. Returns 1 when no main window showed.
QUILLET_PID='' MAIN=''
e2e_start_quillet() {
    local folder=${1:-.} tries=${2:-1} try
    for ((try = 1; try <= tries; try++)); do
        if [ "$try" -gt 1 ]; then
            e2e_log "Quillet (pid $QUILLET_PID) showed no window; alive: $(e2e_alive "$QUILLET_PID" && echo yes || echo no); starting it again"
            e2e_stop "$QUILLET_PID" 2
            sleep 2
        fi
        _e2e_quillet_once "$folder" && return 0
    done
    return 1
}
_e2e_quillet_once() { # folder
    # Every start from the default settings: one suite's must not reach the next.
    [ -n "${E2E_KEEP_SETTINGS:-}" ] || rm -f "$(e2e_settings_file)"
    pushd "$1" >/dev/null || return 1
    e2e_bg quillet "$E2E_WIN_BUILD/quillet.exe"
    QUILLET_PID=$E2E_BG_PID
    popd >/dev/null || return 1
    unset DRIVE_PID
    MAIN=$(e2e_window_of "$QUILLET_PID" "Quillet 1.542" 30) && [[ $MAIN =~ ^(0x)?[0-9a-fA-F]+$ ]] ||
        { MAIN=''; return 1; }
    DRIVE_PID=$(drive pid "@$MAIN") || { e2e_log "drive pid failed for $MAIN"; return 1; }
    export DRIVE_PID
}

# e2e_settings_file: Quillet's settings in the prefix, removed at each start of
# e2e_start_quillet unless E2E_KEEP_SETTINGS=1.
e2e_settings_file() {
    echo "$WINEPREFIX/drive_c/users/${USER:-$(id -un)}/AppData/Roaming/Quillet/Quillet.ini"
}

# e2e_show_picture X Y W H step [topmost]: starts the moving picture (tests/e2e/programs/
# movingpic.cpp) over that area and returns once it shows and has settled; its pid is in
# E2E_PIC_PID (ended by the trap, or by e2e_stop). Returns 1 when it shows no window.
e2e_show_picture() {
    e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show "$@"
    E2E_PIC_PID=$E2E_BG_PID
    e2e_wait_visible "$E2E_PIC_PID" 10 || return 1
    sleep 0.5
}

# e2e_click window control: a mouse click in the middle of a control, as a user gives it
# (Record needs a real click: its area detection takes snapshots of the screen).
e2e_click() {
    local l t r b
    read -r l t r b < <(drive rect "$1" "$2") || return 1
    [ -n "$b" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

# e2e_alive pid: the process exists and is not a zombie.
e2e_alive() {
    local st
    st=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [ -n "$st" ] && [[ $st != Z* ]]
}

# e2e_stop pid [grace_seconds]: asks the process to end, then forces it.
e2e_stop() {
    local pid=$1 grace=${2:-3}
    e2e_alive "$pid" || return 0
    kill "$pid" 2>/dev/null || true
    e2e_wait_exit "$pid" "$grace" || kill -9 "$pid" 2>/dev/null || true
}

# e2e_wait_exit pid seconds: waits for a process to end by itself; 1 when it is still there.
e2e_wait_exit() {
    e2e_wait "$2" _e2e_gone "$1"
}
_e2e_gone() { ! e2e_alive "$1"; }

# A private PulseAudio with a null sink; Wine records from its monitor, which a player feeds.
e2e_start_pulse() {
    local d=$E2E_TMP/pulse
    mkdir -p "$d"
    export PULSE_RUNTIME_PATH=$d PULSE_STATE_PATH=$d PULSE_SERVER=unix:$d/native
    setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$d/native" \
        -L "module-null-sink sink_name=vsink rate=22050 channels=1 format=s16le" \
        -L "module-always-sink" >"$E2E_OUT/pulse.log" 2>&1 </dev/null &
    E2E_PULSE_PID=$!
    if e2e_wait 5 pactl info >/dev/null 2>&1; then
        pactl set-default-source vsink.monitor >/dev/null 2>&1 || true
        return 0
    fi
    echo "e2e: PulseAudio did not start" >&2
    return 1
}

# e2e_microphone file.wav: plays the file into the null sink (what Wine records); returns
# after the stream has settled. The player is ended by the trap or by e2e_stop "$E2E_MIC_PID".
e2e_microphone() {
    paplay --latency-msec=20 --device=vsink "$1" >>"$E2E_OUT/pulse.log" 2>&1 </dev/null &
    E2E_MIC_PID=$!
    E2E_PIDS+=("$E2E_MIC_PID")
    sleep 2.5
}

# e2e_shot file [x y w h]: the whole screen, or a part of it.
e2e_shot() {
    if [ $# -ge 5 ]; then
        import -window root -crop "${4}x${5}+${2}+${3}" +repage "$1" 2>>"$E2E_OUT/suite.log"
    else
        import -window root "$1" 2>>"$E2E_OUT/suite.log"
    fi
}

# A program that crashes starts Wine's debugger, whose windows then cover the screen. They show
# on our own display, so their processes are ours to end.
e2e_stop_debugger() {
    local w pid
    [ -n "${DISPLAY:-}" ] || return 0
    for w in $(xdotool search --name '^(Program Error|Wine Debugger)$' 2>/dev/null); do
        pid=$(xdotool getwindowpid "$w" 2>/dev/null) || continue
        e2e_log "ending Wine's debugger (pid $pid)"
        e2e_stop "$pid" 2
    done
}

e2e_cleanup() {
    local rc=$? i
    e2e_stop_debugger
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        e2e_stop "${E2E_PIDS[i]}" 2
    done
    [ -n "$E2E_PULSE_PID" ] && e2e_stop "$E2E_PULSE_PID" 2
    [ -n "$E2E_XVFB_PID" ] && e2e_stop "$E2E_XVFB_PID" 2
    [ -n "${E2E_TMP:-}" ] && rm -rf "$E2E_TMP"
    [ -n "$E2E_CLAIM" ] && rm -rf "$E2E_CLAIM"
    exit "$rc"
}

# e2e_window_of pid title [seconds]: handle of the visible top-level window with that exact
# title that the program started as pid (a unix pid) shows on our display. Other suites' Wine
# programs share the prefix's window list, so the window is found through its X window.
e2e_window_of() {
    e2e_wait "${3:-20}" _e2e_window_in "$1" "$2" && return 0
    return 1
}
# Prints the handle only once found (the driver's "not found" lines are no handle).
_e2e_window_in() { # pid title
    local ids handle
    ids=$(xdotool search --pid "$1" 2>/dev/null)
    # shellcheck disable=SC2086 # one argument per X window id
    if [ -n "$ids" ] && handle=$(drive find-x "$2" $ids); then
        echo "$handle"
        return 0
    fi
    e2e_alive "$1" || return 2
    return 1
}

# e2e_pixel file x y: the colour of one pixel of an image as "r,g,b".
e2e_pixel() {
    /usr/bin/convert "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}
