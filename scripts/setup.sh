#!/usr/bin/env bash
# Installs what building, running and testing Quillet needs, only what is missing, and
# prepares the project's own 32-bit Wine prefix. Safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/env.sh"

need_pkgs=()
want() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed' || need_pkgs+=("$1"); }

SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  apt_updated=0
fi

for p in cmake make g++ libgtest-dev g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
         wine wine32:i386 wine64 fonts-wine fonts-liberation xvfb x11-utils xdotool imagemagick ffmpeg sox \
         pulseaudio pulseaudio-utils procps clang libclang-rt-14-dev; do
  want "$p"
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# ImageMagick: some images carry a stand-in `convert` earlier on PATH; we call magick tools
# through /usr/bin explicitly where it matters.

"$here/scripts/wine-prefix.sh"
