#!/usr/bin/env bash
# The compressor catalogue on the real compression manager: catalogue_check.exe builds it, holds
# it against the manager's own answers to a 320x200 probe, and opens the About box of a listed
# compressor that has one (finding the dialog by a window search and closing it). When the
# project's Video 1 compressor is built, it is registered first and must be listed.
set -u
. "$(dirname "$0")/../lib/common.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-65}
e2e_init catalogue
exe=$E2E_WIN_BUILD/catalogue_check.exe
[ -f "$exe" ] || { e2e_fail "setup" "$exe missing (build the Windows targets first)"; e2e_finish; exit 1; }
e2e_start_xvfb || { e2e_fail "setup" "no virtual display"; e2e_finish; exit 1; }
setsid wineserver -p30 >/dev/null 2>&1 </dev/null &

expect=
dll=$E2E_WIN_BUILD/codec/msvc32.dll
if [ -x "$E2E_ROOT/scripts/register-codec.sh" ] && [ -f "$dll" ]; then
    if "$E2E_ROOT/scripts/register-codec.sh" "$dll" >>"$E2E_OUT/suite.log" 2>&1; then
        expect=MSVC
    else
        e2e_fail "register the Video 1 compressor" "register-codec.sh failed"
    fi
fi

cd "$E2E_TMP" || exit 1
E2E_WINE_TIMEOUT=60 e2e_wine "$exe" $expect >"$E2E_OUT/catalogue_check.log"
rc=$?
grep -E '^(screen|installed|compressor|about):' "$E2E_OUT/catalogue_check.log"
grep -E '^(PASS|FAIL): ' "$E2E_OUT/catalogue_check.log"
E2E_PASSED=$((E2E_PASSED + $(grep -c '^PASS: ' "$E2E_OUT/catalogue_check.log")))
E2E_FAILED=$((E2E_FAILED + $(grep -c '^FAIL: ' "$E2E_OUT/catalogue_check.log")))
if [ "$(grep -c '^PASS: ' "$E2E_OUT/catalogue_check.log")" -eq 0 ] || { [ $rc -ne 0 ] && [ $rc -ne 1 ]; }; then
    e2e_fail "catalogue_check" "ended with $rc: $(tail -3 "$E2E_OUT/catalogue_check.log" | tr '\n' ' ')"
fi
if [ -n "$expect" ] && ! grep -q '^about: "' "$E2E_OUT/catalogue_check.log"; then
    e2e_fail "About of the Video 1 compressor" "no listed compressor has an About box"
fi
e2e_finish
