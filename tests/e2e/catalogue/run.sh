#!/usr/bin/env bash
# The compressor catalogue on the real compression manager: catalogue_check.exe builds it, holds
# it against the manager's own answers to a 320x200 probe, and opens the About box of a listed
# compressor that has one (finding the dialog by a window search and closing it). When the
# project's Video 1 compressor is built, it is registered first and must be listed.
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
QUILLET_DISPLAY=${QUILLET_DISPLAY:-65}
e2e_begin catalogue catalogue_check.exe
exe=$E2E_WIN_BUILD/catalogue_check.exe

expect=
if [ -f "$E2E_WIN_BUILD/codec/msvc32.dll" ]; then
    if e2e_register_codec; then
        expect=MSVC
    else
        e2e_fail "register the Video 1 compressor" "register-codec.sh failed"
    fi
fi

cd "$E2E_TMP" || exit 1
log=$E2E_OUT/catalogue_check.log
E2E_WINE_TIMEOUT=60 e2e_wine "$exe" $expect >"$log"
rc=$?
grep -E '^(screen|installed|compressor|about):' "$log"
if ! e2e_tally <"$log" || { [ $rc -ne 0 ] && [ $rc -ne 1 ]; }; then
    e2e_fail "catalogue_check" "ended with $rc: $(tail -3 "$log" | tr '\n' ' ')"
fi
if [ -n "$expect" ] && ! grep -q '^about: "' "$log"; then
    e2e_fail "About of the Video 1 compressor" "no listed compressor has an About box"
fi
e2e_finish
