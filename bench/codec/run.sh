#!/usr/bin/env bash
# Video 1 encoder benchmark: our encoder against FFmpeg's msvideo1 encoder on the same
# screen-like sequence, in the same run. Needs the native build (bench program codec_bench).
# Usage: run.sh [W H N]   (CODEC_BENCH overrides the path of codec_bench)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
bench=${CODEC_BENCH:-$here/build/native/codec_bench}
W=${1:-640} H=${2:-480} N=${3:-60} KEYINT=12
[ -x "$bench" ] || { echo "codec bench: $bench missing (build the native tree first)" >&2; exit 1; }
work=$(mktemp -d /tmp/quillet-codec-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$bench" gen "$work/in.raw" "$W" "$H" "$N"
raw=(-nostdin -f rawvideo -pix_fmt rgb555le -s "${W}x$H" -r 10 -i "$work/in.raw")
# FFmpeg's time for the encoder alone: a run that only reads and copies the frames is
# subtracted from the encoding run; the best of three runs of each counts.
best() { # best SECONDS...: smallest
  printf '%s\n' "$@" | sort -g | head -1
}
utime() { # utime FFMPEG-ARGS...: user+system seconds FFmpeg reports with -benchmark
  ffmpeg -benchmark "$@" 2>&1 | sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s.*/\1 \2/p' |
    awk '{ print $1 + $2 }'
}
enc=() base=()
for i in 1 2 3; do
  enc+=("$(utime "${raw[@]}" -c:v msvideo1 -pix_fmt rgb555le -g $KEYINT -keyint_min $KEYINT \
           -y "$work/ff.avi")")
  base+=("$(utime "${raw[@]}" -c:v rawvideo -pix_fmt rgb555le -y "$work/copy.avi")")
done
ff_seconds=$(awk -v e="$(best "${enc[@]}")" -v b="$(best "${base[@]}")" 'BEGIN { print e - b }')
ff_bytes=$(ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 "$work/ff.avi" |
           awk '{ s += $1 } END { print s }')
ffmpeg -v error -i "$work/ff.avi" -fps_mode passthrough -f rawvideo -pix_fmt rgb555le "$work/ff.raw"
echo "ffmpeg encoder time ${ff_seconds}s (best of 3, after subtracting ${enc[*]} - ${base[*]} read/copy)"
"$bench" measure "$work/in.raw" "$W" "$H" "$N" $KEYINT "$work/ff.raw" "$ff_bytes" "$ff_seconds"
