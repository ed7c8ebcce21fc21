#!/usr/bin/env bash
# The publisher's tool. With two arguments: the container commands on data made here. With
# eight: release, stage and check-updater on this build's and the product's program files.
#   gspayload_test.sh TOOL SCRATCH [DEFAULT_DESCRIPTION FIXTURES FIXTURES32 UPDATER PRODUCT SEEDS]
set -uo pipefail
tool=$(realpath "$1")
rm -rf "$2" && mkdir -p "$2" && cd "$2" || exit 1
failures=0
run=("$tool")
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
# ok ARGS...: the tool succeeds, silent on stderr.
ok() { "$tool" "$@" >out 2>err && [ ! -s err ] || { fail "gspayload $*: $(cat err)"; return 1; }; }
has() { grep -qF -- "$1" out || fail "the output lacks '$1': $(cat out)"; }
same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }
# refused CODE PATTERN ARGS...: exit CODE, one line "gspayload: ...PATTERN" on stderr, and no
# output (o, o.*) nor temporary file left behind.
refused() {
    local code=$1 pattern=$2 status=0 left
    shift 2
    "${run[@]}" "$@" >out 2>err || status=$?
    [ "$status" -eq "$code" ] && [ "$(wc -l <err)" -eq 1 ] && grep -Eq "^gspayload: .*$pattern" err ||
        fail "gspayload $*: exit $status (expected $code), stderr not one line /$pattern/: $(cat err)"
    left=$(compgen -G o; compgen -G 'o.*'; compgen -G '*.gspayload-tmp')
    [ -z "$left" ] || { fail "gspayload $*: left $left"; rm -rf $left; }
}
# refused_lines CODE: refused CODE "" for the arguments on each line of the input.
refused_lines() { while read -r -a args; do refused "$1" "" "${args[@]}"; done; }

if [ $# -eq 2 ]; then
    # Text, zeros, noise and every byte value: matches, the ring's start, what does not compress.
    perl -e 'srand(7); print map({ "record $_: item_" . $_ % 97 . "\r\n" } 0 .. 2999), "\0" x 20000,
        map({ chr(int(rand(256))) } 1 .. 80000), map({ chr($_ % 256) } 0 .. 25599)' >mixed.dat
    printf '\377' >one.dat
    size=$(stat -c %s mixed.dat)
    for case in "one.dat 0x5A" "mixed.dat 0" "mixed.dat 0xff" "mixed.dat 0x5A"; do
        read -r input mask <<<"$case"
        ok build $input c.bin --mask $mask && ok inspect c.bin && ok extract c.bin x.dat && same $input x.dat
    done
    # The digest beside the container is the SHA-256 of the executable; inspect checks it.
    digest=$(od -An -v -tx1 c.bin.sha256 | tr -d ' \n')
    [ "$digest" = "$(sha256sum <mixed.dat | cut -d' ' -f1)" ] || fail "c.bin.sha256 holds $digest"
    ok inspect c.bin && has "sha256:            $digest" && has "expanded length:   $size bytes"
    cp c.bin d.bin
    refused 1 "digest" inspect d.bin
    head -c 32 /dev/zero >d.bin.sha256
    refused 1 "digest" inspect d.bin
    # Mask 0 stores the raw stream, which decodes back, its size in decimal or hex.
    ok build mixed.dat z.bin --mask 0 && ok encode mixed.dat raw.lz &&
        { tail -c +73 z.bin | cmp -s - raw.lz || fail "the body of mask 0 is not the raw stream"; }
    for n in "$size" "$(printf 0x%x "$size")"; do ok decode raw.lz x.dat "$n" && same mixed.dat x.dat; done
    # A damaged container is refused by both readers (each reason is the container's tests').
    head -c 1000 c.bin >d.bin
    refused 1 "runs past the end" inspect d.bin
    refused 1 "runs past the end" extract d.bin o.dat
    mkdir adir && : >empty.dat
    refused_lines 2 <<EOF

bogus
build mixed.dat
build mixed.dat o.bin extra
build mixed.dat o.bin --mask
build mixed.dat o.bin --mask=999
build mixed.dat o.bin --mask 1 --mask 2
extract c.bin
decode raw.lz o.dat 1e3
EOF
    refused_lines 1 <<EOF
build missing.dat o.bin
build empty.dat o.bin
build adir o.bin
build mixed.dat adir
extract mixed.dat o.dat
extract c.bin nodir/o.dat
decode raw.lz o.dat $((size - 1))
decode raw.lz o.dat $((size + 1))
EOF
    # A failed command, also a write cut short (file size limit), keeps an existing output.
    echo old >keep.dat
    refused 1 "" decode raw.lz keep.dat $((size - 1))
    run=(bash -c 'ulimit -f 64 && trap "" XFSZ && exec "$@"' limited "$tool")
    refused 1 "" build mixed.dat big.bin
    refused 1 "" extract c.bin keep.dat
    [ ! -e big.bin ] && [ "$(cat keep.dat)" = old ] || fail "a failed command left big.bin or changed keep.dat"
    ok build --help && has "Exit codes"
else
    default=$3 old=$4/old/Larkspurgleam.exe new=$4/new/Larkspurgleam.exe
    # The sample pairs give the default description, a payload of the new release and its digest.
    for pair in "$old $new" "$5/old/Larkspurgleam.exe $5/new/Larkspurgleam.exe"; do
        ok release $pair step && same "$default" step/LarkspurgleamRelease.txt &&
            ok inspect step/LarkspurgleamPayload.bin && ok extract step/LarkspurgleamPayload.bin x.exe &&
            same "${pair#* }" x.exe
        rm -rf step
    done
    ok release "$old" "$new" step --mask 7 && { grep -qx 'mask = 0x07' step/LarkspurgleamRelease.txt || fail "--mask 7"; }
    cp "$old" copy.exe && printf x >>copy.exe
    printf 'MZ but nothing else\n' >notes.exe
    refused 1 'are the same file' release "$new" "$new" o
    refused 1 'OLD .*gs_version_carrier.exe: no version resource' release "$4/gs_version_carrier.exe" "$new" o
    refused 1 'NEW .*notes.exe: not a Windows program file' release "$old" notes.exe o
    refused 1 'is a 32-bit program and NEW .* a 64-bit one' release "$8/pe32" "$8/pe32plus" o
    refused 1 'does not differ from .* in FileDescription, ProductVersion and ProductName' release "$old" copy.exe o
    refused 2 'release takes OLD.exe NEW.exe OUT_DIR' release "$old" "$new"
    refused 2 'bad mask' release "$old" "$new" o --mask 256
    # The build's stage refuses a new release that is not the description's.
    refused 1 'decodes to 2150000 bytes, the new release has 2048000' stage "$default" o --new-release "$4/second_new/Larkspurgleam.exe"
    refused 1 'ProductVersion "1, 0, 0, 0", the new release "1, 0, 0, 1"' stage "$default" o --new-release "$old"
    # The updaters this build and the product's made pass the check the build runs on them.
    for updater in "$6" "$7"; do
        ok check-updater "$updater" && has 'decodes to the new release (its digest, four version values and size): ok'
    done
    refused 1 'does not carry the release step' check-updater "$old"
fi
echo "gspayload: $failures failed"
[ "$failures" -eq 0 ]
