# shellcheck shell=bash
# shellcheck disable=SC2034 # E2E_SCREEN is read by e2e_start_xvfb (tests/e2e/lib/common.sh)
# Shared parts of the benchmarks that run the Windows build under Wine, sourced after
# tests/e2e/lib/common.sh (whose display, Wine and moving-picture helpers they use):
#
#   bench_begin capture-bench 2100x1250x24 capture_bench.exe movingpic.exe
#   line=$(e2e_wine "$E2E_WIN_BUILD/capture_bench.exe" ...)
#   fps=$(bench_field fps "$line")          # the value of " fps=..." in a program's line
#   printf '%s\n' 3 1 2 | bench_median      # 2
#   bench_ratio "$a" "$b" 3                 # a / b with 3 decimals, "n/a" when b is 0
#
# A benchmark ends with exit 1 and a line on stderr when it cannot run; it counts no PASS/FAIL.

# bench_begin name screen program.exe...: the output folders, the programs of the Windows build,
# a virtual display of that size (WxHxDepth) and a Wine server that stays between the runs. Wine
# takes the screen size from the first program of a Wine server session: a benchmark on a larger
# screen than the suites' runs with no Wine server of its prefix alive.
bench_begin() {
    local name=$1 p
    E2E_SCREEN=$2 # read by e2e_start_xvfb
    shift 2
    e2e_init "$name"
    for p in "$@"; do
        [ -f "$E2E_WIN_BUILD/$p" ] ||
            { echo "bench: $E2E_WIN_BUILD/$p missing (build the Windows targets first)" >&2; exit 1; }
    done
    e2e_start_xvfb || { echo "bench: no display $E2E_DISPLAY" >&2; exit 1; }
}

# bench_median: the median of the numbers read, one a line (an empty line when they are empty).
bench_median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_field NAME LINE: the value after " NAME=" (up to the next space) in a line a bench
# program printed.
bench_field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }

# bench_ratio a b [decimals]: a / b (2 decimals by default), "n/a" when b is not above 0.
bench_ratio() {
    awk -v a="$1" -v b="$2" -v d="${3:-2}" 'BEGIN { if (b > 0) printf "%." d "f", a / b; else print "n/a" }'
}
