#!/usr/bin/env bash
# Sets up, builds and runs every test: the GoogleTest programs through CTest under Wine, then
# the end-to-end tests through pytest. Each test gets a private Wine prefix cloned from one
# pristine prefix booted at the start of this run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
build=${VELLORAN_BUILD_DIR:-$top/build}
build=$(cd "$build" && pwd)

. "$top/tests/wine/prefix.sh"
run_root=$(mktemp -d "${TMPDIR:-/tmp}/velloran-tests.XXXXXX")
cleanup() { WINEPREFIX=$run_root/pristine wineserver -k 2>/dev/null || true; rm -rf "$run_root"; }
trap cleanup EXIT
echo "[test] booting the run's Wine prefix"
make_pristine_prefix "$run_root/pristine"
export VELLORAN_PRISTINE_PREFIX=$run_root/pristine VELLORAN_TEST_ROOT=$run_root
export VELLORAN_BIN_DIR=$build/bin VELLORAN_BUILD_DIR=$build VELLORAN_TEST_DOUBLES_DIR=$build/test-doubles

status=0
ctest --test-dir "$build/i686" -j"$(nproc)" --output-on-failure || status=1
# Debian's pytest and test servers belong to /usr/bin/python3, not to the first python3 on PATH.
/usr/bin/python3 -m pytest -q -p no:cacheprovider "$top/tests/e2e" || status=1
exit $status
