#!/usr/bin/env bash
# What the Record command's area detection adds to its half-second pause under Wine on a
# 1920x1080 virtual screen, against the same detection with single GetPixel reads; once with a
# still screen and once with a 640x360 box changing colour. Goal: every run under 50 ms over the
# pause.
#
#   bench/detect/run.sh [runs]     QUILLET_DISPLAY (default 65), QUILLET_WIN_BUILD as for e2e
set -u
# A prefix of its own: the screen size Wine reports is fixed by the first program of a
# wineserver session, and the test suites share the project prefix at 1024x768.
export QUILLET_WINEPREFIX=${QUILLET_BENCH_WINEPREFIX:-$HOME/.cache/quillet/wineprefix-detect}
. "$(dirname "$0")/../../tests/e2e/lib/common.sh"
. "$(dirname "$0")/../lib/bench.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-65}
GEOMETRY=${QUILLET_BENCH_GEOMETRY:-1920x1080x24}
bench_begin detect-bench "$GEOMETRY" detect_bench_win.exe
exe=$E2E_WIN_BUILD/detect_bench_win.exe
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "detect bench: creating $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi
setsid wineserver -p5 >/dev/null 2>&1 </dev/null &

E2E_WINE_TIMEOUT=120 e2e_wine "$exe" "${1:-5}" | tee "$E2E_OUT/detect_bench.txt"
for case in still box; do
    slowest=$(sed -n "s/^$case detection: .*slowest run \([0-9.-]*\)).*/\1/p" "$E2E_OUT/detect_bench.txt")
    [ -n "$slowest" ] || { echo "detect bench: no figures" >&2; exit 1; }
    awk -v c="$case" -v o="$slowest" 'BEGIN { printf "goal (%s): slowest run %s ms over the pause, %s\n", c, o, (o < 50 ? "every run under 50 ms" : "NOT every run under 50 ms") }'
done
