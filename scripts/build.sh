#!/usr/bin/env bash
# Sets up the machine (scripts/setup.sh) and builds both trees into $VELLORAN_BUILD_DIR
# (default build/): build/x86_64 and build/i686, with every binary in build/bin.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${VELLORAN_BUILD_DIR:-$top/build}
build=$(mkdir -p "$build" && cd "$build" && pwd)

[ -n "${VELLORAN_SKIP_SETUP:-}" ] || "$top/scripts/setup.sh"
deps=$(readlink -f "${VELLORAN_DEPS_CACHE:-$HOME/.cache/velloran-deps}/current")

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
echo "[build] binaries in $build/bin"
