#!/usr/bin/env bash
# The recording run and its worker thread on the real Video for Windows under Wine:
# record_check.exe records an area through the recorder while movingpic.exe shows a moving,
# numbered picture there. FFmpeg then checks the file: the requested size, the playback rate,
# every decoded frame being the picture, and the frame positions following the capture times
# (200 ms per capture played at 25 frames per second runs five times faster than real time).
# Recorded once with the uncompressed handler 'DIB ' and once with the project's 'MSVC'.
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
# shellcheck source=../lib/avi.sh
. "$(dirname "$0")/../lib/avi.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-64}
e2e_begin record record_check.exe movingpic.exe

X=200 Y=150 W=320 H=240
STEP=40     # ms per picture number
MSPF=200    # capture interval
FPS=25      # playback rate
SECS=4      # recording time

cd "$E2E_TMP" || exit 1

e2e_bg movingpic "$E2E_WIN_BUILD/movingpic.exe" show $X $Y $W $H $STEP topmost
e2e_wait_visible "$E2E_BG_PID" 20
sleep 0.5

# record NAME HANDLER CODEC: one recording and its checks.
record() {
    local name=$1 handler=$2 codec=$3 avi=$E2E_TMP/$1.avi
    local out
    out=$(E2E_WINE_TIMEOUT=$((SECS + 40)) e2e_wine "$E2E_WIN_BUILD/record_check.exe" "$handler" \
        "$(winepath -w "$avi" 2>/dev/null)" $X $Y $W $H $MSPF $FPS $SECS)
    e2e_log "$name: $out"
    if ! grep -q 'result=idle' <<<"$out" || [ ! -s "$avi" ]; then
        e2e_fail "$name recording" "no file or the recorder did not end: ${out:-no output}"
        return
    fi
    e2e_pass "$name recording ends idle"
    cp "$avi" "$E2E_OUT/"

    local stream
    if stream=$(avi_has "$avi" codec="$codec" size=${W}x$H rate=$FPS/1); then
        e2e_pass "$name stream: ${W}x$H at $FPS/1, $codec"
    else
        e2e_fail "$name stream" "got '$stream', want $codec ${W}x$H at $FPS/1"
    fi

    avi_frames "$avi" $W $H "$name" >/dev/null
    e2e_tally < <(python3 - "$name" "$E2E_OUT/$name.pts" "$E2E_OUT/$name.frames" "$out" \
        $STEP $MSPF $FPS $SECS <<'PY'
import re, sys
name, pts_file, check_file, out = sys.argv[1:5]
step, mspf, fps, secs = map(int, sys.argv[5:9])
pts = [int(l) for l in open(pts_file) if l.strip()]
lines = open(check_file).read().split('\n')
n = [int(m.group(1)) for m in (re.match(r'frame \d+ n=(\d+)', l) for l in lines) if m]
summary = [l for l in lines if re.search(r'\bframes=\d+ matching=', l)]
written = int(re.search(r'frames=(\d+)', out).group(1))
skipped = int(re.search(r'skipped=(\d+)', out).group(1))

def result(ok, check, why):
    print(('PASS: %s %s' % (name, check)) if ok else ('FAIL: %s %s: %s' % (name, check, why)))

m = re.search(r'frames=(\d+) matching=(\d+)', summary[0]) if summary else None
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
    )
}

record dib "DIB " rawvideo
# The project's Video 1 compressor, once it is registered in the prefix.
if e2e_register_codec; then
    record msvc MSVC msvideo1
else
    e2e_fail "msvc" "the MSVC compressor is not registered (scripts/register-codec.sh)"
fi
e2e_finish
