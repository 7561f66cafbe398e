#!/usr/bin/env bash
# CTest's emulator: runs one Windows test program under Wine in a private prefix cloned from
# the run's pristine prefix, then ends that prefix's wineserver and removes the clone.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/prefix.sh"
pristine=${VELLORAN_PRISTINE_PREFIX:?VELLORAN_PRISTINE_PREFIX is not set}
root=${VELLORAN_TEST_ROOT:-${TMPDIR:-/tmp}}
mkdir -p "$root"
prefix=$(mktemp -d "$root/wineprefix.XXXXXX")
clone_prefix "$pristine" "$prefix"
export WINEPREFIX=$prefix
# A test program may need more of its prefix (a drive of another type, say) before it starts.
if [ -n "${VELLORAN_PREFIX_SETUP:-}" ]; then "$VELLORAN_PREFIX_SETUP" "$prefix" || exit 1; fi
prog=$1; shift
# Debian's wine loader starts 32-bit and 64-bit programs alike.
# Stderr passes through a copy: a program that crashed on a thread of its own may still end
# with code 0, and Wine's report of the fault is then what tells.
errors=$prefix.stderr
{ wine "$prog" "$@" 2>&1 1>&3 3>&- | tee "$errors" >&2; } 3>&1
rc=${PIPESTATUS[0]}
if grep -q '^wine: Unhandled' "$errors"; then
  echo "[wine] $(basename "$prog") crashed" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
rm -f "$errors"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
rm -rf "$prefix"
exit $rc
