#!/usr/bin/env bash
# Benchmark of the mirror copy (not a test): a generated tree of 20,000 small files and a few
# large ones is mirrored by a whole job under Wine, first run and unchanged rerun, and copied
# by `rsync -a` on the same machine for comparison.
# Usage: tests/engine/bench/mirror_benchmark.sh [build folder]   (default: build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "${1:-${VELLORAN_BUILD_DIR:-$top/build}}" && pwd)
driver=$build/i686/tests/bin/mirror_bench.exe
[ -x "$driver" ] || { echo "build mirror_bench first (it is part of the normal build)" >&2; exit 2; }

. "$top/tests/wine/prefix.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velloran-bench.XXXXXX")
cleanup() { WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

small=${BENCH_SMALL_FILES:-20000}
large=${BENCH_LARGE_FILES:-3}
large_mb=${BENCH_LARGE_MB:-100}
echo "[bench] generating $small small files and $large files of $large_mb MB"
python3 - "$work/src" "$small" "$large" "$large_mb" <<'PY'
import os, sys, random
root, small, large, large_mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
random.seed(7)
for i in range(small):
    folder = os.path.join(root, "d%03d" % (i // 100), "e%02d" % (i % 100 // 25))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
        f.write(os.urandom(random.randint(200, 4000)))
os.makedirs(os.path.join(root, "large"), exist_ok=True)
for i in range(large):
    with open(os.path.join(root, "large", "big%d.bin" % i), "wb") as f:
        for _ in range(large_mb):
            f.write(os.urandom(1 << 20))
PY
files=$(find "$work/src" -type f | wc -l)
bytes=$(du -sb "$work/src" | cut -f1)
mkdir -p "$work/dest" "$work/data" "$work/rsync"

echo "[bench] booting a Wine prefix"
make_pristine_prefix "$work/prefix" >/dev/null
export WINEPREFIX=$work/prefix
win() { echo "Z:${1//\//\\}"; }

rate() { # label seconds
  python3 -c "import sys; s=float(sys.argv[2]); f=int(sys.argv[3]); b=int(sys.argv[4]); print('%-28s %8.2f s %10.0f files/s %9.1f MB/s' % (sys.argv[1], s, f/s, b/s/1048576))" "$1" "$2" "$files" "$bytes"
}
timed() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); python3 -c "import sys; print(float(sys.argv[1]) - float(sys.argv[2]))" "$t1" "$t0"; }

job() { wine "$driver" "$(win "$work/src/")" "$(win "$work/dest/")" "$(win "$work/data/")"; }
sync
job_first=$(timed job)
job_rerun=$(timed job)
rsync_first=$(timed rsync -a "$work/src/" "$work/rsync/")
rsync_rerun=$(timed rsync -a "$work/src/" "$work/rsync/")

echo "[bench] $files files, $((bytes / 1048576)) MB (times include starting Wine for the job)"
rate "job, first run" "$job_first"
rate "job, unchanged rerun" "$job_rerun"
rate "rsync -a, first run" "$rsync_first"
rate "rsync -a, unchanged rerun" "$rsync_rerun"
python3 -c "import sys; a,b,c,d=map(float,sys.argv[1:]); print('ratio job/rsync: first run %.2f, rerun %.2f' % (a/c, b/d))" \
  "$job_first" "$job_rerun" "$rsync_first" "$rsync_rerun"
