#!/usr/bin/env bash
# Would building the encoder for a wider instruction set make it faster? Builds codec_bench four
# ways: for 32-bit Windows as shipped (the compiler's i686 baseline, no SSE) and with -msse2, run
# under Wine; natively (x86-64, SSE2) with and without the vectorizer. The builds take turns on the
# same screen-like sequence; each prints its median ms/frame, the ratio to its reference from the
# same run, and the hash of the bytes written (they must agree).
# Usage: isa.sh [W H N ROUNDS QUALITY...]   (defaults: 1280 720 30 7, qualities 10000 7500)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/scripts/env.sh"
W=${1:-1280} H=${2:-720} N=${3:-30} ROUNDS=${4:-7} KEYINT=12
shift $(($# < 4 ? $# : 4))
qualities=("${@:-10000 7500}")
work=$(mktemp -d /tmp/quillet-codec-isa.XXXXXX)
trap 'rm -rf "$work"' EXIT

sources=("$here/bench/native/codec_bench.cpp" "$here"/codec/video1_{encoder,decoder}.cpp
         "$here/codec/pixel_convert.cpp")
flags=(-std=c++17 -O3 -DNDEBUG -I"$here/codec") # the Release flags of both builds
win=i686-w64-mingw32-g++-posix
$win "${flags[@]}" "${sources[@]}" -static -o "$work/win-i686.exe" &
$win "${flags[@]}" -msse2 -mfpmath=sse "${sources[@]}" -static -o "$work/win-sse2.exe" &
g++ "${flags[@]}" -fno-tree-vectorize -fno-tree-slp-vectorize "${sources[@]}" -o "$work/native-scalar" &
g++ "${flags[@]}" "${sources[@]}" -o "$work/native-sse2" &
wait

"$work/native-sse2" gen "$work/in.raw" "$W" "$H" "$N"
. "$here/bench/codec/encoder_runs.sh"
for q in ${qualities[*]}; do
  for ((r = 0; r < ROUNDS; r++)); do
    for b in win-i686 win-sse2 native-scalar native-sse2; do run $b "$q"; done
  done
done >"$work/runs.txt"

echo "encoder speed, ${W}x$H, $N frames, key every $KEYINT, $ROUNDS rounds of 3 passes (median ms/frame)"
awk '
  { ms[$1 " " $2] = ms[$1 " " $2] " " $3; passes[$1 " " $2]++; hash[$1 " " $2] = hash[$1 " " $2] == "" || hash[$1 " " $2] == $4 ? $4 : "DIFFERS" }
  function median(list,   a, n, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    split("win-i686:win-sse2 native-scalar:native-sse2", pairs, " ")
    for (k in ms) { split(k, kq, " "); qs[kq[2]] = 1 }
    for (q in qs) for (p = 1; p <= 2; p++) {
      split(pairs[p], b, ":")
      ref = median(ms[b[1] " " q]); new = median(ms[b[2] " " q])
      printf "q=%-5s %-13s %7.2f   %-13s %7.2f   speed ratio %.3f   bytes %s   passes %d/%d\n", q,
             b[1], ref, b[2], new, ref / new,
             hash[b[1] " " q] == hash[b[2] " " q] ? "identical" : "DIFFER", passes[b[1] " " q],
             passes[b[2] " " q]
    }
  }' "$work/runs.txt"
