#!/usr/bin/env bash
# The whole program under Wine on a virtual display, driven as a user would, with what it writes
# checked by independent tools: FFmpeg decodes the AVI files (size, rate, frames compared with the
# moving picture), sox measures the WAV files, ImageMagick reads screenshots.
#
# A moving picture (tests/e2e/programs/movingpic.cpp) is shown at (24, 40). Its whole box
# changes with every picture, so Record finds it as left 24, top 40, right 24 + W - 1,
# bottom 40 + H - 1 and records (W - 1) x (H - 1 + service fix) pixels.
#
# fixture.sh holds the program, the picture and one recording; each other file a group of checks.
# QUILLET_E2E_ONLY="check_sound check_no_sound" runs only the groups named (after start-up).
set -uo pipefail
# shellcheck source-path=SCRIPTDIR
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../lib/common.sh
. "$here/../lib/common.sh"
# shellcheck source=../lib/avi.sh
. "$here/../lib/avi.sh"
. "$here/fixture.sh"
. "$here/lifecycle.sh"
. "$here/recording.sh"
. "$here/sound.sh"
. "$here/playback.sh"
. "$here/options.sh"
. "$here/keys.sh"
. "$here/settings.sh"
. "$here/selectarea.sh"
e2e_init app
export E2E_WINE_TIMEOUT=20
started=$(date +%s)

work=$E2E_OUT/work # Quillet's current folder: "test.avi" and "test.wav" land here
mkdir -p "$work"
cd "$work" || exit 1

e2e_need "$E2E_WIN_BUILD/quillet.exe" "$E2E_WIN_BUILD/drive.exe" "$E2E_WIN_BUILD/movingpic.exe"
e2e_start_xvfb || e2e_abort "display" "Xvfb did not start"
e2e_start_pulse || e2e_log "no PulseAudio: the sound checks will fail"
e2e_warm_wine 2>>"$E2E_OUT/suite.log" || e2e_abort "Wine desktop" "$(tail -1 "$E2E_OUT/suite.log")"
# The default compressor 'MSVC' is ours.
e2e_register_codec
sox -n -r 22050 -c 1 -b 16 "$E2E_TMP/tone.wav" synth 400 sine 1000 vol 0.5

run check_startup
[ -n "$MAIN" ] || e2e_abort "start-up" "no main window to work with"
run check_typing
run check_first_recording
run check_record_again
run check_takes_kept
run check_record_again_while_recording
run check_record_after_playback
run check_about
run check_unaligned_size
run check_service_fixes
run check_still_then_moving
run check_main_window_out_of_recording
run check_sound
run check_no_sound
run check_hot_keys
run check_select_area
run check_select_edge
run check_playback
run check_play_missing
run check_bad_folder
run check_options
run check_reliability
run check_close_while_recording
run check_scaled_display
run check_settings
e2e_log "suite took $(($(date +%s) - started)) s"
echo "app: suite took $(($(date +%s) - started)) s"
e2e_finish
