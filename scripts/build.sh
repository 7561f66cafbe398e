#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh) and builds both trees into $VELLORAN_BUILD_DIR
# (default build/): build/x86_64 and build/i686, with every binary in build/bin. On a machine
# that runs no 32-bit code it also builds the whole program and its tests for x86_64 into
# build/whole64, with its binaries in build/bin64: the build that the tests can run there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELLORAN_BUILD_DIR:-$top/build}
build=$(mkdir -p "$build" && cd "$build" && pwd)

[ -n "${VELLORAN_SKIP_SETUP:-}" ] || "$top/scripts/setup.sh"
deps_cache=${VELLORAN_DEPS_CACHE:-$HOME/.cache/velloran-deps}
deps=$(readlink -f "$deps_cache/current")

configure() {
  local arch=$1; shift
  cmake -S "$top" -B "$build/$arch" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
        -DVELLORAN_BIN_DIR="$build/bin" "$@" >/dev/null
}
configure x86_64
cmake --build "$build/x86_64"
configure i686 -DVELLORAN_DEPS_PREFIX="$deps"
cmake --build "$build/i686"
if ! (. "$top/tests/wine/prefix.sh" && wine32_runs); then
  cmake -S "$top" -B "$build/whole64" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-x86_64.cmake" -DVELLORAN_WHOLE_TREE_64=ON \
        -DVELLORAN_DEPS_PREFIX="$(readlink -f "$deps_cache/current-x86_64")" \
        -DVELLORAN_BIN_DIR="$build/bin64" -DVELLORAN_TEST_DOUBLES_DIR="$build/test-doubles64" >/dev/null
  cmake --build "$build/whole64"
fi
echo "[build] binaries in $build/bin"
