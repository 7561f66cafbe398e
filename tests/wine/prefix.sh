#!/usr/bin/env bash
# Wine prefixes for the tests. Sourced by the test scripts.
#   make_pristine_prefix DIR   boot a prefix once per test run (about 20 s)
#   clone_prefix PRISTINE DIR  a private copy for one test, in well under a second
#   wine32_runs                whether Wine's 32-bit loader starts on this machine
#   require_32bit_wine         stop with a clear message where it cannot
#   use_64bit_wine             start every program with the 64-bit loader (the 64-bit build's tests)
# The clone hard-links the large, never-written files (the system DLLs) and copies for real
# whatever Wine or a test may write: the registry files and the user and program-data folders.

export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}
export LANG=C.UTF-8 LC_ALL=C.UTF-8

wine_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Every program of ours but the 64-bit shadow-copy host is 32-bit. A kernel without IA-32
# emulation refuses Wine's 32-bit loader with "Exec format error", and each program would then
# fail on its own with no word of why.
wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

require_32bit_wine() {
  if wine32_runs; then return 0; fi
  echo "[wine] this machine cannot start 32-bit programs (/usr/lib/wine/wine does not run: the kernel" \
       "has no IA-32 emulation), so Wine cannot run Velloran or its tests here" >&2
  return 1
}

use_64bit_wine() {
  export VELLORAN_WINE64_ONLY=1 PATH="$wine_scripts/wine64-only:$PATH"
}

make_pristine_prefix() {
  local dir=$1
  [ -n "${VELLORAN_WINE64_ONLY:-}" ] || require_32bit_wine || return 1
  if [ -f "$dir/.velloran-ready" ]; then return 0; fi
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  WINEPREFIX=$dir wineboot -i >/dev/null 2>&1
  # Wine's null graphics driver gives real windows, list views and timers without a display.
  WINEPREFIX=$dir wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  # A crash prints Wine's backtrace and ends the program: the crash dialog would wait for a click
  # that never comes, and the test would hang until its timeout.
  WINEPREFIX=$dir wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1
  WINEPREFIX=$dir wineserver -w
  touch "$dir/.velloran-ready"
}

clone_prefix() {
  local src=$1 dst=$2 f
  rm -rf "$dst"
  cp -al "$src" "$dst"
  for f in "$src"/*.reg; do cp --remove-destination "$f" "$dst/"; done
  rm -rf "$dst/drive_c/users" "$dst/drive_c/ProgramData"
  cp -a "$src/drive_c/users" "$src/drive_c/ProgramData" "$dst/drive_c/"
  rm -f "$dst/.velloran-ready"
}
