#!/usr/bin/env bash
# A recording of more than 5 GB of frames under Wine, to see the AVI size limit at its real size:
# the whole virtual screen (1024 x 768) with the uncompressed 'DIB ' handler, a capture every
# millisecond, for two minutes, while the moving picture plays. Every file must stay under 2 GiB and
# decode completely in FFmpeg, and the frames decoded across the files must add up to the
# recorder's FramesWritten. Needs about 7 GB free in /tmp and a few minutes; not part of the
# test command.
#
#   QUILLET_DISPLAY=<n> QUILLET_WIN_BUILD=build/win bash tests/e2e/edges/bigrun.sh [seconds]
set -u
. "$(dirname "$0")/../lib/common.sh"
e2e_begin_desktop edges-bigrun split_record.exe movingpic.exe drive.exe
SECS=${1:-120}
W=1024 H=768

e2e_show_picture 0 0 $W $H 40 topmost
sleep 2.5

out=$(E2E_WINE_TIMEOUT=$((SECS + 300)) e2e_wine "$E2E_WIN_BUILD/split_record.exe" 'DIB ' \
    "$(winepath -w "$E2E_TMP/big.avi" 2>/dev/null)" 0 0 $W $H 1 10 "$SECS")
echo "$out" | tee -a "$E2E_OUT/suite.log"
written=$(sed -n 's/.*recorded frames=\([0-9]*\).*/\1/p' <<<"$out")
[ -n "$written" ] || { e2e_fail "recording" "no result: $out"; e2e_finish; exit 1; }

sum=0 bytes=0 bad=''
for f in "$E2E_TMP"/big*.avi; do
    size=$(stat -c %s "$f")
    bytes=$((bytes + size))
    [ "$size" -lt 2147483648 ] || bad="$bad $(basename "$f") is $size bytes;"
    errs=$(ffmpeg -nostdin -v error -i "$f" -f null - 2>&1)
    read -r frames packets < <(ffprobe -v error -select_streams v:0 -count_frames -count_packets \
        -show_entries stream=nb_read_frames,nb_read_packets -of csv=p=0 "$f" | tr ',' ' ')
    echo "$(basename "$f"): $size bytes, $frames frames decoded of $packets packets${errs:+, errors: $errs}" |
        tee -a "$E2E_OUT/suite.log"
    [ -z "$errs" ] && [ "$frames" = "$packets" ] || bad="$bad $(basename "$f") does not decode completely;"
    sum=$((sum + ${frames:-0}))
done
if [ -z "$bad" ] && [ "$sum" = "$written" ] && [ "$bytes" -ge 5000000000 ]; then
    e2e_pass "$bytes bytes in $(ls "$E2E_TMP"/big*.avi | wc -l) files, each under 2 GiB and decoding completely; $sum frames decoded = FramesWritten"
else
    e2e_fail "big recording" "${bad:-} $sum frames decoded of $written written, $bytes bytes"
fi
e2e_finish
