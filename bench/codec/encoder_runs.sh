# shellcheck shell=bash
# Sourced by the codec's build comparisons (compare.sh, isa.sh), which set work, W, H, N, KEYINT.
# run BUILD Q: runs $work/BUILD (BUILD.exe under Wine for win-* builds) in speed mode and prints
# one line per encoding pass, "BUILD Q ms hash".
run() {
  local cmd=("$work/$1")
  [[ $1 == win-* ]] && cmd=(wine "$work/$1.exe")
  "${cmd[@]}" speed "$work/in.raw" "$W" "$H" "$N" $KEYINT "$2" 3 2>/dev/null | tr -d '\r' |
    awk -v b="$1" -v q="$2" '{ print b, q, $1, $3 }' || echo "$1 at q=$2: a run failed" >&2
}
