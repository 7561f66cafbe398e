#!/usr/bin/env bash
# Compiles the help sources of this folder into Korrin.chm.
#   make_chm.sh STAGE OUTPUT [PICTURES]
# The sources are laid out in STAGE as the help file holds them (the project, contents and index
# at the top, the pages under help\, the popup texts under popups\, with Windows line ends), the
# project's [FILES] list is made from that tree, and chmcmd compiles it. Any error or warning of
# chmcmd (a page that links to a file that does not exist, say) fails the build. chmcmd's binary
# keyword index, URL table, system file and header depart from the documented format in ways that
# keep Windows' keyword look-up from finding the dialogs' topics: repair_chm.py mends them.
# A page may ask for a picture of the program with a line "<!--picture NAME.png Text-->": when
# PICTURES (the build's artifacts folder, where the display tests leave their screenshots) holds
# NAME.png, the picture goes into the help file and the line becomes the picture, else the line
# is dropped, so a build without those tests still makes a complete help file.
set -euo pipefail
src=$(cd "$(dirname "$0")" && pwd)
stage=$1
output=$2
pictures=${3:-}
rm -rf "$stage"
mkdir -p "$stage/help" "$stage/popups"
cp "$src/Korrin.hhc" "$src/Korrin.hhk" "$stage/"
cp "$src"/*.css "$stage/help/"
for page in "$src"/*.htm; do
  while IFS= read -r line; do
    if [[ $line =~ ^\<!--picture\ ([A-Za-z0-9_.-]+\.png)\ (.*)--\>$ ]]; then
      name=${BASH_REMATCH[1]}
      if [ -n "$pictures" ] && [ -f "$pictures/$name" ]; then
        cp "$pictures/$name" "$stage/help/$name"
        printf '<p class="picture"><img src="%s" alt="%s"></p>\n' "$name" "${BASH_REMATCH[2]}"
      fi
    else
      printf '%s\n' "$line"
    fi
  done < "$page" > "$stage/help/$(basename "$page")"
done
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
