#include "GsLZSS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

Bytes Repeat(const std::string& text, int times)
{
    Bytes out;
    for (int i = 0; i < times; ++i)
    {
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

Bytes Filled(std::size_t n, unsigned char value)
{
    return Bytes(n, value);
}

constexpr unsigned char CANARY = 0xA5;
constexpr std::size_t CANARY_BYTES = 64;

// Encodes into a buffer of exactly `capacity` bytes followed by canary bytes that must survive.
struct EncodeResult
{
    int result;
    Bytes stream;
    bool canaryIntact;
};

EncodeResult EncodeInto(CGsLZSS& codec, const Bytes& source, int capacity)
{
    Bytes buffer(static_cast<std::size_t>(capacity) + CANARY_BYTES, CANARY);
    const int result =
        codec.Encode(source.data(), buffer.data(), static_cast<int>(source.size()), capacity);
    const bool intact = std::all_of(buffer.begin() + capacity, buffer.end(),
                                    [](unsigned char b) { return b == CANARY; });
    buffer.resize(result > 0 ? static_cast<std::size_t>(result) : 0);
    return {result, buffer, intact};
}

Bytes Encode(const Bytes& source)
{
    auto codec = std::make_unique<CGsLZSS>();
    EncodeResult r =
        EncodeInto(*codec, source, CGsLZSS::MaxEncodedSize(static_cast<int>(source.size())));
    EXPECT_TRUE(r.canaryIntact);
    EXPECT_GE(r.result, 0);
    return r.stream;
}

struct DecodeResult
{
    int result;
    int decodedSize;
    Bytes output;
    bool canaryIntact;
};

DecodeResult DecodeInto(CGsLZSS& codec, const Bytes& stream, int capacity)
{
    Bytes buffer(static_cast<std::size_t>(capacity) + CANARY_BYTES, CANARY);
    const int result =
        codec.Decode(stream.data(), buffer.data(), static_cast<int>(stream.size()), capacity);
    const bool intact = std::all_of(buffer.begin() + capacity, buffer.end(),
                                    [](unsigned char b) { return b == CANARY; });
    buffer.resize(static_cast<std::size_t>(codec.decodedSize));
    return {result, codec.decodedSize, buffer, intact};
}

Bytes Decode(const Bytes& stream, std::size_t size)
{
    auto codec = std::make_unique<CGsLZSS>();
    DecodeResult r = DecodeInto(*codec, stream, static_cast<int>(size));
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(r.canaryIntact);
    return r.output;
}

// Bytes in which no string of 3 or more bytes occurs twice, nor in the zero-filled ring: all
// pairs (a, b) of non-zero bytes in an order that never repeats a pair (a de Bruijn-like walk
// over 255 symbols would also do; pairs are enough because a match needs 3 equal bytes).
Bytes Incompressible(std::size_t n)
{
    Bytes out;
    out.reserve(n);
    // Sequence a, b, a+1, b, a+2 ...: every 3-byte window is distinct.
    for (unsigned a = 1; out.size() < n; ++a)
    {
        for (unsigned b = 1; b < 256 && out.size() < n; ++b)
        {
            out.push_back(static_cast<unsigned char>(b));
            if (out.size() < n)
            {
                out.push_back(static_cast<unsigned char>((a % 255) + 1));
            }
        }
    }
    return out;
}

Bytes Random(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out)
    {
        b = static_cast<unsigned char>(gen());
    }
    return out;
}

Bytes Text(std::size_t n)
{
    static const char* words[] = {"the ", "updater ", "keeps ",   "a ",     "backup ",
                                  "of ",  "old ",     "release ", "and ",   "writes ",
                                  "new ", "one, ",    "byte ",    "ring\n", "window. "};
    std::mt19937 gen(7);
    Bytes out;
    while (out.size() < n)
    {
        const char* w = words[gen() % (sizeof(words) / sizeof(words[0]))];
        out.insert(out.end(), w, w + std::char_traits<char>::length(w));
    }
    out.resize(n);
    return out;
}

struct KnownVector
{
    const char* name;
    Bytes source;
    Bytes stream;
};

// Each stream decoded by hand:
std::vector<KnownVector> KnownVectors()
{
    return {
        // 01 61: flag 00000001, literal a.
        {"OneLetter", Repeat("a", 1), {0x01, 0x61}},
        // 07 61 62 63: three literals.
        {"ThreeLetters", Repeat("abc", 1), {0x07, 0x61, 0x62, 0x63}},
        // 07 61 62 63 EE F6: three literals, then ring position 0xFEE = 4078 with length 6 + 3.
        {"AbcFourTimes", Repeat("abc", 4), {0x07, 0x61, 0x62, 0x63, 0xEE, 0xF6}},
        // 05 61 EE FF 61: literal a, ref 4078 len 18 overlapping its own output, literal a.
        {"TwentyLetters", Repeat("a", 20), {0x05, 0x61, 0xEE, 0xFF, 0x61}},
        // 00 DC FF: ref 0xFDC = 4060 len 18 into the zero-filled start of the ring.
        {"EighteenZeros", Filled(18, 0), {0x00, 0xDC, 0xFF}},
        // 00 DC FF FF FF 11 01: refs 4060 len 18, 4095 len 18, 257 len 4.
        {"FortyZeros", Filled(40, 0), {0x00, 0xDC, 0xFF, 0xFF, 0xFF, 0x11, 0x01}},
        // FF + eight literals A..H; 1B: literals I J, ref 4078 len 18, literals I J.
        {"TenLettersThreeTimes",
         Repeat("ABCDEFGHIJ", 3),
         {0xFF, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x1B, 0x49, 0x4A, 0xEE, 0xFF, 0x49,
          0x4A}},
    };
}

class KnownVectorTest : public ::testing::TestWithParam<KnownVector>
{
};

TEST_P(KnownVectorTest, EncodesToTheStream)
{
    EXPECT_EQ(Encode(GetParam().source), GetParam().stream);
}

TEST_P(KnownVectorTest, DecodesToTheSource)
{
    EXPECT_EQ(Decode(GetParam().stream, GetParam().source.size()), GetParam().source);
}

INSTANTIATE_TEST_SUITE_P(LZSS, KnownVectorTest, ::testing::ValuesIn(KnownVectors()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(LZSSEncode, EmptySourceWritesNothing)
{
    auto codec = std::make_unique<CGsLZSS>();
    unsigned char out[4] = {CANARY, CANARY, CANARY, CANARY};
    EXPECT_EQ(codec->Encode(out, out, 0, 4), 0);
    EXPECT_EQ(codec->encodedSize, 0);
    EXPECT_EQ(out[0], CANARY);
}

TEST(LZSSDecode, EmptyStreamDecodesToNothing)
{
    auto codec = std::make_unique<CGsLZSS>();
    unsigned char out[1] = {CANARY};
    EXPECT_EQ(codec->Decode(out, out, 0, 1), 1);
    EXPECT_EQ(codec->decodedSize, 0);
    EXPECT_EQ(out[0], CANARY);
}

TEST(LZSSDecode, ReferenceJustBehindTheWritePositionRepeatsLastByte)
{
    // Literal x at 4078, then ref 4078 len 18: copies from the byte it has just written.
    const Bytes stream = {0x01, 'x', 0xEE, 0xFF};
    EXPECT_EQ(Decode(stream, 19), Filled(19, 'x'));
}

TEST(LZSSDecode, TruncatedStreamsGiveTheItemsBeforeTheCut)
{
    const KnownVector v = KnownVectors()[6]; // TenLettersThreeTimes
    // Ends right after the second flag byte: the eight literals of the first group.
    Bytes cut(v.stream.begin(), v.stream.begin() + 10);
    EXPECT_EQ(Decode(cut, 30), Repeat("ABCDEFGH", 1));
    // Ends after the first byte of the reference: I J survive, the lone byte is dropped.
    cut.assign(v.stream.begin(), v.stream.begin() + 13);
    EXPECT_EQ(Decode(cut, 30), Repeat("ABCDEFGHIJ", 1));
    // Every prefix decodes without error to a prefix of the source.
    for (std::size_t n = 0; n <= v.stream.size(); ++n)
    {
        Bytes prefix(v.stream.begin(), v.stream.begin() + static_cast<long>(n));
        Bytes out = Decode(prefix, 30);
        ASSERT_LE(out.size(), v.source.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), v.source.begin())) << "prefix " << n;
    }
}

TEST(LZSSDecode, StopsAtCapacityAndReportsOverrun)
{
    const Bytes source = Repeat("abc", 100);
    const Bytes stream = Encode(source);
    auto codec = std::make_unique<CGsLZSS>();
    for (int capacity : {0, 1, 2, 3, 5, 17, 150, 299})
    {
        DecodeResult r = DecodeInto(*codec, stream, capacity);
        EXPECT_EQ(r.result, 0) << capacity;
        EXPECT_EQ(r.decodedSize, capacity);
        EXPECT_TRUE(r.canaryIntact) << capacity;
        EXPECT_TRUE(std::equal(r.output.begin(), r.output.end(), source.begin()));
    }
    DecodeResult exact = DecodeInto(*codec, stream, 300);
    EXPECT_EQ(exact.result, 1);
    EXPECT_EQ(exact.output, source);
}

TEST(LZSSDecode, NeverReadsPastTheStreamLength)
{
    // A reference whose second byte lies past the given length must not be read: the copy
    // ends with a byte that would change the output if it were.
    const Bytes stream = {0x01, 'q', 0xEE, 0xFF};
    auto codec = std::make_unique<CGsLZSS>();
    Bytes out(32, 0);
    EXPECT_EQ(codec->Decode(stream.data(), out.data(), 3, 32), 1);
    EXPECT_EQ(codec->decodedSize, 1);
}

TEST(LZSSEncode, RefusesTooSmallCapacityWithoutWritingPastIt)
{
    const Bytes source = Random(1000, 3);
    const int needed = static_cast<int>(Encode(source).size());
    auto codec = std::make_unique<CGsLZSS>();
    for (int capacity : {1, 8, 9, needed / 2, needed - 1})
    {
        EncodeResult r = EncodeInto(*codec, source, capacity);
        EXPECT_EQ(r.result, -1) << capacity;
        EXPECT_TRUE(r.canaryIntact) << capacity;
    }
    EncodeResult exact = EncodeInto(*codec, source, needed);
    EXPECT_EQ(exact.result, needed);
    EXPECT_TRUE(exact.canaryIntact);
}

TEST(LZSSEncode, IncompressibleDataCostsOneFlagBytePerEightBytes)
{
    for (std::size_t n : {1u, 7u, 8u, 9u, 100u, 4095u, 4096u, 4097u, 20000u})
    {
        const Bytes source = Incompressible(n);
        const Bytes stream = Encode(source);
        EXPECT_EQ(stream.size(), n + (n + 7) / 8) << n;
        EXPECT_EQ(static_cast<int>(stream.size()), CGsLZSS::MaxEncodedSize(static_cast<int>(n)));
        EXPECT_EQ(Decode(stream, n), source) << n;
    }
}

TEST(LZSSEncode, OutputDoesNotDependOnEarlierCalls)
{
    auto codec = std::make_unique<CGsLZSS>();
    const Bytes tail = Repeat("xyz", 7);
    const int cap = CGsLZSS::MaxEncodedSize(static_cast<int>(tail.size()));
    const Bytes fresh = EncodeInto(*codec, tail, cap).stream;
    const Bytes big = Random(9000, 11);
    EncodeInto(*codec, big, CGsLZSS::MaxEncodedSize(9000));
    EXPECT_EQ(EncodeInto(*codec, tail, cap).stream, fresh);
}

struct RoundTripCase
{
    std::string name;
    Bytes data;
};

std::vector<RoundTripCase> RoundTripCases()
{
    std::vector<RoundTripCase> cases;
    for (std::size_t n = 0; n <= 40; ++n)
    {
        cases.push_back({"Random" + std::to_string(n), Random(n, static_cast<unsigned>(n))});
        cases.push_back({"Zeros" + std::to_string(n), Filled(n, 0)});
    }
    for (std::size_t n : {4095u, 4096u, 4097u, 4113u, 8192u, 8209u})
    {
        cases.push_back({"TextAroundRing" + std::to_string(n), Text(n)});
        cases.push_back({"RandomAroundRing" + std::to_string(n), Random(n, 99)});
        cases.push_back({"RunAroundRing" + std::to_string(n), Filled(n, 0x61)});
    }
    Bytes runs;
    std::mt19937 gen(5);
    while (runs.size() < 100000)
    {
        runs.insert(runs.end(), gen() % 300 + 1, static_cast<unsigned char>(gen() % 4));
    }
    cases.push_back({"SeededRuns", runs});
    cases.push_back({"LongText", Text(200000)});
    cases.push_back({"LongRandom", Random(70000, 1)});
    Bytes mixed = Text(30000);
    const Bytes noise = Random(30000, 2);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), 30000, 0);
    cases.push_back({"TextNoiseZeros", mixed});
    return cases;
}

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase>
{
};

TEST_P(RoundTripTest, DecodeRestoresTheSourceWithinTheBound)
{
    const Bytes& source = GetParam().data;
    const Bytes stream = Encode(source);
    EXPECT_LE(static_cast<int>(stream.size()),
              CGsLZSS::MaxEncodedSize(static_cast<int>(source.size())));
    EXPECT_EQ(Decode(stream, source.size()), source);
}

INSTANTIATE_TEST_SUITE_P(LZSS, RoundTripTest, ::testing::ValuesIn(RoundTripCases()),
                         [](const auto& param) { return param.param.name; });

TEST(LZSSEncode, RepetitiveDataShrinks)
{
    // A greedy 18-byte-match coder stores a long run in about 2 bytes per 18 plus flags.
    const Bytes stream = Encode(Filled(180000, 0x20));
    EXPECT_LT(stream.size(), 180000u / 8);
    EXPECT_GT(Encode(Text(100000)).size(), 0u);
    EXPECT_LT(Encode(Text(100000)).size(), 100000u / 2);
}
} // namespace
