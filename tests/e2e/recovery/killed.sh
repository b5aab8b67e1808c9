# shellcheck shell=bash
# What the recovery suites share, sourced after tests/e2e/lib/common.sh: the folder of the
# entries of open journals, the frames of a killed file read independently of the repair, the
# damage done to its tail, and the start-up Notice.

# The entries of open journals in Wine's temporary folder: left over from another run, they
# would make the first start here repair files that are not ours.
list_folder() {
    local tmp
    tmp=$(e2e_wine cmd /c echo '%TEMP%' 2>/dev/null)
    [ -n "$tmp" ] && echo "$(winepath -u "$tmp" 2>/dev/null)/Quillet open journals"
}

# positions_in_killed file: the positions of the frames in a file the platform's writer left
# when killed, read independently of the repair: after the zeroed headers every position has a
# chunk, empty where the recording skipped it; the sound's chunks between them are passed over.
# Prints them one a line, up to the last whole one.
positions_in_killed() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
at = 0
while at < len(data) and data[at] == 0:
    at += 1
at -= at % 2
pos = 0
while at + 8 <= len(data) and data[at:at + 4] in (b'00dc', b'00db', b'01wb'):
    size = struct.unpack('<I', data[at + 4:at + 8])[0]
    if at + 8 + size > len(data):
        break
    if data[at:at + 4] == b'01wb':
        at += 8 + size + (size & 1)
        continue
    if size:
        print(pos)
    pos += 1
    at += 8 + size + (size & 1)
PY
}

# same_positions killed recovered: the recovered file holds a frame at each position where the
# killed file had a whole one (those noted in the journal: all but at most the last).
same_positions() {
    local want got
    want=$(positions_in_killed "$1")
    got=$(avi_positions "$2")
    [ -n "$got" ] && [ "$got" = "$(head -n "$(wc -l <<<"$got")" <<<"$want")" ] &&
        [ $(($(wc -l <<<"$want") - $(wc -l <<<"$got"))) -le 1 ]
}

# stream_end file v|a: where the file's video or audio stream ends, in seconds (FFmpeg's last
# packet's time and length).
stream_end() {
    ffprobe -v error -select_streams "$2" -show_entries packet=pts_time,duration_time -of csv=p=0 \
        "$1" 2>/dev/null | awk -F, '{ end = $1 + $2 } END { print end + 0 }'
}

# damage_tail file cut|zeroed [part]: the last part of the file (a quarter by default, 10 for a
# tenth) cut off, or zeros in its place.
damage_tail() {
    python3 - "$1" "$2" "${3:-4}" <<'PY'
import sys
name, how, part = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = bytearray(open(name, 'rb').read())
keep = len(data) - len(data) // part
data = data[:keep] if how == 'cut' else data[:keep] + bytes(len(data) - keep)
open(name, 'wb').write(data)
PY
}

# Waits for the start-up notice of the program; prints its text and dismisses it.
NOTICE=''
take_notice() {
    NOTICE=''
    e2e_wait 20 _take_notice
}
_take_notice() {
    local all line
    all=$(drive dialogs)
    line=$(grep '"Notice"' <<<"$all" | head -1)
    [ -n "$line" ] || return 1
    # The text goes on over the lines that follow, up to the next window.
    NOTICE=$(awk '/"Notice"/ { on = 1; sub(/^[^:]*: /, "") } on && /^0x/ && !/"Notice"/ { on = 0 } on' <<<"$all" | tr '\n' ' ')
    drive click "@${line%% *}" OK >/dev/null 2>&1
    return 0
}

