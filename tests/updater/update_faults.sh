#!/usr/bin/env bash
# update_faults.sh setup DIR OLD_RELEASE | cleanup DIR (as root): the update step's fault folders,
# each with the old release and an older backup. DIR/readonly is immutable; DIR/full, a file
# system of 3 MiB, has no room for a second release, so that writing the new one fails.
set -euo pipefail
dir=$2
chattr -i "$dir/readonly" 2>/dev/null || true
if mountpoint -q "$dir/full" 2>/dev/null; then umount "$dir/full"; fi
rm -rf "$dir"
[ "$1" = setup ] || exit 0
mkdir -p "$dir/readonly" "$dir/full"
mount -t tmpfs -o size=3m gs_update_faults "$dir/full"
for folder in "$dir/readonly" "$dir/full"; do
    cp --sparse=never "$3" "$folder/Larkspurgleam.exe" # the padding must take its room
    printf 'an older backup' >"$folder/Larkspurgleam.bak"
done
chattr +i "$dir/readonly"
