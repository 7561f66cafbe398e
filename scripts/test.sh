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
tree=i686
if ! wine32_runs; then
  # The sources are the same; what goes untested is what only a 32-bit program does: the bridge
  # through which the 32-bit program reaches the 64-bit shadow-copy host.
  echo "[test] this machine cannot start 32-bit programs (the kernel has no IA-32 emulation):" \
       "testing the 64-bit build of the program instead; the 32-bit road to shadow copies goes untested"
  use_64bit_wine
  tree=whole64
fi
run_root=$(mktemp -d "${TMPDIR:-/tmp}/velloran-tests.XXXXXX")
cleanup() { WINEPREFIX=$run_root/pristine wineserver -k 2>/dev/null || true; rm -rf "$run_root"; }
trap cleanup EXIT
echo "[test] booting the run's Wine prefix"
make_pristine_prefix "$run_root/pristine"
export VELLORAN_PRISTINE_PREFIX=$run_root/pristine VELLORAN_TEST_ROOT=$run_root
if [ $tree = i686 ]; then
  export VELLORAN_BIN_DIR=$build/bin VELLORAN_TEST_DOUBLES_DIR=$build/test-doubles
else
  export VELLORAN_BIN_DIR=$build/bin64 VELLORAN_TEST_DOUBLES_DIR=$build/test-doubles64
fi
export VELLORAN_BUILD_DIR=$build VELLORAN_TEST_TREE=$build/$tree

# A developer may run a part: VELLORAN_CTEST_ARGS (say "-R engine") and VELLORAN_PYTEST_ARGS
# (say "tests/e2e/test_combine.py -k damaged") replace the defaults; "skip" skips that runner.
status=0
if [ "${VELLORAN_CTEST_ARGS:-}" != skip ]; then
  # shellcheck disable=SC2086
  ctest --test-dir "$build/$tree" -j"$(nproc)" --output-on-failure ${VELLORAN_CTEST_ARGS:-} || status=1
fi
if [ "${VELLORAN_PYTEST_ARGS:-}" != skip ]; then
  # Debian's pytest and test servers belong to /usr/bin/python3, not to the first python3 on PATH.
  # shellcheck disable=SC2086
  (cd "$top" && /usr/bin/python3 -m pytest -q -p no:cacheprovider ${VELLORAN_PYTEST_ARGS:-tests/e2e tests/setup}) || status=1
fi
exit $status
