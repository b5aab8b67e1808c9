#!/usr/bin/env bash
# The suites' own library, checked without Wine: every end-to-end check trusts its AVI probe,
# its waits and its tally, so a probe that says yes to a wrong size or a tally that drops a FAIL
# would make the other suites pass whatever the program does. The AVI files here are made by
# FFmpeg, so their sizes, rates and frame counts are known.
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
# shellcheck source=../lib/avi.sh
. "$(dirname "$0")/../lib/avi.sh"
e2e_init harness
cd "$E2E_TMP" || exit 1

# The probe: 64x48, 10 frames per second, 7 frames of FFmpeg's msvideo1.
ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=10 -frames:v 7 -c:v msvideo1 \
    -pix_fmt rgb555le clip.avi || e2e_abort "setup" "FFmpeg wrote no test clip"
head -c 3000 clip.avi >cut.avi
echo "not a video" >text.avi

refused() { ! "$@" >/dev/null 2>&1; }
e2e_expect "avi_has accepts what the file holds" "a true condition refused" \
    avi_has clip.avi codec=msvideo1 size=64x48 rate=10/1 frames=7 min-frames=7
info=$(avi_has clip.avi)
e2e_expect "avi_has prints codec, size, rate and frames" "printed \"$info\"" \
    test "$info" = "msvideo1 64x48 10/1 7"
for cond in codec=rawvideo size=64x46 size=62x48 rate=25/1 frames=6 frames=8 min-frames=8 \
    sise=64x48; do
    e2e_expect "avi_has refuses $cond for a 64x48 clip of 7 frames at 10/1" "accepted" \
        refused avi_has clip.avi "$cond"
done
e2e_expect "avi_has refuses a file FFmpeg cannot read" "accepted" refused avi_has text.avi size=64x48

e2e_expect "avi_decodes accepts a whole clip" "refused" avi_decodes clip.avi
e2e_expect "avi_decodes refuses a clip cut short" "accepted" refused avi_decodes cut.avi

# A file still being written is not complete; one whose size holds still is.
cp clip.avi growing.avi
(for _ in $(seq 20); do
    echo "more" >>growing.avi
    sleep 0.1
done) &
grower=$!
e2e_expect "avi_wait does not take a file that still grows" "took it" refused avi_wait growing.avi 1
wait $grower
e2e_expect "avi_wait takes a file once it holds still" "did not" avi_wait growing.avi 2
e2e_expect "avi_wait does not take a missing file" "took it" refused avi_wait missing.avi 1

# Waits: done as soon as the condition holds, 1 after the time, other answers at once.
took() { # command...: runs the command, prints "status milliseconds-taken"
    local t0 rc
    t0=$(_e2e_now_us)
    "$@"
    rc=$?
    echo "$rc $((($(_e2e_now_us) - t0) / 1000))"
}
later=$(($(_e2e_now_us) + 1000000))
comes_true() { [ "$(_e2e_now_us)" -ge $later ]; }
never() { return 1; }
gives_up() { return 2; }
read -r rc ms < <(took e2e_wait 5 comes_true)
e2e_expect "e2e_wait returns 0 once the condition holds" "status $rc after $ms ms" \
    test "$rc $((ms < 2000))" = "0 1"
read -r rc ms < <(took e2e_wait 1 never)
e2e_expect "e2e_wait returns 1 when its time is up" "status $rc after $ms ms" \
    test "$rc $((ms >= 1000 && ms < 1500))" = "1 1"
read -r rc ms < <(took e2e_wait 5 gives_up)
e2e_expect "e2e_wait ends at once on an answer other than 1" "status $rc after $ms ms" \
    test "$rc $((ms < 500))" = "2 1"

# The tally of a checker program's lines (Windows line ends), in a shell of its own.
tally_of() { # lines: prints "passed failed status" of a fresh tally fed those lines
    (
        E2E_PASSED=0 E2E_FAILED=0
        printf '%s' "$1" | tr '\n' '\0' | sed 's/\x0/\r\n/g' >lines.txt
        e2e_tally <lines.txt >/dev/null
        echo "$E2E_PASSED $E2E_FAILED $?"
    )
}
got=$(tally_of $'screen: 32 bpp\nPASS: one\nFAIL: two: why\nPASS: three: with a colon\n')
e2e_expect "e2e_tally counts each PASS and FAIL line" "counted $got" test "$got" = "2 1 0"
e2e_expect "e2e_tally keeps a FAIL's reason" "not in the log" grep -q '] FAIL: two: why$' "$E2E_OUT/suite.log"
got=$(tally_of $'FAIL: crashed\n')
e2e_expect "e2e_tally says so when no check passed" "counted $got" test "$got" = "0 1 1"
got=$(tally_of '')
e2e_expect "e2e_tally of no output at all fails" "counted $got" test "$got" = "0 0 1"

# A kill on purpose ends the process and leaves no "Killed" notice of bash among a suite's lines.
killed=$(bash -c '. "$1"; sleep 30 & p=$!; e2e_kill $p; sleep 0.3; e2e_alive $p && echo alive; sleep 0.1' \
    _ "$E2E_ROOT/tests/e2e/lib/common.sh" 2>&1)
e2e_expect "e2e_kill ends the process without a word from bash" "said: $killed" test -z "$killed"

# A FAIL of e2e_expect shows what the command said.
shown=$( (E2E_FAILED=0 && e2e_expect "inner" "why" sh -c 'echo the reason; exit 3') )
e2e_expect "e2e_expect shows a failing command's output under its FAIL" "showed: $shown" \
    grep -q '^    the reason$' <<<"$shown"
e2e_finish
