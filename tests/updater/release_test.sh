#!/usr/bin/env bash
# gspayload release and stage on real program files: the sample releases of this build
# (64-bit) and of the product's (32-bit) give the repository's default description, and every
# misuse is refused with one line on stderr, a non-zero exit and nothing written.
#   release_test.sh GSPAYLOAD DEFAULT_DESCRIPTION FIXTURES FIXTURES32 UPDATER SCRATCH
set -uo pipefail

gspayload=$1
default=$2
fixtures=$3
fixtures32=$4
updater=$5
scratch=$6
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch"
old=$fixtures/old/Larkspurgleam.exe
new=$fixtures/new/Larkspurgleam.exe
old32=$fixtures32/old/Larkspurgleam.exe
new32=$fixtures32/new/Larkspurgleam.exe
for file in "$old" "$new" "$old32" "$new32"; do
    [ -f "$file" ] || { echo "FAIL: missing $file (build the win32 and win64 presets first)"; exit 1; }
done

# The sample pair, 64-bit and 32-bit: the default description byte for byte, and a payload
# that decodes to the new release.
for pair in "$old $new 64" "$old32 $new32 32"; do
    read -r o n bits <<<"$pair"
    out=$scratch/step$bits
    if ! "$gspayload" release "$o" "$n" "$out" >"$scratch/stdout" 2>"$scratch/stderr"; then
        fail "release on the $bits-bit sample pair: $(cat "$scratch/stderr")"
        continue
    fi
    cmp -s "$default" "$out/LarkspurgleamRelease.txt" ||
        fail "$bits-bit: the description differs from the default: $(diff "$default" "$out/LarkspurgleamRelease.txt")"
    "$gspayload" extract "$out/LarkspurgleamPayload.bin" "$scratch/extracted" >/dev/null &&
        cmp -s "$scratch/extracted" "$n" || fail "$bits-bit: the payload does not decode to $n"
    grep -q '^  shows     【Version 1.0.0.1】$' "$scratch/stdout" ||
        fail "$bits-bit: the report does not show the version line: $(cat "$scratch/stdout")"
    echo "ok: release on the $bits-bit sample pair"
done

# The mask goes into the description and the payload.
if "$gspayload" release "$old" "$new" "$scratch/mask" --mask 7 >/dev/null 2>&1; then
    grep -qx 'mask = 0x07' "$scratch/mask/LarkspurgleamRelease.txt" || fail "--mask 7 not described"
else
    fail "release --mask 7"
fi

# Files the misuse cases need: a copy of the old release that differs only in its padding,
# and a file that is no program at all.
cp "$old" "$scratch/old-copy.exe"
printf 'x' >>"$scratch/old-copy.exe"
printf 'MZ but nothing else\n' >"$scratch/notes.exe"

# expect_refusal PATTERN ARGS...: exit non-zero, one line on stderr matching PATTERN, no
# OUT_DIR left behind.
expect_refusal() {
    local pattern=$1
    shift
    local status=0
    rm -rf "$scratch/refused"
    "$gspayload" "$@" >"$scratch/stdout" 2>"$scratch/stderr" || status=$?
    local lines
    lines=$(wc -l <"$scratch/stderr")
    if [ "$status" -eq 0 ]; then
        fail "gspayload $*: accepted"
    elif [ "$lines" -ne 1 ] || ! grep -Eq "^gspayload: .*$pattern" "$scratch/stderr"; then
        fail "gspayload $*: stderr is not one line matching /$pattern/: $(cat "$scratch/stderr")"
    elif [ -e "$scratch/refused" ]; then
        fail "gspayload $*: wrote $scratch/refused all the same"
    else
        echo "ok: refused: $(cat "$scratch/stderr")"
    fi
}

expect_refusal 'are the same file' release "$new" "$new" "$scratch/refused"
expect_refusal 'are the same file' release "$old32" "$old32" "$scratch/refused"
expect_refusal 'OLD .*gs_version_carrier.exe: no version resource' \
    release "$fixtures/../fixtures/gs_version_carrier.exe" "$new" "$scratch/refused"
expect_refusal 'NEW .*notes.exe: not a Windows program file' \
    release "$old" "$scratch/notes.exe" "$scratch/refused"
expect_refusal 'NEW .*README.*: not a Windows program file' \
    release "$old" "$(dirname "$default")/../README.md" "$scratch/refused"
expect_refusal 'is a 32-bit program and NEW .* a 64-bit one' \
    release "$old32" "$new" "$scratch/refused"
expect_refusal 'is a 64-bit program and NEW .* a 32-bit one' \
    release "$old" "$new32" "$scratch/refused"
expect_refusal 'does not differ from .* in FileDescription, ProductVersion and ProductName' \
    release "$old" "$scratch/old-copy.exe" "$scratch/refused"
expect_refusal 'does not differ from' \
    release "$fixtures/second_old/Larkspurgleam.exe" "$new" "$scratch/refused"
expect_refusal 'cannot open .*missing.exe' release "$old" "$scratch/missing.exe" "$scratch/refused"
expect_refusal 'release takes OLD.exe NEW.exe OUT_DIR' release "$old" "$new"
expect_refusal 'bad mask' release "$old" "$new" "$scratch/refused" --mask 256

# The build's stage: a new release that is not the description's fails it.
expect_refusal 'is not the new release of .*decodes to 2150000 bytes, the new release has 2048000' \
    stage "$default" "$scratch/refused" --new-release "$fixtures/second_new/Larkspurgleam.exe"
expect_refusal 'is not the new release of .*ProductVersion "1, 0, 0, 0", the new release "1, 0, 0, 1"' \
    stage "$default" "$scratch/refused" --new-release "$old"
sed 's/^old.size = .*/old.size = many/' "$default" >"$scratch/bad.txt"
expect_refusal 'bad.txt: line 8: bad old.size' \
    stage "$scratch/bad.txt" "$scratch/refused" --new-release "$new"

# The check of a built updater (the build runs it; gsdiag release is the same code): this
# build's updater passes, a copy whose payload claims another expanded length does not.
if "$gspayload" check-updater "$updater" >"$scratch/stdout" 2>&1 &&
    grep -q 'decodes to the new release.*: ok' "$scratch/stdout"; then
    echo "ok: check-updater on this build's updater"
else
    fail "check-updater on $updater: $(cat "$scratch/stdout")"
fi
cp "$updater" "$scratch/damaged.exe"
perl -e 'local $/; open(my $u, "+<:raw", $ARGV[0]) or die; my $exe = <$u>;
         open(my $p, "<:raw", $ARGV[1]) or die; my $payload = <$p>;
         my $at = index($exe, $payload); die "payload not found" if $at < 0;
         seek($u, $at + 60, 0); print $u pack("V", 2047999); close($u) or die' \
    "$scratch/damaged.exe" "$(dirname "$updater")/../resources/LarkspurgleamPayload.bin" ||
    fail "cannot damage a copy of the updater"
expect_refusal 'damaged.exe does not carry the release step it describes' \
    check-updater "$scratch/damaged.exe"
grep -q 'WRONG: the payload does not decode' "$scratch/stdout" ||
    fail "check-updater on the damaged copy does not say why: $(cat "$scratch/stdout")"
expect_refusal 'does not carry the release step' check-updater "$old"

rm -rf "$scratch"
echo "release: $failures failed"
[ "$failures" -eq 0 ]
