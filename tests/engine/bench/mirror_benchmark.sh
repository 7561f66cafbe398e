#!/usr/bin/env bash
# Benchmark of the mirror copy (not a test, not run by CI): a generated tree (by default 20,000
# small files in folders of 25 and 3 files of 100 MB, 20,003 files, about 340 MB) is mirrored by
# a whole job under Wine (first run, unchanged rerun, 1% of the files touched) beside a plain
# Win32 walker that calls CopyFileW, Wine's xcopy and rsync -a, each run checked before it is
# timed; the medians are printed with the job's time as a ratio to each peer's.
# Usage: tests/engine/bench/mirror_benchmark.sh [build folder]   (default: build/)
# Settings: BENCH_SMALL_FILES, BENCH_LARGE_FILES, BENCH_LARGE_MB, BENCH_FOLDER_FILES (small
# files per folder), BENCH_TOUCH_PERCENT, BENCH_RUNS (default 3), BENCH_PEERS (a comma list of
# velloran, walker, xcopy, rsync), BENCH_REVISIONS (0: the job keeps no revisions, as the
# walker keeps none).
set -euo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-${VELLORAN_BUILD_DIR:-$top/build}}" && pwd)
bin=$build/i686/tests/bin
for program in mirror_bench copy_walker; do
  [ -x "$bin/$program.exe" ] || { echo "build $program first (it is part of the normal build)" >&2; exit 2; }
done
command -v rsync >/dev/null || { echo "rsync is needed (apt-get install rsync)" >&2; exit 2; }

. "$top/tests/wine/prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velloran-bench.XXXXXX")
cleanup() { WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

echo "[bench] booting a Wine prefix"
make_pristine_prefix "$work/prefix" >/dev/null
export WINEPREFIX=$work/prefix
# One wineserver for every run, so no run pays for starting it.
wineserver -p
# Windows always has its desktop up; Wine starts one with the first window and ends it a moment
# after the last window closes, so a program with a window that runs after a console program
# would pay for starting it again. A window held open for the whole benchmark keeps it up.
wine notepad >/dev/null 2>&1 &
python3 "$top/tests/engine/bench/mirror_benchmark.py" "$work" "$bin"
