#!/usr/bin/env bash
# The publisher's workflow. "make": scripts/publish makes and signs an updater (ARCH) for the
# second sample pair with this build's payload tool. "run" (wine, DISPLAY): gsdiag reads its step;
# it updates its old release, refuses the first pair's, knows its new one.
#   publish_test.sh make|run ROOT WINE DRIVER SECOND_OLD SECOND_NEW FIRST_OLD SCRATCH HOST_GSPAYLOAD ARCH
set -uo pipefail
part=$1 root=$2 wine=$3 driver=$4 old=$5 new=$6 first_old=$7 scratch=$8
updater=$scratch/publish/LarkspurgleamUpdater.exe
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
w() { printf 'Z:%s' "${1//\//\\}"; }

if [ "$part" = make ]; then
    rm -rf "$scratch" && mkdir -p "$scratch/publish"
    ln -s "$(dirname "$(dirname "$9")")" "$scratch/publish/tools"
    cd "$scratch" && printf 'throwaway-%s\n' "$$" >password || exit 1
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Larkspurgleam test" -keyout key.pem \
        -out cert.pem 2>/dev/null && openssl pkcs12 -export -inkey key.pem -in cert.pem \
        -passout file:password -out key.p12 || { echo "FAIL: cannot make the test certificate"; exit 1; }
    "$root/scripts/publish" "$old" "$new" --sign key.p12 --password-file password --arch "${10}" \
        --out publish >publish.log 2>&1 && [ "$(tail -n 1 publish.log)" = "updater: $updater" ] ||
        { cat publish.log; echo "FAIL: scripts/publish"; exit 1; }
    # The dialog's line is the step's, in the dialog template (UTF-16).
    perl -MEncode -e 'local $/; open(my $f, "<:raw", $ARGV[0]) or die; exit(index(<$f>,
        encode("UTF-16LE", decode("UTF-8", $ARGV[1]))) < 0)' "$updater" "【Version 1.0.0.2】へアップデートします。" ||
        fail "the dialog does not say 【Version 1.0.0.2】"
    osslsigncode verify -CAfile cert.pem -in "$updater" 2>&1 | grep -q 'Signature verification: ok' ||
        fail "osslsigncode verify"
    # scripts/verify-build: the signed file is the build of these sources and releases; the same
    # with one byte changed, signed again, is not.
    mkdir -p verify/publish && ln -s "$(dirname "$(dirname "$9")")" verify/publish/tools
    "$root/scripts/verify-build" "$updater" "$old" "$new" --arch "${10}" --out verify >verify.log 2>&1 ||
        fail "verify-build refuses the published updater: $(cat verify.log)"
    osslsigncode remove-signature -in "$updater" -out changed.exe >/dev/null 2>&1 &&
        printf '\x90' | dd of=changed.exe bs=1 seek=4096 conv=notrunc 2>/dev/null &&
        osslsigncode sign -pkcs12 key.p12 -readpass password -h sha256 -time 1 -in changed.exe \
            -out changed-signed.exe >/dev/null 2>&1 || fail "cannot make the changed updater"
    "$root/scripts/verify-build" changed-signed.exe "$old" "$new" --arch "${10}" --out verify \
        >verify-changed.log 2>&1
    status=$?
    [ "$status" -eq 1 ] && grep -q 'is not that build' verify-changed.log ||
        fail "verify-build on a changed updater: exit $status: $(cat verify-changed.log)"
else
    cd "$scratch" && [ -f "$updater" ] || { echo "FAIL: no updater from the make part"; exit 1; }
    # The step read from the signed file, its payload checked (exit 0).
    LC_ALL=ja_JP.UTF-8 "$wine" publish/gsdiag.exe release "$(w "$updater")" </dev/null >gsdiag.out 2>&1 &&
        LC_ALL=C grep -q '^  identity  .*FileVersion "1, 0, 0, 2", ProductVersion "1, 0, 0, 2", .*numbers 1.0.0.2' gsdiag.out ||
        fail "gsdiag release on the signed updater: $(cat gsdiag.out)"
    # The updater beside TARGET as Larkspurgleam.exe, OK pressed: the message, target and backup.
    while read -r name target message after backup; do
        mkdir -p $name/handshake && touch $name/handshake/{dialog,outcome}.go && cp "$target" $name/Larkspurgleam.exe
        cp "$updater" $name/ && LC_ALL=ja_JP.UTF-8 "$wine" "$driver" "$(w "$PWD/$name/LarkspurgleamUpdater.exe")" \
            "$(w "$PWD/$name/handshake")" </dev/null 2>&1 | iconv -f CP932 -t UTF-8 >$name/seen
        grep -qF "text \"$message\"" $name/seen || fail "$name: no message \"$message\": $(cat $name/seen)"
        cmp -s $name/Larkspurgleam.exe "$after" || fail "$name: Larkspurgleam.exe is not $after"
        { [ "$backup" = none ] && [ ! -e $name/Larkspurgleam.bak ]; } || cmp -s $name/Larkspurgleam.bak "$backup" ||
            fail "$name: Larkspurgleam.bak is not $backup"
    done <<EOF
update $old アップデート終了しました $new $old
wrong $first_old アップデートするファイルが正しく指定されていません $first_old none
done $new ファイルは既にアップデートされています $new none
EOF
    [ "$failures" -eq 0 ] && rm -rf "$scratch"
fi
echo "publish $part: $failures failed"
[ "$failures" -eq 0 ]
