#!/usr/bin/env bash
# mounted_volume.sh setup DIR | cleanup DIR (as root): a file system of 1 MiB mounted at DIR,
# with a folder "sub", so that the utility's tests see a folder where another volume is mounted.
set -euo pipefail
dir=$2
if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
rm -rf "$dir"
[ "$1" = setup ] || exit 0
mkdir -p "$dir"
mount -t tmpfs -o size=1m gs_mounted_volume "$dir"
mkdir "$dir/sub"
