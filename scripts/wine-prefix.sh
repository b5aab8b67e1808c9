#!/usr/bin/env bash
# Creates the project's own 32-bit Wine prefix once (never the user's default one) and
# sets what the tests rely on: unmanaged X windows, so hiding and closing windows is fast.
set -euo pipefail
. "$(dirname "$0")/env.sh"
stamp="$WINEPREFIX/.quillet-ready"
if [ ! -f "$stamp" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  echo "setup: creating Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w || true
  touch "$stamp"
fi

# Wine here does not look in the folder where Debian's fonts-wine puts its fonts: without
# Marlett the caption buttons show letters, and "MS Sans Serif" falls back to a wider face.
# Fonts in the prefix's own Fonts folder are always found.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then
  for f in /usr/share/wine/fonts/*; do
    [ -e "$fonts/$(basename "$f")" ] || cp "$f" "$fonts/"
  done
fi
