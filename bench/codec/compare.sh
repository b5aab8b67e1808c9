#!/usr/bin/env bash
# Is the encoder in the worktree faster than at an earlier revision, and does it write the same
# bytes? Builds codec_bench from both sources (Release flags), for 32-bit Windows as shipped (run
# under Wine) and natively; the builds take turns on the same screen-like sequence. Prints the
# median ms/frame of each, the speed ratio new/old from the same run and whether the hashes of
# the bytes written agree.
# Usage: compare.sh REV [W H N ROUNDS QUALITY...]   (defaults: 1280 720 30 5, qualities 10000 7500)
#        COMPARE_BUILDS="native" limits the builds (default: "native win")
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/scripts/env.sh"
REV=${1:?usage: compare.sh REV [W H N ROUNDS QUALITY...]}
shift
W=${1:-1280} H=${2:-720} N=${3:-30} ROUNDS=${4:-5} KEYINT=12
shift $(($# < 4 ? $# : 4))
qualities=("${@:-10000 7500}")
builds=(${COMPARE_BUILDS:-native win})
work=$(mktemp -d /tmp/quillet-codec-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/old/codec" "$work/old/bench"
for f in codec/video1_encoder.cpp codec/video1_encoder.h codec/video1_decoder.cpp \
         codec/video1_decoder.h codec/video1_format.h codec/pixel_convert.cpp \
         codec/pixel_convert.h; do
  git -C "$here" show "$REV:$f" >"$work/old/$f"
done
cp "$here/bench/native/codec_bench.cpp" "$work/old/bench/codec_bench.cpp" # same harness for both
flags=(-std=c++17 -O3 -DNDEBUG)
build() { # build NAME ROOT
  local src=("$2/bench/codec_bench.cpp" "$2"/codec/video1_{encoder,decoder}.cpp "$2/codec/pixel_convert.cpp")
  [[ $2 == "$here" ]] && src[0]="$here/bench/native/codec_bench.cpp"
  for b in "${builds[@]}"; do
    case $b in
    native) g++ "${flags[@]}" -I"$2/codec" "${src[@]}" -o "$work/native-$1" & ;;
    win) i686-w64-mingw32-g++-posix "${flags[@]}" -I"$2/codec" "${src[@]}" -static \
           -o "$work/win-$1.exe" & ;;
    esac
  done
}
build old "$work/old"
build new "$here"
wait

g++ "${flags[@]}" -I"$here/codec" "$here/bench/native/codec_bench.cpp" \
  "$here"/codec/{video1_encoder,video1_decoder,pixel_convert}.cpp -o "$work/gen"
"$work/gen" gen "$work/in.raw" "$W" "$H" "$N"
. "$here/bench/codec/encoder_runs.sh"
for q in ${qualities[*]}; do
  for ((r = 0; r < ROUNDS; r++)); do
    for b in "${builds[@]}"; do run "$b-old" "$q"; run "$b-new" "$q"; done
  done
done >"$work/runs.txt"

echo "encoder speed, ${W}x$H, $N frames, key every $KEYINT, $ROUNDS rounds of 3 passes (median ms/frame)"
awk -v builds="${builds[*]}" '
  { k = $1 " " $2; ms[k] = ms[k] " " $3; passes[k]++; hash[k] = hash[k] == "" || hash[k] == $4 ? $4 : "DIFFERS" }
  function median(list,   a, n, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    nb = split(builds, bs, " ")
    for (k in ms) { split(k, kq, " "); qs[kq[2]] = 1 }
    for (q in qs) for (p = 1; p <= nb; p++) {
      o = bs[p] "-old " q; n = bs[p] "-new " q
      ref = median(ms[o]); new = median(ms[n])
      printf "q=%-5s %-7s old %7.2f   new %7.2f   speed ratio %.2f   bytes %s   passes %d/%d\n", q,
             bs[p], ref, new, ref / new, hash[o] == hash[n] && hash[o] != "DIFFERS" ? "identical" : "DIFFER",
             passes[o], passes[n]
    }
  }' "$work/runs.txt"
