#!/usr/bin/env bash
# Sets up, builds and starts Korrin.exe under Wine in the user's own prefix
# ($VELLORAN_WINEPREFIX, default ~/.local/share/velloran/wineprefix). Without a display the
# program runs on a virtual X server.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
build=${VELLORAN_BUILD_DIR:-$top/build}
export WINEPREFIX=${VELLORAN_WINEPREFIX:-$HOME/.local/share/velloran/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}
mkdir -p "$(dirname "$WINEPREFIX")"
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$build/bin/Korrin.exe" "$@"
else
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$build/bin/Korrin.exe" "$@"
fi
