#!/usr/bin/env bash
# End-to-end checks of the Video 1 compressor DLL under Wine: registration, enumeration, size
# queries, AVIMakeCompressedStream at every input depth, exact agreement with FFmpeg's msvideo1
# decoder and encoder in both directions, and playback through MCI.
# Usage: run.sh   (CODEC_BUILD_DIR overrides the directory holding msvc32.dll and codec_check.exe;
# CODEC_DISPLAY the display, which the playback check needs)
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
QUILLET_DISPLAY=${CODEC_DISPLAY:-${QUILLET_DISPLAY:-61}}
e2e_init codec
build=${CODEC_BUILD_DIR:-$E2E_WIN_BUILD/codec}
case $build in /*) ;; *) build=$E2E_ROOT/$build ;; esac
exe=$build/codec_check.exe
e2e_need "$build/msvc32.dll" "$exe"
e2e_start_xvfb || e2e_abort "setup" "no virtual display"
e2e_wine_server
work=$E2E_TMP

cc() { e2e_wine "$exe" "$@"; }
win() { echo "Z:${1//\//\\}"; }

e2e_register_codec "$build/msvc32.dll" || e2e_abort "registration" "register-codec.sh failed"
e2e_pass "registration in $WINEPREFIX"

e2e_expect "ICInfo lists the compressor at 32 bpp (About yes, Configure no)" \
  "not listed as wanted" cc info
e2e_expect "the 32-bit row converter keeps each channel's top five bits in place" \
  "colours differ" cc pixels
e2e_expect "ICCompressQuery refuses 321x241 and accepts 324x244" "wrong answers" cc query

# A moving test picture, 15 frames of 320x240.
W=320 H=240 N=15 K=5
ffmpeg -v error -f lavfi -i "testsrc2=size=${W}x$H:rate=10" -frames:v $N -f rawvideo \
  -pix_fmt bgra "$work/in.bgra" || e2e_abort "test sequence" "FFmpeg made no test picture"

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
encode() { # encode AVI QUALITY BPP: the test picture through AVIMakeCompressedStream
  cc encode "$(win "$work/in.bgra")" $W $H $N "$(win "$1")" "$2" $K "$3"
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
encoded_stream() { encode "$1" 6550 "$2" && stream_ok "$1"; }
best_quality() { encode "$1" 10000 32 && same_decode "$1"; }
mci_playback() { # the media player (MCI avivideo) goes through the registered driver too
  cc play "$(win "$1")" "$(win "$work/grab.raw")" &&
    cc compare555 "$(win "$work/grab.raw")" "$(win "$1.dll.raw")" 400 $W $H 0 0
}

for bpp in 32 24 16 8; do
  avi=$work/dll$bpp.avi
  e2e_expect "AVIMakeCompressedStream writes msvideo1 from $bpp-bit input (keys every $K)" \
    "no such stream" encoded_stream "$avi" $bpp
  e2e_expect "FFmpeg and the DLL decode the DLL's $bpp-bit-input stream identically" \
    "the decodes differ" same_decode "$avi"
done
e2e_expect "quality 10000 stream decodes identically in FFmpeg and the DLL" \
  "the decodes differ" best_quality "$work/best.avi"
e2e_expect "the DLL decodes to 24- and 32-bit output" "wrong output" decode_depths "$work/dll32.avi"
# The stream position moves on by more than one where frames were skipped: no key frame there.
still_gaps() {
    cc gaps "$(win "$1")" $W $H &&
        ffprobe -v error -show_packets -show_entries packet=pts,size,flags -of csv=p=0 "$1" |
        paste -sd' ' | tee /dev/stderr |
            grep -Eqx '0,[0-9]{5},K_ 1,12,__ 2,12,__ 4,12,__ 6,12,__ 8,12,__ 9,12,__ 10,12,__ 12,12,__'
}
e2e_expect "a still picture stays all-skip (12 bytes) across empty positions 3 5 7 11" \
  "a frame after a gap was coded whole" still_gaps "$work/gaps.avi"

ffavi=$work/ffmpeg.avi
ffmpeg -v error -f rawvideo -pix_fmt bgra -s ${W}x$H -r 10 -i "$work/in.bgra" -c:v msvideo1 \
  -pix_fmt rgb555le "$ffavi"
e2e_expect "FFmpeg's msvideo1 encoder output decodes identically in the DLL and FFmpeg" \
  "the decodes differ" same_decode "$ffavi"

e2e_expect "MCI playback shows the DLL's decoded frames pixel for pixel" \
  "the window shows other pixels" mci_playback "$work/dll32.avi"
e2e_finish
