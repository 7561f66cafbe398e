#!/usr/bin/env bash
# Compiles the help sources of this folder into Korrin.chm.
#   make_chm.sh STAGE OUTPUT
# The sources are laid out in STAGE as the help file holds them (the project, contents and index
# at the top, the pages under help\, the popup texts under popups\, with Windows line ends), the
# project's [FILES] list is made from that tree, and chmcmd compiles it. Any error or warning of
# chmcmd (a page that links to a file that does not exist, say) fails the build. chmcmd's binary
# keyword index, URL table, system file and header depart from the documented format in ways that
# keep Windows' keyword look-up from finding the dialogs' topics: repair_chm.py mends them.
set -euo pipefail
src=$(cd "$(dirname "$0")" && pwd)
stage=$1
output=$2
rm -rf "$stage"
mkdir -p "$stage/help" "$stage/popups"
cp "$src/Korrin.hhc" "$src/Korrin.hhk" "$stage/"
cp "$src"/*.htm "$src"/*.css "$stage/help/"
for f in "$src"/popups/*.txt; do
  sed 's/\r*$/\r/' "$f" > "$stage/popups/$(basename "$f")"
done
{
  cat "$src/Korrin.hhp"
  printf '\n[FILES]\n'
  (cd "$stage" && find help popups -type f | LC_ALL=C sort | tr / '\\')
} > "$stage/Korrin.hhp"
if ! (cd "$stage" && "${CHMCMD:-chmcmd}" Korrin.hhp) > "$stage/chmcmd.log" 2>&1; then
  cat "$stage/chmcmd.log" >&2
  exit 1
fi
if grep -E '^(Error|Warning)' "$stage/chmcmd.log" >&2; then
  exit 1
fi
rm -rf "$stage/unpacked"
if ! "${SEVENZIP:-7z}" x -y -o"$stage/unpacked" "$stage/Korrin.chm" > "$stage/7z.log" 2>&1; then
  cat "$stage/7z.log" >&2
  exit 1
fi
"${PYTHON:-/usr/bin/python3}" "$src/repair_chm.py" "$stage/Korrin.chm" "$stage/unpacked"
cp "$stage/Korrin.chm" "$output"
