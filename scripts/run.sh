#!/usr/bin/env bash
# Sets up, builds and starts Korrin.exe under Wine in the user's own prefix
# ($VELLORAN_WINEPREFIX, default ~/.local/share/velloran/wineprefix), and ends with the
# program's exit code.
# Without a display the program runs on a virtual X screen of its own: once the main window is
# up, a picture of that screen goes to build/artifacts/run-screen.png. Ctrl+C ends the program
# as Windows ends a session, so it saves its settings.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
build=${VELLORAN_BUILD_DIR:-$top/build}
build=$(cd "$build" && pwd)
exe=$build/bin/Korrin.exe
if ! (. "$top/tests/wine/prefix.sh" && wine32_runs); then
  # scripts/build.sh built the whole program for x86_64 too; Debian's wine would start the
  # 32-bit loader, so the 64-bit one is put first.
  echo "[run] this machine cannot start 32-bit programs (the kernel has no IA-32 emulation):" \
       "starting the 64-bit build $build/bin64/Korrin.exe instead"
  exe=$build/bin64/Korrin.exe
  export PATH="$top/tests/wine/wine64-only:$PATH"
fi
export WINEPREFIX=${VELLORAN_WINEPREFIX:-$HOME/.local/share/velloran/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}
mkdir -p "$(dirname "$WINEPREFIX")"

# A wineserver keeps the display it was started with for every program of the prefix. So a
# server left by an earlier command (without a display, or on a virtual screen that is gone)
# is waited for, and the prefix is booted on the display the program will use. A server that
# serves a running Velloran of this prefix does not end: then this start hands its command
# line to that program.
timeout 10 wineserver -w 2>/dev/null || true
boot_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "[run] booting the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1
  fi
  # Windows opens text files (View Log) with Notepad; Wine's boot defines the text-file type
  # but not the extension that leads to it.
  if ! grep -q '^\[Software\\\\Classes\\\\.txt\]' "$WINEPREFIX/system.reg" 2>/dev/null; then
    wine reg add 'HKLM\Software\Classes\.txt' /ve /d txtfile /f >/dev/null 2>&1 || true
    wine reg add 'HKLM\Software\Classes\.txt' /v 'Content Type' /d text/plain /f >/dev/null 2>&1 || true
  fi
}

program=
xvfb=
# Ctrl+C ends the program as Windows ends a session (WM_QUERYENDSESSION, WM_ENDSESSION), which it
# answers by saving its settings and ending. Only once it has ended, or has not within ten
# seconds, is the prefix's server ended, and with it whatever still runs there.
stop() {
  if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
    echo "[run] ending Velloran as Windows ends a session"
    timeout 20 wineboot --end-session >/dev/null 2>&1 || true
    for _ in $(seq 1 20); do
      kill -0 "$program" 2>/dev/null || break
      sleep 0.5
    done
    if kill -0 "$program" 2>/dev/null; then
      echo "[run] Velloran did not end within ten seconds: stopping it"
    fi
  fi
  wineserver -k 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi
}
trap 'stop; exit 130' INT TERM
trap 'if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; fi' EXIT

# The program and the virtual screen run in sessions of their own: Ctrl+C in the terminal
# reaches this script alone, which then ends them in order.
if [ -n "${DISPLAY:-}" ]; then
  boot_prefix
  setsid wine "$exe" "$@" &
  program=$!
else
  artifacts=$build/artifacts
  picture=$artifacts/run-screen.png
  mkdir -p "$artifacts"
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb=$!
  number=
  read -r number < "$fifo" || true
  rm -f "$fifo"
  if [ -z "$number" ]; then
    echo "[run] the virtual X server (Xvfb) did not start" >&2
    exit 1
  fi
  export DISPLAY=:$number

  boot_prefix
  setsid wine "$exe" "$@" &
  program=$!

  # Wine names the X window after the main window's title. (ImageMagick's import would wait
  # for a mouse click when the window does not exist yet.)
  shown=
  for _ in $(seq 1 240); do
    if ! kill -0 "$program" 2>/dev/null; then break; fi
    if xwininfo -display "$DISPLAY" -name Velloran >/dev/null 2>&1; then
      shown=1
      break
    fi
    sleep 0.5
  done
  if [ -n "$shown" ]; then
    sleep 1  # let the toolbar and the job list draw
    import -display "$DISPLAY" -window root "$picture" >/dev/null 2>&1 || true
    echo "[run] Velloran runs on the virtual screen $DISPLAY (no display was set)."
    echo "[run] A picture of that screen: $picture"
    echo "[run] Press Ctrl+C here to end Velloran as Windows ends a session (its settings are saved)."
  elif kill -0 "$program" 2>/dev/null; then
    echo "[run] Velloran runs on the virtual screen $DISPLAY, but its main window is not shown."
    echo "[run] Press Ctrl+C here to end it."
  fi
fi

status=0
wait "$program" || status=$?
program=
wineserver -w 2>/dev/null || true
echo "[run] Korrin.exe ended with exit code $status"
exit $status
