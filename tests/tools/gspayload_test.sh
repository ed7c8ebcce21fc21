#!/usr/bin/env bash
# End-to-end checks of the gspayload tool.
# usage: gspayload_test.sh TOOL SCRATCH_DIR GROUP
#   GROUP: roundtrip | scrambling | errors | inspect
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 TOOL SCRATCH_DIR GROUP" >&2
    exit 2
fi
tool=$(realpath "$1")
scratch=$2
group=$3

rm -rf "$scratch"
mkdir -p "$scratch"
cd "$scratch"

failures=0
# How the tool is started; the errors group swaps in a resource-limited run.
run=("$tool")
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# --- helpers -------------------------------------------------------------------------------

size_of() { stat -c %s "$1"; }

# u32 FILE OFFSET: the little-endian 32-bit value at OFFSET.
u32() {
    perl -e 'open(my $f, "<:raw", $ARGV[0]) or die "$ARGV[0]: $!";
             seek($f, $ARGV[1], 0); read($f, my $b, 4) == 4 or die "short read";
             print unpack("V", $b), "\n"' "$1" "$2"
}

# patch_u32 FILE OFFSET VALUE: overwrite the little-endian 32-bit value at OFFSET.
patch_u32() {
    perl -e 'open(my $f, "+<:raw", $ARGV[0]) or die "$ARGV[0]: $!";
             seek($f, $ARGV[1], 0); print $f pack("V", $ARGV[2]); close($f) or die' "$1" "$2" "$3"
}

# A few hundred KB that exercise literals, short and long matches, the zero-filled start of
# the ring and incompressible stretches. Deterministic, so a failure reproduces.
make_mixed() {
    perl -e '
        use integer;
        binmode STDOUT;
        my $seed = 20240611;
        sub rnd { $seed = ($seed * 1103515245 + 12345) & 0x7FFFFFFF; return ($seed >> 16) & 0xFF; }
        my $text = "";
        for my $i (0 .. 2999) {
            $text .= "record $i: name=item_" . ($i % 97) . " value=" . ($i * 7919 % 10007) . "\r\n";
        }
        print $text;
        print "\0" x 20000;
        print join("", map { chr(rnd()) } 1 .. 80000);
        print join("", map { chr($_ & 0xFF) } 0 .. 25599);
        print join("", map { pack("VvCC", $_, $_ * 7, $_ % 251, 0xFF) } 0 .. 9999);
        print substr($text, 1000, 40000);
    '
}

# expect_error CODE OUTPUT ARGS...: the tool exits with CODE, writes exactly one line to
# stderr starting with "gspayload: ", and neither OUTPUT (unless empty) nor any temporary
# file exists afterwards.
expect_error() {
    local want=$1 output=$2
    shift 2
    local rc=0
    "${run[@]}" "$@" >stdout.txt 2>stderr.txt || rc=$?
    local what="gspayload $*"
    [[ $rc -eq $want ]] || fail "$what: exit $rc, expected $want"
    local lines
    lines=$(wc -l <stderr.txt)
    if [[ $lines -ne 1 || -n $(tail -c 1 stderr.txt) ]]; then
        fail "$what: stderr is not exactly one line: $(cat stderr.txt)"
    elif [[ $(head -c 11 stderr.txt) != "gspayload: " ]]; then
        fail "$what: stderr does not start with 'gspayload: ': $(cat stderr.txt)"
    fi
    if [[ -n $output && -e $output ]]; then
        fail "$what: left $output behind"
    fi
    if [[ -n $(find . -name '*.gspayload-tmp') ]]; then
        fail "$what: left a temporary file behind"
        find . -name '*.gspayload-tmp' -delete
    fi
}

# expect_ok ARGS...: the tool succeeds and writes nothing to stderr.
expect_ok() {
    local rc=0
    "$tool" "$@" >stdout.txt 2>stderr.txt || rc=$?
    [[ $rc -eq 0 ]] || fail "gspayload $*: exit $rc: $(cat stderr.txt)"
    [[ ! -s stderr.txt ]] || fail "gspayload $*: unexpected stderr: $(cat stderr.txt)"
    return $rc
}

# stdout_has TEXT: the last run's stdout contains the line fragment TEXT.
stdout_has() {
    grep -qF -- "$1" stdout.txt || fail "stdout lacks '$1': $(cat stdout.txt)"
}

same_file() {
    cmp -s "$1" "$2" || fail "$1 and $2 differ"
}

make_mixed >mixed.dat
printf '\377' >one.dat
mixed_size=$(size_of mixed.dat)

# --- groups --------------------------------------------------------------------------------

test_roundtrip() {
    local input mask args n=0
    for input in mixed.dat one.dat; do
        for mask in default 0 0xFF 7 0x80; do
            n=$((n + 1))
            args=()
            [[ $mask == default ]] || args=(--mask "$mask")
            expect_ok build "$input" "c$n.bin" "${args[@]}" || continue
            local size
            size=$(size_of "$input")
            expect_ok inspect "c$n.bin" || continue
            stdout_has "expanded length:   $size bytes"
            stdout_has "decodes to:        $size bytes"
            expect_ok extract "c$n.bin" "x$n.dat" || continue
            same_file "$input" "x$n.dat"
        done
    done

    # The header a default build writes: lengths, the default mask, zeroed reserved areas.
    expect_ok build mixed.dat header.bin || return 0
    [[ $(u32 header.bin 52) -eq $(($(size_of header.bin) - 72)) ]] ||
        fail "compressed length $(u32 header.bin 52) does not match the body"
    [[ $(u32 header.bin 56) -eq $((0x5A)) ]] || fail "default mask is $(u32 header.bin 56)"
    [[ $(u32 header.bin 60) -eq $mixed_size ]] || fail "expanded length $(u32 header.bin 60)"
    [[ $(head -c 52 header.bin | tr -d '\0' | wc -c) -eq 0 ]] || fail "reserved head not zero"
    [[ $(head -c 72 header.bin | tail -c 8 | tr -d '\0' | wc -c) -eq 0 ]] ||
        fail "reserved tail not zero"
    [[ $(u32 header.bin 52) -lt $mixed_size ]] || fail "mixed data did not compress"

    # The raw stream round-trips too, with the size given in decimal or hex.
    expect_ok encode mixed.dat raw.lz || return 0
    expect_ok decode raw.lz raw.dat "$mixed_size" && same_file mixed.dat raw.dat
    expect_ok decode raw.lz raw16.dat "$(printf '0x%x' "$mixed_size")" &&
        same_file mixed.dat raw16.dat
    if cmp -s raw.lz mixed.dat; then fail "encode copied its input"; fi

    # An empty raw stream is legitimate and decodes to nothing.
    : >empty.dat
    if expect_ok encode empty.dat empty.lz && [[ -s empty.lz ]]; then
        fail "empty input, non-empty stream"
    fi
    if expect_ok decode empty.lz empty.out 0 && [[ ! -e empty.out || -s empty.out ]]; then
        fail "empty stream did not decode to an empty file"
    fi

    # Outputs replace an existing file.
    echo old >replaced.dat
    expect_ok extract c1.bin replaced.dat && same_file mixed.dat replaced.dat
}

test_scrambling() {
    expect_ok encode mixed.dat raw.lz || return 0

    # Mask 0 leaves the body as the raw stream.
    expect_ok build mixed.dat zero.bin --mask 0 && tail -c +73 zero.bin >zero.body &&
        same_file raw.lz zero.body

    local mask file
    for mask in 0x5A 0xFF 0x81; do
        file=m$mask.bin
        if [[ $mask == 0x5A ]]; then
            expect_ok build mixed.dat "$file" || continue
        else
            expect_ok build mixed.dat "$file" "--mask=$mask" || continue
        fi
        tail -c +73 "$file" >"$file.body"
        [[ $(size_of "$file.body") -eq $(size_of raw.lz) ]] || fail "$file: body length differs"
        if cmp -s "$file.body" raw.lz; then fail "$file: body is not scrambled"; fi
        # Every byte differs from the raw stream by exactly (index & mask); the bytes at
        # multiples of 256 are therefore the raw stream's own.
        perl -e '
            my ($body, $raw, $mask) = @ARGV;
            local $/;
            open(my $b, "<:raw", $body) or die; my $x = <$b>;
            open(my $r, "<:raw", $raw) or die; my $y = <$r>;
            for (my $i = 0; $i < length($y); $i += 256) {
                substr($x, $i, 1) eq substr($y, $i, 1) or die "byte $i differs at a multiple of 256\n";
            }
            for my $i (0 .. length($y) - 1) {
                my $d = ord(substr($x, $i, 1)) ^ ord(substr($y, $i, 1));
                $d == ($i & $mask) or die "byte $i: body ^ raw = $d, expected " . ($i & $mask) . "\n";
            }' "$file.body" raw.lz "$((mask))" 2>perl.txt || fail "$file: $(cat perl.txt)"
    done
}

test_errors() {
    local c=c.bin
    expect_ok build mixed.dat "$c" || return 0
    expect_ok encode mixed.dat raw.lz || return 0
    : >empty.dat
    mkdir -p adir
    head -c 100 "$c" >truncated.bin

    # Usage errors: exit 2.
    expect_error 2 ""
    expect_error 2 "" bogus
    expect_error 2 "" build
    expect_error 2 "" build mixed.dat
    expect_error 2 o.bin build mixed.dat o.bin extra
    expect_error 2 o.bin build mixed.dat o.bin --mask
    local bad
    for bad in 256 -1 +1 0x 0x100 12abc "" " 5" 1e2 99999999999999999999999; do
        expect_error 2 o.bin build mixed.dat o.bin --mask "$bad"
    done
    expect_error 2 o.bin build mixed.dat o.bin --mask=999
    expect_error 2 o.bin build mixed.dat o.bin --mask 1 --mask 2
    expect_error 2 o.bin build mixed.dat o.bin --level 3
    expect_error 2 "" inspect
    expect_error 2 "" inspect "$c" "$c"
    expect_error 2 "" extract "$c"
    expect_error 2 x.dat extract "$c" x.dat y.dat
    expect_error 2 "" encode mixed.dat
    expect_error 2 x.dat encode mixed.dat x.dat y.dat
    expect_error 2 "" decode raw.lz x.dat
    for bad in abc -5 1e3 0x 99999999999999999999 $((256 * 1024 * 1024 + 1)); do
        expect_error 2 x.dat decode raw.lz x.dat "$bad"
    done
    expect_error 2 x.dat decode raw.lz x.dat 10 extra

    # Data and I/O errors: exit 1.
    expect_error 1 o.bin build missing.dat o.bin
    expect_error 1 o.bin build empty.dat o.bin
    expect_error 1 o.bin build adir o.bin
    expect_error 1 nodir/o.bin build mixed.dat nodir/o.bin
    expect_error 1 "" inspect missing.bin
    expect_error 1 "" inspect adir
    expect_error 1 "" inspect empty.dat
    expect_error 1 x.dat extract missing.bin x.dat
    expect_error 1 x.dat extract truncated.bin x.dat
    expect_error 1 x.dat extract mixed.dat x.dat
    expect_error 1 x.dat extract empty.dat x.dat
    expect_error 1 nodir/x.dat extract "$c" nodir/x.dat
    expect_error 1 x.lz encode missing.dat x.lz
    expect_error 1 x.dat decode missing.lz x.dat 10
    expect_error 1 x.dat decode raw.lz x.dat $((mixed_size - 1))
    expect_error 1 x.dat decode raw.lz x.dat $((mixed_size + 1))
    expect_error 1 x.dat decode raw.lz x.dat 0

    # An output that is a directory cannot be replaced; the directory survives.
    expect_error 1 "" build mixed.dat adir
    [[ -d adir ]] || fail "build replaced the directory adir"

    # A failed command leaves an existing output as it was.
    echo old >keep.dat
    expect_error 1 "" extract truncated.bin keep.dat
    expect_error 1 "" decode raw.lz keep.dat $((mixed_size - 1))
    expect_error 1 "" build empty.dat keep.dat
    [[ $(cat keep.dat) == old ]] || fail "a failed command changed keep.dat"

    # A write that fails half-way (file size limit; SIGXFSZ ignored so write() reports it)
    # leaves neither a partial output nor the temporary file, and keeps an old output.
    run=(bash -c 'ulimit -f 64 && trap "" XFSZ && exec "$@"' limited "$tool")
    expect_error 1 big.bin build mixed.dat big.bin
    expect_error 1 "" extract "$c" keep.dat
    run=("$tool")
    [[ $(cat keep.dat) == old ]] || fail "a failed write changed keep.dat"

    # Help goes to stdout and succeeds, wherever it is asked for.
    local help
    for help in -h --help "build --help"; do
        # shellcheck disable=SC2086 # "build --help" is two words on purpose
        expect_ok $help || continue
        local word
        for word in build inspect extract encode decode 0x5A "Exit codes" "--mask"; do
            stdout_has "$word"
        done
    done
}

test_inspect() {
    expect_ok build mixed.dat c.bin || return 0
    local size
    size=$(size_of c.bin)

    expect_ok inspect c.bin || return 0
    stdout_has "resource size:     $size bytes"
    stdout_has "compressed length: $((size - 72)) bytes"
    stdout_has "mask:              0x0000005A (low byte 0x5A)"
    stdout_has "expanded length:   $mixed_size bytes"
    stdout_has "result:            ok"
    # The digest beside the container is the SHA-256 of the executable, as coreutils has it.
    local digest
    digest=$(od -An -v -tx1 c.bin.sha256 | tr -d ' \n')
    [[ $digest == "$(sha256sum mixed.dat | cut -d' ' -f1)" ]] || fail "c.bin.sha256 is $digest"
    stdout_has "sha256:            $digest"

    # A container whose digest is missing or names another executable is refused.
    cp c.bin nodigest.bin
    expect_error 1 "" inspect nodigest.bin
    cp c.bin otherdigest.bin
    head -c 32 /dev/zero >otherdigest.bin.sha256
    expect_error 1 "" inspect otherdigest.bin

    # Only the low byte of the mask field takes part.
    cp c.bin high.bin
    cp c.bin.sha256 high.bin.sha256
    patch_u32 high.bin 56 $((0xABCDEF5A))
    expect_ok inspect high.bin && stdout_has "mask:              0xABCDEF5A (low byte 0x5A)"
    expect_ok extract high.bin high.dat && same_file mixed.dat high.dat

    # Bytes after the body are ignored.
    cp c.bin trailing.bin
    cp c.bin.sha256 trailing.bin.sha256
    printf 'junk!' >>trailing.bin
    expect_ok inspect trailing.bin && stdout_has "trailing bytes:    5"
    expect_ok extract trailing.bin trailing.dat && same_file mixed.dat trailing.dat

    # Damaged containers fail, each with its own reason.
    head -c $((size - 1)) c.bin >cut.bin
    head -c $((size - 1000)) c.bin >cutbody.bin
    patch_u32 cutbody.bin 52 $((size - 1000 - 72))
    cp c.bin longer.bin
    patch_u32 longer.bin 60 $((mixed_size + 1))
    cp c.bin shorter.bin
    patch_u32 shorter.bin 60 $((mixed_size - 1))
    cp c.bin zero.bin
    patch_u32 zero.bin 60 0
    cp c.bin huge.bin
    patch_u32 huge.bin 60 $((0xFFFFFFFF))
    head -c 71 c.bin >header71.bin
    head -c 72 c.bin >header72.bin

    local damaged
    local -A reason
    for damaged in cut cutbody longer shorter zero huge header71 header72; do
        expect_error 1 "" inspect "$damaged.bin"
        reason[$damaged]=$(sed "s/$damaged\.bin//" stderr.txt)
        expect_error 1 "$damaged.dat" extract "$damaged.bin" "$damaged.dat"
    done
    # Each kind of damage is told apart: body outside, decodes short, decodes too far,
    # impossible expanded length, no room for the header.
    local distinct
    distinct=$(printf '%s\n' "${reason[cut]}" "${reason[longer]}" "${reason[shorter]}" \
        "${reason[zero]}" "${reason[header71]}" | sort -u | wc -l)
    [[ $distinct -eq 5 ]] || fail "damaged containers share reasons: $(declare -p reason)"
    [[ ${reason[longer]} == "${reason[cutbody]}" ]] ||
        fail "a cut body and a longer expanded length should both decode short"

    # A truncated body decodes short; inspect says how far it got.
    expect_error 1 "" inspect cutbody.bin
    local decoded
    decoded=$(sed -n 's/^decodes to: *\([0-9]*\) bytes$/\1/p' stdout.txt)
    if [[ -z $decoded || $decoded -ge $mixed_size ]]; then
        fail "cutbody: decoded size '$decoded' not shown or not short"
    fi
}

case $group in
roundtrip) test_roundtrip ;;
scrambling) test_scrambling ;;
errors) test_errors ;;
inspect) test_inspect ;;
*)
    echo "unknown group $group" >&2
    exit 2
    ;;
esac

if [[ $failures -ne 0 ]]; then
    echo "$group: $failures failure(s)" >&2
    exit 1
fi
echo "$group: all checks passed"
