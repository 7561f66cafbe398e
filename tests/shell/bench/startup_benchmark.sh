#!/usr/bin/env bash
# Benchmark of the program's start-up (not a test): for stores of 0, 200 and 10,000
# configurations (half of them with a Windows scheduled task, some with an internal schedule,
# a few disabled), each in its own Wine prefix with its server kept running, it times
#   - the start of Korrin.exe until its main window answers, with every configuration listed,
#   - the start until every Next Run and Schedule cell shows what the tasks say (they read
#     "..." until the configuration's task has been read),
#   - the longest and the median tick of timer 1 right after the window answers, while sizes
#     are measured and tasks read,
#   - "/hidden /exitwhendone /run=<unknown id>" from start to exit.
# A figure is printed only after the run it comes from checked out: every configuration in the
# list, exit code 0, the store untouched.
# Usage: tests/shell/bench/startup_benchmark.sh [build folder]   (default: build/)
#   BENCH_SIZES="0 200 10000"  store sizes      BENCH_REPEAT=3  runs per size (medians shown)
set -euo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-${VELLORAN_BUILD_DIR:-$top/build}}" && pwd)
exe=$build/bin/Korrin.exe
driver=$build/i686/tests/bin/startup_bench.exe
probe=$build/i686/tests/bin/window_probe.exe
for f in "$exe" "$driver" "$probe"; do
  [ -f "$f" ] || { echo "missing $f: build first (it is part of the normal build)" >&2; exit 2; }
done
sizes=${BENCH_SIZES:-0 200 10000}
repeat=${BENCH_REPEAT:-3}
ticks=${BENCH_TICKS:-20}

. "$top/tests/wine/prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velloran-startup-bench.XXXXXX")
prefixes=()
cleanup() {
  local p
  for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
  WINEPREFIX=$work/pristine wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "[bench] FAILED: $*" >&2; exit 1; }
now() { date +%s.%N; }
elapsed() { /usr/bin/python3 -c "import sys; print('%.3f' % (float(sys.argv[1]) - float(sys.argv[2])))" "$1" "$2"; }
median() { /usr/bin/python3 -c "import sys, statistics; print('%.3f' % statistics.median(map(float, sys.argv[1:])))" "$@"; }
win() { echo "Z:${1//\//\\}"; }

echo "[bench] booting a Wine prefix"
make_pristine_prefix "$work/pristine" >/dev/null

# Source folders the configurations share, so the size count has real work to do.
/usr/bin/python3 - "$work/src" <<'PY'
import os, sys
for s in range(20):
    for d in range(5):
        folder = os.path.join(sys.argv[1], "s%02d" % s, "d%d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(10):
            with open(os.path.join(folder, "f%d.txt" % f), "wb") as out:
                out.write(b"x" * (100 * (f + 1)))
PY

# Writes the store of N configurations and the list of their descriptions.
write_store() { # prefix count
  /usr/bin/python3 - "$top/tests/e2e" "$1/drive_c/users" "$2" "$(win "$work/src")" "$(win "$work/dest")" <<'PY'
import datetime, pathlib, sys
sys.path.insert(0, sys.argv[1])
import vlrstore
users = pathlib.Path(sys.argv[2])
data = next(p for p in users.iterdir() if p.name != "Public") / "AppData" / "Roaming" / "Velloran"
count, src, dest = int(sys.argv[3]), sys.argv[4], sys.argv[5]
later = datetime.datetime.now() + datetime.timedelta(hours=6)
configs = []
for i in range(1, count + 1):
    kind = {}
    if i % 2 == 0 and i % 10 == 0:
        kind = dict(schedule_kind=vlrstore.EVERY_N_DAYS, every_days=3, hour=later.hour, minute=later.minute)
    elif i % 2 == 0 and i % 10 == 4:
        kind = dict(schedule_kind=vlrstore.WEEKLY, day_mask=0x3E, hour=later.hour, minute=later.minute)
    flags = vlrstore.UNCOMPRESSED | (0 if i % 50 == 25 else vlrstore.ENABLED)
    configs.append(vlrstore.Config(i, "Backup \u2013 Documents %d" % i, "%s\\c%d\\" % (dest, i),
                                   ["%s\\s%02d\\" % (src, i % 20)], flags=flags, **kind))
vlrstore.write_store(data / "configs.vlr", configs)
(data / "descriptions.txt").write_text("".join(c.description + "\n" for c in configs), "utf-8")
PY
}

settings_reg() {
  cat > "$1/bench-settings.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Dorvane Software\Velloran\CurrentVersion\options]
"askexit"="0"
EOF
  WINEPREFIX=$1 wine reg import "$(win "$1/bench-settings.reg")" >/dev/null 2>&1
}

# One start to the window, its ticks, the task cells, the list checked and the exit:
# "seconds max median filled-seconds".
time_window() { # prefix count
  local prefix=$1 count=$2 out=$work/window.out t0 pid rc
  export WINEPREFIX=$prefix
  wine "$driver" window 1200000 >"$out" 2>/dev/null &
  local waiter=$!
  sleep 2  # the waiter is up and polling
  t0=$(now)
  wine "$exe" >/dev/null 2>&1 &
  pid=$!
  wait "$waiter" || fail "no main window with $count configurations"
  local at rows
  read -r at rows <<<"$(sed 's/at=//; s/rows=//' "$out" | tr -d '\r')"
  [ "$rows" = "$count" ] || fail "$rows rows listed, $count configurations stored"
  # Next Run and Schedule are the columns 5 and 6 of a fresh prefix's list.
  wine "$driver" filled 600000 5 6 >"$work/filled.out" 2>/dev/null &
  local filler=$!
  local tick
  tick=$(wine "$driver" ticks "$ticks" 250 2>/dev/null | tr -d '\r') || fail "timer ticks"
  wait "$filler" || fail "the task cells of $count configurations were not filled"
  local filled
  filled=$(sed 's/at=//' "$work/filled.out" | tr -d '\r')
  wine "$probe" rows 0 2>/dev/null | iconv -f cp1252 -t utf-8 | tr -d '\r' | sort >"$work/listed.txt"
  sort "$(data_folder "$prefix")/descriptions.txt" | cmp -s - "$work/listed.txt" ||
    fail "the listed descriptions differ from the stored ones"
  wine "$probe" post 273 32784 >/dev/null 2>&1 || fail "posting Exit"
  rc=0; wait "$pid" || rc=$?
  [ "$rc" = 0 ] || fail "exit code $rc after Exit"
  local max median
  max=$(sed 's/.*max=\([0-9.]*\).*/\1/' <<<"$tick")
  median=$(sed 's/.*median=\([0-9.]*\).*/\1/' <<<"$tick")
  echo "$(elapsed "$at" "$t0") $max $median $(elapsed "$filled" "$t0")"
}

# One "/hidden /exitwhendone /run=<unknown>" from start to exit: seconds.
time_exit_when_done() { # prefix
  local prefix=$1 store t0 t1 rc=0 before
  export WINEPREFIX=$prefix
  store=$(data_folder "$prefix")/configs.vlr
  before=$(sha1sum <"$store")
  t0=$(now)
  timeout 1800 wine "$exe" /hidden /exitwhendone /run=999999999 >/dev/null 2>&1 || rc=$?
  t1=$(now)
  [ "$rc" = 0 ] || fail "exit code $rc of /exitwhendone"
  [ "$(sha1sum <"$store")" = "$before" ] || fail "the store changed"
  elapsed "$t1" "$t0"
}

data_folder() { echo "$(find "$1/drive_c/users" -mindepth 1 -maxdepth 1 ! -name Public | head -1)/AppData/Roaming/Velloran"; }

report=()
for n in $sizes; do
  prefix=$work/p$n
  prefixes+=("$prefix")
  clone_prefix "$work/pristine" "$prefix"
  WINEPREFIX=$prefix wineserver -p
  settings_reg "$prefix"
  # A first start creates the data folder and warms the prefix; it is not timed.
  WINEPREFIX=$prefix wine "$exe" /hidden /exitwhendone /run=0 >/dev/null 2>&1 || fail "first start"
  write_store "$prefix" "$n"
  tasks=$(( (n + 1) / 2 ))
  if [ "$n" -gt 0 ]; then
    echo "[bench] $n configurations: saving $tasks scheduled tasks"
    WINEPREFIX=$prefix wine "$driver" tasks 1 "$n" 2 2>/dev/null | grep -q "failed=0" || fail "saving the tasks"
  fi
  windows=() maxes=() medians=() exits=() filleds=()
  for ((r = 1; r <= repeat; ++r)); do
    time_window "$prefix" "$n" >"$work/result"
    read -r w m d f <"$work/result"
    time_exit_when_done "$prefix" >"$work/result"
    read -r e <"$work/result"
    echo "[bench] $n configurations, run $r: window ${w} s, task cells ${f} s, tick max ${m} ms (median ${d}), /exitwhendone ${e} s"
    windows+=("$w") maxes+=("$m") medians+=("$d") exits+=("$e") filleds+=("$f")
  done
  report+=("$(printf '%6d configurations: start to window %7.3f s   task cells %7.3f s   longest tick %8.2f ms (median %7.2f)   /exitwhendone %7.3f s' \
    "$n" "$(median "${windows[@]}")" "$(median "${filleds[@]}")" "$(median "${maxes[@]}")" "$(median "${medians[@]}")" "$(median "${exits[@]}")")")
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
done
echo "[bench] medians of $repeat runs, $ticks ticks each, Wine's null graphics driver"
printf '%s\n' "${report[@]}"
