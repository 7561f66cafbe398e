#!/usr/bin/env bash
# The two destination drives of the copy tests, mounted once around the test program by CTest
# (fixture set-up and clean-up) and mapped into each of its prefixes:
#   T: a small tmpfs that fills up
#   S: a slow drive (an ext2 image on a loop device, written synchronously, without the page
#      cache), where copying a few tens of megabytes takes seconds
#   copy-drives.sh mount ROOT | unmount ROOT
#   copy-drives.sh PREFIX      (the prefix set-up: maps the drives of VELLORAN_COPY_DRIVES)
set -eu
case $1 in
mount)
  root=$2
  "$0" unmount "$root"
  mkdir -p "$root/small" "$root/slow"
  mount -t tmpfs -o size=4m velloran-small "$root/small"
  truncate -s 256M "$root/slow.img"
  device=$(losetup --find --show --direct-io=on "$root/slow.img")
  mkfs.ext2 -q "$device"
  mount -o sync "$device" "$root/slow"
  ;;
unmount)
  root=$2
  if mountpoint -q "$root/small"; then umount "$root/small"; fi
  if mountpoint -q "$root/slow"; then umount "$root/slow"; fi
  if [ -f "$root/slow.img" ]; then
    for device in $(losetup -j "$root/slow.img" -O NAME -n); do losetup -d "$device"; done
  fi
  rm -rf "$root"
  ;;
*)
  prefix=$1
  root=${VELLORAN_COPY_DRIVES:?VELLORAN_COPY_DRIVES is not set}
  ln -sfn "$root/small" "$prefix/dosdevices/t:"
  ln -sfn "$root/slow" "$prefix/dosdevices/s:"
  ;;
esac
