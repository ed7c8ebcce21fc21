#!/usr/bin/env bash
# The publisher's workflow end to end, in two parts. "make": scripts/publish makes and signs
# (with a throwaway certificate) a 64-bit updater for the second sample pair (1.0.0.1 to
# 1.0.0.2, other sizes) and osslsigncode verifies the signature. "run": gsdiag reads the
# release step from the signed file, and under wine64 the signed updater updates its old
# release, refuses the first pair's old release and reports its new release as already
# updated.
#   publish_test.sh make|run ROOT WINE DEMO_DRIVER SECOND_OLD SECOND_NEW FIRST_OLD SCRATCH
# WINEPREFIX, LOCPATH and the other wine variables come from the environment; "run" needs
# DISPLAY (the dialog is driven on it).
set -uo pipefail

part=$1
root=$2
wine=$3
driver=$4
second_old=$5
second_new=$6
first_old=$7
scratch=$8
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

if [ "$part" = make ]; then
rm -rf "$scratch"
mkdir -p "$scratch"

# A throwaway signing key and certificate, in a password-protected PKCS#12 file.
printf 'throwaway-%s\n' "$$" >"$scratch/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Larkspurgleam test publisher" \
    -keyout "$scratch/key.pem" -out "$scratch/cert.pem" >/dev/null 2>&1 &&
    openssl pkcs12 -export -inkey "$scratch/key.pem" -in "$scratch/cert.pem" \
        -passout "file:$scratch/password" -out "$scratch/publisher.p12" >/dev/null 2>&1 ||
    { echo "FAIL: cannot make the test certificate"; exit 1; }

if ! "$root/scripts/publish" "$second_old" "$second_new" --sign "$scratch/publisher.p12" \
    --password-file "$scratch/password" --arch x86_64 --out "$scratch/publish" \
    >"$scratch/publish.log" 2>&1; then
    cat "$scratch/publish.log"
    echo "FAIL: scripts/publish failed"
    exit 1
fi
updater=$(sed -n 's/^updater: //p' "$scratch/publish.log" | tail -n 1)
[ -f "$updater" ] || { cat "$scratch/publish.log"; echo "FAIL: no updater path printed"; exit 1; }
grep -q '【Version 1.0.0.2】' "$scratch/publish.log" || fail "publish does not show the version line"
grep -q 'of exactly 2100000 bytes' "$scratch/publish.log" || fail "publish does not show the old size"
echo "ok: scripts/publish made $updater"
# The dialog's line is the step's, in the updater's dialog template (UTF-16).
if perl -MEncode -e 'local $/; open(my $f, "<:raw", $ARGV[0]) or die; my $exe = <$f>;
        exit(index($exe, encode("UTF-16LE", decode("UTF-8", $ARGV[1]))) < 0 ? 1 : 0)' \
    "$updater" "【Version 1.0.0.2】へアップデートします。"; then
    echo "ok: the dialog says 【Version 1.0.0.2】"
else
    fail "the updater's dialog does not say 【Version 1.0.0.2】"
fi

if osslsigncode verify -CAfile "$scratch/cert.pem" -in "$updater" >"$scratch/verify.log" 2>&1 &&
    grep -q 'Signature verification: ok' "$scratch/verify.log"; then
    echo "ok: the signature verifies"
else
    cat "$scratch/verify.log"
    fail "osslsigncode verify"
fi
echo "publish, making the updater: $failures failed"
[ "$failures" -eq 0 ]
exit
fi

updater=$scratch/publish/LarkspurgleamUpdater.exe
[ -f "$updater" ] || { echo "FAIL: no updater from the make part"; exit 1; }

# The diagnostic reads the step from the signed file.
gsdiag=$scratch/publish/gsdiag.exe
LC_ALL=ja_JP.UTF-8 "$wine" "$gsdiag" release "$(windows_path "$updater")" >"$scratch/gsdiag.out" 2>&1
status=$?
report=$(iconv -f CP932 -t UTF-8 <"$scratch/gsdiag.out" | tr -d '\r')
if [ "$status" -ne 0 ] || ! grep -q 'ProductVersion "1, 0, 0, 2"' <<<"$report" ||
    ! grep -q 'decodes to the new release.*: ok' <<<"$report"; then
    echo "$report"
    fail "gsdiag release on the signed updater exited with $status"
else
    echo "ok: gsdiag release reads the step from the signed updater"
fi
# And refuses a program that carries none.
LC_ALL=ja_JP.UTF-8 "$wine" "$gsdiag" release "$(windows_path "$first_old")" >"$scratch/gsdiag.out" 2>&1
status=$?
report=$(iconv -f CP932 -t UTF-8 <"$scratch/gsdiag.out" | tr -d '\r')
if [ "$status" -ne 2 ] || ! grep -q 'no release description' <<<"$report"; then
    echo "$report"
    fail "gsdiag release on a release exited with $status"
fi

# run_case NAME TARGET TEXT: the updater in a folder of its own beside a copy of TARGET as
# Larkspurgleam.exe, OK pressed; the message box must say TEXT.
run_case() {
    local name=$1 target=$2 text=$3
    local folder=$scratch/$name
    mkdir -p "$folder/handshake"
    cp "$updater" "$folder/LarkspurgleamUpdater.exe"
    cp "$target" "$folder/Larkspurgleam.exe"
    touch "$folder/handshake/dialog.go" "$folder/handshake/outcome.go"
    LC_ALL=ja_JP.UTF-8 "$wine" "$driver" "$(windows_path "$folder/LarkspurgleamUpdater.exe")" \
        "$(windows_path "$folder/handshake")" >"$folder/driver.out" 2>&1
    local status=$?
    local seen
    seen=$(iconv -f CP932 -t UTF-8 <"$folder/driver.out" | tr -d '\r')
    if [ "$status" -ne 0 ] || ! grep -qF "text \"$text\"" <<<"$seen"; then
        echo "$seen"
        fail "$name: expected the message \"$text\" (driver exit $status)"
        return 1
    fi
    echo "ok: $name: \"$text\""
}

if run_case update "$second_old" "アップデート終了しました"; then
    cmp -s "$scratch/update/Larkspurgleam.exe" "$second_new" ||
        fail "update: Larkspurgleam.exe is not the new release byte for byte"
    cmp -s "$scratch/update/Larkspurgleam.bak" "$second_old" ||
        fail "update: Larkspurgleam.bak is not the old release byte for byte"
fi
if run_case wrong "$first_old" "アップデートするファイルが正しく指定されていません"; then
    cmp -s "$scratch/wrong/Larkspurgleam.exe" "$first_old" || fail "wrong: the target changed"
    [ ! -e "$scratch/wrong/Larkspurgleam.bak" ] || fail "wrong: a backup was made"
fi
if run_case done "$second_new" "ファイルは既にアップデートされています"; then
    cmp -s "$scratch/done/Larkspurgleam.exe" "$second_new" || fail "done: the target changed"
    [ ! -e "$scratch/done/Larkspurgleam.bak" ] || fail "done: a backup was made"
fi

[ "$failures" -eq 0 ] && rm -rf "$scratch"
echo "publish, running the updater: $failures failed"
[ "$failures" -eq 0 ]
