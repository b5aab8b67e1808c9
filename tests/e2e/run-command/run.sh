#!/usr/bin/env bash
# The README's run command as a new user meets it: a fresh clone of the committed tree (nothing
# built) on a machine without a display. It must end with 0 and leave a demo AVI of the moving
# picture whose every frame FFmpeg decodes.
set -u
# shellcheck source=../lib/common.sh
. "$(dirname "$0")/../lib/common.sh"
# shellcheck source=../lib/avi.sh
. "$(dirname "$0")/../lib/avi.sh"
e2e_init run-command
clone=$E2E_TMP/quillet avi=$E2E_TMP/quillet/out/quillet-demo/test.avi info=
git clone -q "$E2E_ROOT" "$clone" 2>"$E2E_OUT/run.log"
# On this suite's display number, so that the demo's virtual display meets no other suite's.
env -u DISPLAY QUILLET_DISPLAY="${E2E_DISPLAY#:}" bash "$clone/scripts/run.sh" >>"$E2E_OUT/run.log" 2>&1
rc=$?
if [ $rc -eq 0 ] && info=$(avi_has "$avi" size=256x192 min-frames=10) && avi_decodes "$avi"; then
    e2e_pass "run command on a fresh clone without a display: exit 0, demo AVI $info decodes"
else
    e2e_fail "run command on a fresh clone without a display" "exit $rc, AVI: ${info:-none} (see ${E2E_OUT#"$E2E_ROOT"/}/run.log)"
fi
e2e_finish
