#!/usr/bin/env bash
# Prepares and removes the folders of the update fault tests; needs root.
#   update_faults.sh setup DIR OLD_RELEASE
#   update_faults.sh cleanup DIR
# DIR/readonly: a folder where nothing may be created, renamed or deleted (immutable), holding
#   a copy of the old release.
# DIR/full: a small file system with a copy of the old release and too little room left for
#   the new one, so that writing it fails part way.
set -euo pipefail

command=$1
dir=$2

cleanup() {
    if [ -d "$dir/readonly" ]; then
        chattr -i "$dir/readonly" 2>/dev/null || true
    fi
    if mountpoint -q "$dir/full" 2>/dev/null; then
        umount "$dir/full"
    fi
    rm -rf "$dir"
}

case $command in
setup)
    old_release=$3
    cleanup
    mkdir -p "$dir/readonly" "$dir/full"
    cp "$old_release" "$dir/readonly/Larkspurgleam.exe"
    chattr +i "$dir/readonly"
    # 3 MiB: the old release (2,048,000 bytes) fits, a second file of that size does not.
    mount -t tmpfs -o size=3m gs_update_faults "$dir/full"
    # Not sparse: the padding of the release must take its room.
    cp --sparse=never "$old_release" "$dir/full/Larkspurgleam.exe"
    ;;
cleanup)
    cleanup
    ;;
*)
    echo "usage: update_faults.sh setup DIR OLD_RELEASE | cleanup DIR" >&2
    exit 2
    ;;
esac
