#!/usr/bin/env bash
# Runs every benchmark (bench/*/run.sh); each prints its own figures beside a reference
# measured in the same run on this machine.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh || exit 1
. scripts/env.sh
cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/win -j2 >/dev/null || exit 1
cmake -S . -B build/native-release -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/native-release -j2 >/dev/null || exit 1
[ -x scripts/register-codec.sh ] && bash scripts/register-codec.sh build/win/codec/msvc32.dll
rc=0
for b in bench/*/run.sh; do
    echo "== $(dirname "$b")"
    wineserver -k >/dev/null 2>&1 || true
    QUILLET_WIN_BUILD=build/win CODEC_BENCH=$root/build/native-release/codec_bench bash "$b" || rc=1
done
exit $rc
