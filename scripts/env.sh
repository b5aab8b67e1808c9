# Sourced by the project's scripts: where the project keeps its Wine prefix and builds.
QUILLET_ROOT=${QUILLET_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${QUILLET_WINEPREFIX:-$HOME/.cache/quillet/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
