#!/usr/bin/env bash
# The publishers' diagnostic under wine: exit code and output for each kind of file, a file
# held open by another program, and the same verdict when the ANSI code page is 1252.
#   gsdiag_test.sh WINE GSDIAG OLD_RELEASE NEW_RELEASE CARRIER SCRATCH UPDATER (wine's variables set)
set -uo pipefail
wine=$1 gsdiag=$2 old=$3 new=$4 carrier=$5 scratch=$6 updater=$7 failures=0 locale=ja_JP.UTF-8
w() { printf 'Z:%s' "${1//\//\\}"; }
# gsdiag CODE ARGS... / sees PATTERN: the exit code (a mismatch counts unless $quiet is set) and
# a line of the output, turned from code page 932 into UTF-8.
gsdiag() {
    local code=$1 status
    shift
    LC_ALL=$locale "$wine" "$gsdiag" "$@" >"$scratch/output" 2>&1
    status=$?
    output=$(iconv -f CP932 -t UTF-8 <"$scratch/output" | tr -d '\r')
    [ "$status" -eq "$code" ] && return
    [ -n "${quiet:-}" ] || { echo "FAIL: gsdiag $* (LC_ALL=$locale): exit $status, not $code: $output"; failures=$((failures + 1)); }
    return 1
}
sees() { grep -Eq -- "$1" <<<"$output" || { echo "FAIL: no line /$1/ in: $output"; failures=$((failures + 1)); }; }

rm -rf "$scratch" && mkdir -p "$scratch/interrupted" && cp "$old" "$scratch/held.exe"
cp "$old" "$scratch/short.exe" && truncate -s 2047999 "$scratch/short.exe"
cp "$old" "$scratch/interrupted/Larkspurgleam.bak"
gsdiag 0 check "$(w "$old")" && sees 'verdict +1 \(eligible\)' && sees 'SpecialBuild +"QX20050721a"'
gsdiag 1 check "$(w "$new")" && sees 'verdict +-1 \(already updated\)'
gsdiag 2 check "$(w "$scratch/short.exe")" && sees 'size +2047999 bytes, 2048000 required: fails$'
gsdiag 2 check "$(w "$carrier")" && sees 'verdict +0 \(wrong file\)'
gsdiag 2 check "$(w "$scratch")" && sees 'cannot read the file'
# Only the backup of an interrupted update is left: the update finishes.
gsdiag 0 check "$(w "$scratch/interrupted/Larkspurgleam.exe")" && sees 'interrupted update left the old release'
gsdiag 0 payload "$(w "$updater")" && sees 'result +sound' && sees 'expanded +2048000 bytes, sha256 [0-9a-f]{64}$'
gsdiag 2 payload "$(w "$carrier")" && sees 'carried digest +missing'
gsdiag 0 release "$(w "$updater")" && sees 'decodes to the new release.*: ok' &&
    sees '^  identity  FileDescription "ラークスパーグリームアップデート", .*FileVersion "1, 0, 0, 1", ProductVersion "1, 0, 0, 1", OriginalFilename "LarkspurgleamUpdater.exe", numbers 1.0.0.1$'
gsdiag 2 release "$(w "$old")" && sees 'no release description'
gsdiag 3 inspect "$(w "$old")" && sees 'usage: gsdiag check FILE'
# Held open by another program (cmd's redirection, as long as ping runs): exit 4 once it holds.
"$wine" cmd /c "ping -n 8 127.0.0.1 >nul <$(w "$scratch/held.exe")" >/dev/null 2>&1 &
for _ in $(seq 30); do quiet=1 gsdiag 4 check "$(w "$scratch/held.exe")" && break || sleep 0.2; done
sees 'result +in use: another program holds the file open'
wait
# ANSI code page 1252: the values are still read and compared in code page 932.
locale=C.UTF-8
gsdiag 0 check "$(w "$old")" && sees 'ANSI code page +1252' && sees 'FileDescription +"ラークスパーグリーム"'
gsdiag 1 check "$(w "$new")"
rm -rf "$scratch"
echo "gsdiag: $failures failed"
[ "$failures" -eq 0 ]
