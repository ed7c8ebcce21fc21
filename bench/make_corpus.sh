#!/usr/bin/env bash
# Generates the benchmark corpus: five files of exactly 2,048,000 bytes each, the size of the
# shipped payload. Usage: bench/make_corpus.sh OUTPUT_DIR
#   pe.bin      a Windows executable built here by the 32-bit MinGW compiler, padded with zeros
#   text.txt    English prose (the licence texts every Debian system carries), repeated
#   random.bin  seeded pseudo-random bytes
#   zeros.bin   zero bytes
#   runs.bin    seeded runs (1 to 128 bytes) of repeated random byte values
# The same tools give the same bytes on every run.
set -euo pipefail

SIZE=2048000
out=${1:?usage: make_corpus.sh OUTPUT_DIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# pad_to FILE: cuts or zero-pads FILE to exactly SIZE bytes.
pad_to() {
    truncate -s "$SIZE" "$1"
}

# The executable: a small C++ program linked statically, as the product's programs are, so
# it carries the runtime's code, tables and strings. No timestamp, so it is reproducible.
cat >"$work/wordcount.cpp" <<'CPP'
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    std::map<std::string, int> counts;
    const std::regex word("[A-Za-z]+");
    for (int i = 1; i < argc; ++i)
    {
        const std::string s(argv[i]);
        for (auto it = std::sregex_iterator(s.begin(), s.end(), word);
             it != std::sregex_iterator(); ++it)
        {
            ++counts[it->str()];
        }
    }
    std::ostringstream out;
    for (const auto& kv : counts)
    {
        out << kv.first << ' ' << kv.second << '\n';
    }
    std::cout << out.str();
    return 0;
}
CPP
i686-w64-mingw32-g++-posix -O2 -static -s -Wl,--no-insert-timestamp \
    "$work/wordcount.cpp" -o "$work/pe.bin"
pe_size=$(stat -c %s "$work/pe.bin")
if [ "$pe_size" -gt "$SIZE" ]; then
    echo "make_corpus: the executable ($pe_size bytes) exceeds $SIZE bytes" >&2
    exit 1
fi
pad_to "$work/pe.bin"

# English text: every regular licence file, in name order, repeated. Repetition is invisible
# to a 4096-byte window, so the file behaves like 2 MB of distinct prose.
mapfile -t texts < <(find /usr/share/common-licenses -maxdepth 1 -type f | LC_ALL=C sort)
if [ ${#texts[@]} -eq 0 ]; then
    echo "make_corpus: no texts under /usr/share/common-licenses" >&2
    exit 1
fi
: >"$work/text.txt"
while [ "$(stat -c %s "$work/text.txt")" -lt "$SIZE" ]; do
    cat "${texts[@]}" >>"$work/text.txt"
done
pad_to "$work/text.txt"

# Seeded bytes from a 32-bit xorshift generator, so the files do not depend on any library's
# random numbers. seeded KIND SEED: KIND random gives the generator's words as bytes, KIND runs
# a byte value repeated 1 to 128 times per draw.
seeded() {
    perl -e '
        use strict;
        my ($kind, $size, $s) = @ARGV;
        sub next32 {
            $s ^= ($s << 13) & 0xFFFFFFFF;
            $s ^= $s >> 17;
            $s ^= ($s << 5) & 0xFFFFFFFF;
            return $s;
        }
        my $buf = "";
        while (length($buf) < $size) {
            my $r = next32();
            $buf .= $kind eq "random" ? pack("V", $r) : chr(($r >> 8) & 0xFF) x (($r & 0x7F) + 1);
        }
        binmode STDOUT;
        print substr($buf, 0, $size);
    ' "$1" "$SIZE" "$2"
}
seeded random 2463534242 >"$work/random.bin"
seeded runs 88675123 >"$work/runs.bin"

head -c "$SIZE" /dev/zero >"$work/zeros.bin"

for f in pe.bin text.txt random.bin zeros.bin runs.bin; do
    if [ "$(stat -c %s "$work/$f")" -ne "$SIZE" ]; then
        echo "make_corpus: $f is not $SIZE bytes" >&2
        exit 1
    fi
    mv "$work/$f" "$out/$f"
done
echo "corpus written to $out"
