#!/usr/bin/env bash
# The recording run and its worker thread on the real Video for Windows under Wine:
# record_check.exe records an area through the recorder while movingpic.exe shows a moving,
# numbered picture there. FFmpeg then checks the file: the requested size, the playback rate,
# every decoded frame being the picture, and the frame positions following the capture times
# (200 ms per capture played at 25 frames per second runs five times faster than real time).
# Recorded once with the uncompressed handler 'DIB ' and once with the project's 'MSVC'.
set -u
. "$(dirname "$0")/../lib/common.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-64}
e2e_init record

X=200 Y=150 W=320 H=240
STEP=40     # ms per picture number
MSPF=200    # capture interval
FPS=25      # playback rate
SECS=4      # recording time

for exe in record_check movingpic; do
    if [ ! -f "$E2E_WIN_BUILD/$exe.exe" ]; then
        e2e_fail "setup" "$E2E_WIN_BUILD/$exe.exe missing (build the Windows targets first)"
        e2e_finish
        exit 1
    fi
done
e2e_start_xvfb || { e2e_fail "setup" "no virtual display"; e2e_finish; exit 1; }
setsid wineserver -p30 >/dev/null 2>&1 </dev/null &
cd "$E2E_TMP" || exit 1

e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show $X $Y $W $H $STEP topmost
pic=$E2E_BG_PID
for i in $(seq 100); do
    xdotool search --onlyvisible --pid "$pic" >/dev/null 2>&1 && break
    e2e_alive "$pic" || break
    sleep 0.2
done
sleep 0.5

# record NAME HANDLER CODEC: one recording and its checks.
record() {
    local name=$1 handler=$2 codec=$3 avi=$E2E_TMP/$1.avi
    local out
    out=$(E2E_WINE_TIMEOUT=$((SECS + 40)) e2e_wine "$E2E_WIN_BUILD/record_check.exe" "$handler" \
        "$(winepath -w "$avi" 2>/dev/null)" $X $Y $W $H $MSPF $FPS $SECS)
    echo "$name: $out" >>"$E2E_OUT/suite.log"
    if ! grep -q 'result=idle' <<<"$out" || [ ! -s "$avi" ]; then
        e2e_fail "$name recording" "no file or the recorder did not end: ${out:-no output}"
        return
    fi
    e2e_pass "$name recording ends idle"
    cp "$avi" "$E2E_OUT/"

    local stream
    stream=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height,r_frame_rate \
        -of default=nw=1 "$avi" | tr '\n' ' ')
    local want="codec_name=$codec width=$W height=$H r_frame_rate=$FPS/1 "
    if [ "$stream" = "$want" ]; then
        e2e_pass "$name stream: ${W}x$H at $FPS/1, $codec"
    else
        e2e_fail "$name stream" "got '$stream', want '$want'"
    fi

    ffprobe -v error -select_streams v:0 -show_entries frame=pts -of csv=p=0 "$avi" >"$name.pts"
    ffmpeg -v error -i "$avi" -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -y "$name.rgb"
    e2e_wine "$E2E_WIN_BUILD/movingpic.exe" check $W $H $W $H "$(winepath -w "$E2E_TMP/$name.rgb" 2>/dev/null)" \
        >"$name.check"
    cp "$name.check" "$name.pts" "$E2E_OUT/"

    python3 - "$name" "$name.pts" "$name.check" "$out" $STEP $MSPF $FPS $SECS <<'PY'
import re, sys
name, pts_file, check_file, out = sys.argv[1:5]
step, mspf, fps, secs = map(int, sys.argv[5:9])
pts = [int(l) for l in open(pts_file) if l.strip()]
lines = open(check_file).read().split('\n')
n = [int(m.group(1)) for m in (re.match(r'frame \d+ n=(\d+)', l) for l in lines) if m]
summary = [l for l in lines if l.startswith('frames=')]
written = int(re.search(r'frames=(\d+)', out).group(1))
skipped = int(re.search(r'skipped=(\d+)', out).group(1))

def result(ok, check, why):
    print(('PASS: %s %s' % (name, check)) if ok else ('FAIL: %s %s: %s' % (name, check, why)))

m = re.match(r'frames=(\d+) matching=(\d+)', summary[0]) if summary else None
result(m and int(m.group(1)) == len(pts) == written and m.group(1) == m.group(2),
       'every frame shows the moving picture',
       'decoded %d frames, recorder wrote %d, checker says %s' % (len(pts), written, summary))

# Frames sit at the positions of their capture times: picture numbers advance with the
# positions at STEP ms per number and MSPF ms per position (a grab's own time as slack).
bad = [(p, k) for p, k in zip(pts, n)
       if abs((k - n[0]) * step - (p - pts[0]) * mspf) > 150] if n and pts else ['none']
result(not bad and all(b > a for a, b in zip(n, n[1:])) and pts[0] == 0,
       'positions follow the capture times', 'off by more than 150 ms at (pos, picture) %s' % bad[:5])

# Time lapse: SECS seconds of capture at MSPF ms per frame play for SECS*1000/MSPF/FPS s.
duration = (pts[-1] + 1) / fps if pts else 0
want = secs * 1000 / mspf / fps
result(abs(duration - want) <= 0.25 * want, 'plays %.2f s for %d s of capture' % (want, secs),
       'plays %.2f s' % duration)

gaps = (pts[-1] + 1 - len(pts)) if pts else -1
result(gaps == skipped, 'empty positions are the skipped frames',
       '%d gaps in the file, the recorder counted %d' % (gaps, skipped))
PY
}

# Runs record in a subshell and carries its tally over.
run_checks() {
    local lines
    lines=$(record "$@")
    echo "$lines" | grep -E '^(PASS|FAIL): '
    E2E_PASSED=$((E2E_PASSED + $(grep -c '^PASS: ' <<<"$lines")))
    E2E_FAILED=$((E2E_FAILED + $(grep -c '^FAIL: ' <<<"$lines")))
}

run_checks dib "DIB " rawvideo

# The project's Video 1 compressor, once it is registered in the prefix.
if [ -x "$E2E_ROOT/scripts/register-codec.sh" ]; then
    dll=$E2E_WIN_BUILD/codec/msvc32.dll
    if [ -f "$dll" ]; then
        "$E2E_ROOT/scripts/register-codec.sh" "$dll" >>"$E2E_OUT/suite.log" 2>&1
    fi
    if wine reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32' /v vidc.msvc 2>/dev/null |
        tr -d '\r' | grep -qi 'msvc32\.dll'; then
        run_checks msvc MSVC msvideo1
    else
        e2e_fail "msvc" "the MSVC compressor is not registered (scripts/register-codec.sh)"
    fi
fi

e2e_finish
