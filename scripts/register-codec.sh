#!/usr/bin/env bash
# Installs the Video 1 compatible compressor into the project's Wine prefix as the driver of the
# handler 'MSVC' (value "vidc.msvc" under Drivers32). Touches nothing outside that prefix and is
# safe to run again. Usage: register-codec.sh [path/to/msvc32.dll]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/env.sh"

dll=${1:-$here/build/win/codec/msvc32.dll}
if [ ! -f "$dll" ]; then
  echo "register-codec: $dll not found; build the Windows target msvc32 first" >&2
  exit 1
fi
windir="$WINEPREFIX/drive_c/windows"
if [ ! -d "$windir/system32" ]; then
  echo "register-codec: no Wine prefix at $WINEPREFIX; run scripts/setup.sh first" >&2
  exit 1
fi

# A 32-bit driver belongs in system32 of a 32-bit prefix, in syswow64 (and the registry's 32-bit
# view) of a 64-bit one.
if [ -d "$windir/syswow64" ]; then
  target="$windir/syswow64/msvc32.dll"; view=(/reg:32)
else
  target="$windir/system32/msvc32.dll"; view=()
fi
if ! cmp -s "$dll" "$target"; then
  cp "$dll" "$target.tmp" && mv -f "$target.tmp" "$target"
  echo "register-codec: installed $target"
fi

key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32'
current=$(wine reg query "$key" /v vidc.msvc "${view[@]}" 2>/dev/null | tr -d '\r' |
          awk '$1 == "vidc.msvc" { print $NF }' || true)
if [ "$current" != "msvc32.dll" ]; then
  wine reg add "$key" /v vidc.msvc /t REG_SZ /d msvc32.dll /f "${view[@]}" >/dev/null
  echo "register-codec: vidc.msvc=msvc32.dll"
fi

# The prefix's system.ini also names Wine's decoder-only driver for 'MSVC'; the compressor list
# would then show the handler twice. The registry value above is the one that opens.
ini="$windir/system.ini"
if [ -f "$ini" ] && grep -q '^vidc\.msvc=msvidc32\.dll' "$ini"; then
  sed -i '/^vidc\.msvc=msvidc32\.dll/d' "$ini"
  echo "register-codec: removed the decoder-only vidc.msvc entry from system.ini"
fi
