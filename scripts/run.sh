#!/usr/bin/env bash
# Runs Quillet under Wine. Builds what is missing first (set-up, then the Windows build when
# quillet.exe is missing or older than its sources). With a reachable $DISPLAY it starts the
# program there and waits for it to end; the AVI and WAV files land in out/quillet/. Without a
# display it records a demo on a virtual one: a moving test picture, Record clicked with the
# mouse, a few seconds of recording, Stop, and tells where the AVI and the screenshots are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. scripts/env.sh

bash scripts/setup.sh

win=$root/build/win
exe=$win/quillet.exe
stale() {
    [ -f "$exe" ] && [ -f "$win/drive.exe" ] && [ -f "$win/movingpic.exe" ] || return 0
    [ -n "$(find framework avifile recorder marker ui codec tests/e2e/programs CMakeLists.txt \
        -newer "$exe" -type f -print -quit 2>/dev/null)" ]
}
if stale; then
    echo "run: building the Windows build into build/win"
    mkdir -p "$win" # a fresh clone has no build/ for the logs yet
    cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release >"$win.configure.log" 2>&1 ||
        { tail -20 "$win.configure.log"; exit 1; }
    # Only what running needs: the program, the compressor, the demo's picture and driver.
    cmake --build "$win" -j"${QUILLET_JOBS:-2}" --target quillet msvc32 movingpic drive \
        >"$win.build.log" 2>&1 || { grep -E 'error' "$win.build.log" | head -20; exit 1; }
fi
# Registering the compressor runs Wine; a Wine server keeps the display it first meets, so that
# happens once the display is known.
register_codec() {
    if [ -x scripts/register-codec.sh ] && [ -f "$win/codec/msvc32.dll" ]; then
        bash scripts/register-codec.sh "$win/codec/msvc32.dll"
    fi
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    register_codec
    mkdir -p out/quillet
    echo "run: starting Quillet on $DISPLAY; its files go to out/quillet/"
    cd out/quillet
    exec wine "$exe"
fi

# No display: a recorded demo on a virtual one.
display=${QUILLET_DISPLAY:-}
if [ -z "$display" ]; then
    for n in $(seq 90 120); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
    done
fi
export QUILLET_DISPLAY=$display QUILLET_WIN_BUILD=$win QUILLET_E2E_OUT=$root/out/quillet-demo
. tests/e2e/lib/common.sh
e2e_init quillet-demo
out=$E2E_OUT
echo "run: no display; recording a demo on a virtual display :$display (1024x768)"
e2e_start_xvfb
e2e_warm_wine || exit 1
(cd "$root" && register_codec)

e2e_bg movingpic "$win/movingpic.exe" show 24 40 257 193 40
echo "run: moving test picture shown at (24, 40), 257 x 193"
cd "$out"
# The demo records test.avi with the default settings; the user's kept ones come back after it.
settings=$(e2e_settings_file)
[ -f "$settings" ] && mv "$settings" "$settings.before-demo"
e2e_bg quillet "$exe"
quillet_pid=$E2E_BG_PID
main=$(e2e_window_of "$quillet_pid" "Quillet 1.542" 30) || { echo "run: the main window did not appear"; exit 1; }
DRIVE_PID=$(drive pid "@$main")
export DRIVE_PID
echo "run: Quillet started, main window $main"

click() { # caption: a mouse click in the middle of the button, as a user would
    local l t r b
    read -r l t r b < <(drive rect "@$main" "$1")
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
    echo "run: clicked \"$1\" at ($(((l + r) / 2)), $(((t + b) / 2)))"
}

sleep 1
click Record
if caption=$(drive wait-caption "@$main" "ms/Frame" 10000); then
    echo "run: recording; caption \"$caption\""
else
    echo "run: no progress caption appeared ($caption)"
fi
sleep 4
e2e_shot "$out/screen-recording.png"
click Stop
for _ in $(seq 50); do
    size1=$(stat -c %s test.avi 2>/dev/null || echo 0)
    sleep 0.2
    size2=$(stat -c %s test.avi 2>/dev/null || echo 0)
    [ "$size1" -gt 0 ] && [ "$size1" = "$size2" ] && break
done
sleep 0.5
e2e_shot "$out/screen.png"
echo "run: caption after Stop: \"$(drive caption "@$main")\""
drive close "@$main" >/dev/null
e2e_wait_exit "$quillet_pid" 10 || echo "run: Quillet did not exit after its window was closed"
if [ -f "$settings.before-demo" ]; then mv "$settings.before-demo" "$settings"; else rm -f "$settings"; fi

rel=${out#$root/}
if [ -s test.avi ]; then
    echo "run: AVI: $rel/test.avi ($(stat -c %s test.avi) bytes)"
    echo "run: ffprobe: $(ffprobe -v error -select_streams v:0 -count_packets -show_entries \
        stream=codec_name,width,height,r_frame_rate,nb_read_packets -of compact=p=0 test.avi 2>&1)"
else
    echo "run: no AVI was written (see $rel/quillet.log)"
fi
echo "run: screenshots: $rel/screen-recording.png (while recording), $rel/screen.png (after Stop)"
