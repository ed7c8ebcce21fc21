#!/usr/bin/env bash
# The publishers' diagnostic under wine: exit codes and output for each kind of file, and the
# same verdict on a system whose ANSI code page is not 932.
#   gsdiag_test.sh WINE GSDIAG OLD_RELEASE NEW_RELEASE CARRIER SCRATCH UPDATER
# WINEPREFIX, LOCPATH and the other wine variables come from the environment.
set -uo pipefail

wine=$1
gsdiag=$2
old=$3
new=$4
carrier=$5
scratch=$6
updater=$7
failures=0

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# expect CODE PATTERN LOCALE ARGS...: runs gsdiag and checks its exit code and that its output
# (turned from code page 932 into UTF-8) matches PATTERN.
expect() {
    local code=$1 pattern=$2 locale=$3
    shift 3
    local output status
    LC_ALL=$locale "$wine" "$gsdiag" "$@" >"$scratch/output" 2>&1
    status=$?
    output=$(iconv -f CP932 -t UTF-8 <"$scratch/output" | tr -d '\r')
    if [ "$status" -ne "$code" ]; then
        echo "FAIL: gsdiag $* (LC_ALL=$locale) exited with $status, expected $code"
        echo "$output"
        failures=$((failures + 1))
    elif ! grep -Eq -- "$pattern" <<<"$output"; then
        echo "FAIL: gsdiag $* (LC_ALL=$locale): output does not match /$pattern/"
        echo "$output"
        failures=$((failures + 1))
    else
        echo "ok: gsdiag $* (LC_ALL=$locale) -> $status"
    fi
}

rm -rf "$scratch"
mkdir -p "$scratch"
cp "$old" "$scratch/short.exe"
truncate -s 2047999 "$scratch/short.exe"

ja=ja_JP.UTF-8
expect 0 'verdict +1 \(eligible\)' $ja check "$(windows_path "$old")"
expect 0 'FileDescription +"ラークスパーグリーム"' $ja check "$(windows_path "$old")"
expect 0 'SpecialBuild +"QX20050721a"' $ja check "$(windows_path "$old")"
expect 1 'verdict +-1 \(already updated\)' $ja check "$(windows_path "$new")"
expect 1 'ProductName +"Larkspurgleam"' $ja check "$(windows_path "$new")"
expect 2 'size +2047999 bytes, 2048000 required: fails$' $ja check "$(windows_path "$scratch/short.exe")"
expect 2 'verdict +0 \(wrong file\)' $ja check "$(windows_path "$carrier")"
expect 2 'cannot read the file' $ja check "$(windows_path "$scratch/missing.exe")"
expect 2 'cannot read the file' $ja check "$(windows_path "$scratch")"
# A target that an interrupted update left only under its backup name: the update finishes.
mkdir -p "$scratch/interrupted"
cp "$old" "$scratch/interrupted/Larkspurgleam.bak"
expect 0 'interrupted update left the old release' $ja check "$(windows_path "$scratch/interrupted/Larkspurgleam.exe")"
# The payload an updater carries, and a program that carries none.
expect 0 'result +sound' $ja payload "$(windows_path "$updater")"
expect 0 'expanded +2048000 bytes, sha256 [0-9a-f]{64}$' $ja payload "$(windows_path "$updater")"
expect 2 'carried digest +missing' $ja payload "$(windows_path "$carrier")"
expect 3 'usage: gsdiag check FILE' $ja
expect 3 'usage: gsdiag check FILE' $ja check
expect 3 'usage: gsdiag check FILE' $ja inspect "$(windows_path "$old")"
expect 3 'Exit codes' $ja --help

# ANSI code page 1252: the values are still read and compared in code page 932.
expect 0 'ANSI code page +1252' C.UTF-8 check "$(windows_path "$old")"
expect 0 'FileDescription +"ラークスパーグリーム"' C.UTF-8 check "$(windows_path "$old")"
expect 1 'verdict +-1' C.UTF-8 check "$(windows_path "$new")"

rm -rf "$scratch"
echo "gsdiag: $failures failed"
[ "$failures" -eq 0 ]
