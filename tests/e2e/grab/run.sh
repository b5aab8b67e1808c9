#!/usr/bin/env bash
# The frame grabber and the corner marker on the real API: grab_check.exe puts a known picture
# on the screen, grabs areas of it through the recorder and checks the frames itself; then it
# shows the marker around an area, and this script checks a screenshot of it pixel by pixel:
# the brackets in the idle colour exactly where they belong, the picture everywhere else.
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-62}
e2e_begin grab grab_check.exe
exe=$E2E_WIN_BUILD/grab_check.exe

cd "$E2E_TMP" || exit 1
e2e_bg grab_check "$exe"
pid=$E2E_BG_PID
log=$E2E_OUT/grab_check.log
_marker_up() {
    grep -q READY "$log" 2>/dev/null && return 0
    e2e_alive "$pid" || return 2
    return 1
}
if ! e2e_wait 30 _marker_up; then
    e2e_tally <"$log"
    e2e_abort "grab_check" "did not get to the marker: $(tr -d '\r' <"$log" | tail -3 | tr '\n' ' ')"
fi
sleep 0.3
e2e_shot "$E2E_OUT/marker.png"
touch shot.done
e2e_wait_exit "$pid" 15 || e2e_fail "grab_check" "did not end after the screenshot"

# The program's own checks.
e2e_tally <"$log"

# The screenshot: every pixel of the marker window's rectangle is either bracket (idle green)
# or the picture beneath; the marked area itself is all picture.
read -r ax ay aw ah px py <<<"$(tr -d '\r' <"$log" | sed -n 's/^marker: area \([-0-9]*\) \([-0-9]*\) \([0-9]*\) \([0-9]*\) picture \([-0-9]*\) \([-0-9]*\).*/\1 \2 \3 \4 \5 \6/p')"
/usr/bin/convert "$E2E_OUT/marker.png" -depth 8 "rgb:$E2E_TMP/shot.rgb"
result=$(python3 - "$E2E_TMP/shot.rgb" "$ax" "$ay" "$aw" "$ah" "$px" "$py" <<'EOF'
import sys
path, ax, ay, W, H, px, py = sys.argv[1], *map(int, sys.argv[2:])
data = open(path, 'rb').read()
sw = 1024
def at(x, y):
    i = (y * sw + x) * 3
    return tuple(data[i:i + 3])
def pattern(x, y):
    return ((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255)
def bracket(x, y):
    def box(x0, x1, y0, y1): return x0 <= x <= x1 and y0 <= y <= y1
    return (box(0, 23, 0, 7) or box(0, 7, 0, 23) or box(W - 11, W + 15, 0, 7) or
            box(W + 9, W + 15, 0, 23) or box(0, 23, H + 9, H + 15) or box(0, 7, H - 11, H + 15) or
            box(W - 11, W + 15, H + 9, H + 15) or box(W + 9, W + 15, H - 11, H + 15))
green, wrong_bracket, wrong_else, inside, nb = (0, 255, 80), [], [], 0, 0
for y in range(ay - 8, ay + H + 8):
    for x in range(ax - 8, ax + W + 8):
        got = at(x, y)
        if bracket(x - ax + 8, y - ay + 8):
            nb += 1
            if got != green: wrong_bracket.append((x, y, got))
        elif got != pattern(x - px, y - py):
            wrong_else.append((x, y, got))
            if ax <= x < ax + W and ay <= y < ay + H: inside += 1
print(f"{nb} {len(wrong_bracket)} {len(wrong_else)} {inside} "
      f"{(wrong_bracket or wrong_else or [None])[0]}")
EOF
)
read -r nb wb we inside first <<<"$result"
echo "screenshot: $nb bracket pixels, $wb of them not idle green, $we other pixels not the picture ($inside inside the area); first wrong: $first" >>"$E2E_OUT/suite.log"
if [ "${nb:-0}" -gt 0 ] && [ "$wb" = 0 ]; then
    e2e_pass "all $nb bracket pixels of the marker are idle green (0,255,80) on the screen"
else
    e2e_fail "marker brackets on the screen" "${wb:-?} of ${nb:-?} bracket pixels not green, first $first"
fi
if [ "${we:-1}" = 0 ]; then
    e2e_pass "no marker pixel inside the area or outside the brackets (the picture shows through)"
else
    e2e_fail "marker shape on the screen" "$we pixels not the picture ($inside inside the area), first $first"
fi
e2e_finish
