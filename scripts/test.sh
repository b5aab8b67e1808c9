#!/usr/bin/env bash
# The test command: installs what is missing, builds both builds, runs the native tests
# (AddressSanitizer + UndefinedBehaviorSanitizer, and all of them again under
# ThreadSanitizer), then every end-to-end suite under Wine on its own virtual display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }
. scripts/env.sh

jobs=${QUILLET_JOBS:-2}
passed=0
failed=0
failures=()
step() { # name, command...
    local name=$1
    shift
    echo "== $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures+=("$name")
    fi
}

build() { # dir, cmake args...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
    local rc=0
    cmake --build "$dir" -j"$jobs" >"$dir.build.log" 2>&1 || rc=$?
    grep -E 'error|warning' "$dir.build.log" | head -50
    return $rc
}

mkdir -p build
step "native build (ASan+UBSan)" build build/native-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLET_SANITIZE=ON
step "native tests (ASan+UBSan)" env ASAN_OPTIONS=detect_leaks=1 build/native-asan/quillet_tests --gtest_brief=1
step "fuzz build (libFuzzer)" build build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_FUZZ=ON
step "repair fuzzing (1 min)" bash scripts/fuzz-repair.sh 60
step "native build (TSan)" build build/native-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TSAN=ON
step "native tests (TSan)" env TSAN_OPTIONS=halt_on_error=1 build/native-tsan/quillet_tests --gtest_brief=1
step "Windows build" build build/win -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
if [ -x scripts/register-codec.sh ]; then
    step "codec registration" bash scripts/register-codec.sh build/win/codec/msvc32.dll
fi

# QUILLET_DISPLAY_BASE lets two test runs on one machine use different displays.
display=${QUILLET_DISPLAY_BASE:-70}
for suite in tests/e2e/*/run.sh; do
    [ -f "$suite" ] || continue
    name=$(basename "$(dirname "$suite")")
    # A Wine server keeps the display it first met: each suite starts with none running.
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    step "end-to-end: $name" env QUILLET_DISPLAY=$display QUILLET_WIN_BUILD=build/win \
        timeout 900 bash "$suite"
    display=$((display + 1))
done

echo
for f in "${failures[@]}"; do echo "FAILED: $f"; done
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
