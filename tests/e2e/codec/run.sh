#!/usr/bin/env bash
# End-to-end checks of the Video 1 compressor DLL under Wine: registration, enumeration, size
# queries, AVIMakeCompressedStream at every input depth, exact agreement with FFmpeg's msvideo1
# decoder and encoder in both directions, and playback through MCI.
# Usage: run.sh   (CODEC_BUILD_DIR overrides the directory holding msvc32.dll and codec_check.exe)
set -u
here=$(cd "$(dirname "$0")/../../.." && pwd)
. "$here/scripts/env.sh"
build=${CODEC_BUILD_DIR:-$here/build/win/codec}
exe=$build/codec_check.exe
for f in "$build/msvc32.dll" "$exe"; do
  [ -f "$f" ] || { echo "FAIL setup: $f missing (build the Windows targets first)"; exit 1; }
done

work=$(mktemp -d /tmp/quillet-codec.XXXXXX)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fails=0
check() { # check NAME COMMAND...: one PASS/FAIL line, the command's output under a failure
  local name=$1 out; shift
  if out=$("$@" 2>&1); then echo "PASS $name"; else
    echo "FAIL $name"; echo "$out" | sed 's/^/    /'; fails=$((fails + 1)); fi
}
cc() { wine "$exe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
win() { echo "Z:${1//\//\\}"; }

"$here/scripts/register-codec.sh" "$build/msvc32.dll" >/dev/null || { echo "FAIL registration"; exit 1; }
echo "PASS registration in $WINEPREFIX"
# Keeps the server warm between the many short runs below, and lets it go soon after.
setsid wineserver --persistent=10 2>/dev/null

check "ICInfo lists the compressor at 32 bpp (About yes, Configure no)" cc info
check "ICCompressQuery refuses 321x241 and accepts 324x244" cc query

# A moving test picture, 15 frames of 320x240.
W=320 H=240 N=15 K=5
ffmpeg -v error -f lavfi -i "testsrc2=size=${W}x$H:rate=10" -frames:v $N -f rawvideo \
  -pix_fmt bgra "$work/in.bgra" || { echo "FAIL test sequence"; exit 1; }

stream_ok() { # stream_ok AVI: msvideo1, N frames, key frames exactly at 0, K, 2K...
  local info flags want="" i
  info=$(ffprobe -v error -select_streams v -show_entries stream=codec_name,width,height,nb_frames \
         -of csv=p=0 "$1")
  [ "$info" = "msvideo1,$W,$H,$N" ] || { echo "stream: $info"; return 1; }
  flags=$(ffprobe -v error -select_streams v -show_entries packet=flags -of csv=p=0 "$1" |
          cut -c1 | tr -d '\n')
  for ((i = 0; i < N; i++)); do if ((i % K == 0)); then want+=K; else want+=_; fi; done
  [ "$flags" = "$want" ] || { echo "key frames: $flags, want $want"; return 1; }
}
same_decode() { # same_decode AVI: the DLL's decoder and FFmpeg's give the same RGB555 pixels
  cc decode "$(win "$1")" "$(win "$1.dll.raw")" 16 || return 1
  ffmpeg -v error -y -i "$1" -fps_mode passthrough -f rawvideo -pix_fmt rgb555le "$1.ff.raw" ||
    return 1
  cc compare "$(win "$1.dll.raw")" "$(win "$1.ff.raw")"
}
decode_depths() { # the DLL decodes to 24 and 32 bits as well, frame for frame
  local b n
  for b in 24 32; do
    cc decode "$(win "$1")" "$(win "$1.$b.raw")" $b >/dev/null || return 1
    n=$(stat -c %s "$1.$b.raw")
    [ "$n" -eq $((W * H * b / 8 * N)) ] || { echo "$b-bit output: $n bytes"; return 1; }
  done
}

for bpp in 32 24 16 8; do
  avi=$work/dll$bpp.avi
  check "AVIMakeCompressedStream writes msvideo1 from $bpp-bit input (keys every $K)" \
    eval "cc encode '$(win "$work/in.bgra")' $W $H $N '$(win "$avi")' 6550 $K $bpp && stream_ok '$avi'"
  check "FFmpeg and the DLL decode the DLL's $bpp-bit-input stream identically" same_decode "$avi"
done
avi=$work/best.avi
check "quality 10000 stream decodes identically in FFmpeg and the DLL" \
  eval "cc encode '$(win "$work/in.bgra")' $W $H $N '$(win "$avi")' 10000 $K 32 && same_decode '$avi'"
check "the DLL decodes to 24- and 32-bit output" decode_depths "$work/dll32.avi"
check "a still picture stays all-skip (12 bytes) across empty positions 3 5 7 11" eval "cc gaps '$(win "$work/gaps.avi")' $W $H && ffprobe -v error -show_packets -show_entries packet=pts,size,flags -of csv=p=0 '$work/gaps.avi' | paste -sd' ' | tee /dev/stderr |
  grep -Eqx '0,[0-9]{5},K_ 1,12,__ 2,12,__ 4,12,__ 6,12,__ 8,12,__ 9,12,__ 10,12,__ 12,12,__'"

ffavi=$work/ffmpeg.avi
ffmpeg -v error -f rawvideo -pix_fmt bgra -s ${W}x$H -r 10 -i "$work/in.bgra" -c:v msvideo1 \
  -pix_fmt rgb555le "$ffavi"
check "FFmpeg's msvideo1 encoder output decodes identically in the DLL and FFmpeg" \
  same_decode "$ffavi"

# Playback through the media player (MCI avivideo) goes through the registered driver too.
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=${CODEC_DISPLAY:-:61}
  Xvfb "$DISPLAY" -screen 0 1024x768x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
fi
check "MCI playback shows the DLL's decoded frames pixel for pixel" \
  eval "cc play '$(win "$work/dll32.avi")' '$(win "$work/grab.raw")' &&
        cc compare555 '$(win "$work/grab.raw")' '$(win "$work/dll32.avi.dll.raw")' 400 $W $H 0 0"

if [ $fails -eq 0 ]; then echo "codec e2e: all checks passed"; else echo "codec e2e: $fails failed"; fi
[ $fails -eq 0 ]
