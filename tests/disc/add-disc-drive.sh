#!/usr/bin/env bash
# Prefix set-up of the disc tests: drive R: becomes a CD-ROM drive backed by a folder inside the
# prefix. Wine reads drive types when the prefix's wineserver starts, so that server is ended.
set -eu
prefix=$1
mkdir -p "$prefix/disc-drive"
ln -sfn ../disc-drive "$prefix/dosdevices/r:"
# The 64-bit reg.exe, so the key is not redirected to Wow6432Node.
WINEPREFIX=$prefix /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null 2>&1
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
