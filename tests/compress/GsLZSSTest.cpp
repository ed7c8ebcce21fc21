#include "GsLZSS.h"
#include "LzssYardstick.h"

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
// The codec against the plain yardstick: every stream byte and every decoded byte the same, on
// data chosen for the cases the codec's shortcuts make risky.

// Data shaped like machine code: runs of zeros, bytes from a small alphabet, copies of earlier
// stretches near and far (some mutated), and noise. It gives deep trees, long shared prefixes
// and many equally long candidates.
Bytes CodeLike(std::size_t n, unsigned seed)
{
    static const unsigned char common[] = {0x00, 0xFF, 0x8B, 0x45, 0x89, 0xE8, 0x24, 0x0F, 0xC3};
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n)
    {
        const unsigned kind = gen() % 5;
        if (kind == 0)
        {
            out.insert(out.end(), gen() % 300 + 1, 0);
        }
        else if (kind == 1)
        {
            for (unsigned i = gen() % 40 + 1; i > 0; --i)
            {
                out.push_back(common[gen() % sizeof(common)]);
            }
        }
        else if (kind == 2 && out.size() > 8)
        {
            const std::size_t distance = gen() % std::min<std::size_t>(out.size(), 5000) + 1;
            const std::size_t length = gen() % 40 + 3;
            for (std::size_t i = 0; i < length; ++i)
            {
                out.push_back(out[out.size() - distance]);
            }
            if (gen() % 2)
            {
                out.back() = static_cast<unsigned char>(gen());
            }
        }
        else
        {
            for (unsigned i = gen() % 20 + 1; i > 0; --i)
            {
                out.push_back(static_cast<unsigned char>(gen()));
            }
        }
    }
    out.resize(n);
    return out;
}

// Random strings over `letters` letters: every position has many equally long matches.
Bytes SmallAlphabet(std::size_t n, unsigned letters, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out(n);
    for (auto& b : out)
    {
        b = static_cast<unsigned char>('a' + gen() % letters);
    }
    return out;
}

// Short periods with rare changes: references that overlap the bytes they produce.
Bytes Periodic(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n)
    {
        const std::size_t period = gen() % 20 + 1;
        Bytes unit(period);
        for (auto& b : unit)
        {
            b = static_cast<unsigned char>(gen() % 3);
        }
        for (std::size_t i = gen() % 200 + 1; i > 0; --i)
        {
            out.insert(out.end(), unit.begin(), unit.end());
        }
    }
    out.resize(n);
    return out;
}

struct YardstickCase
{
    std::string name;
    Bytes data;
};

std::vector<YardstickCase> YardstickCases()
{
    std::vector<YardstickCase> cases;
    cases.push_back({"CodeLike", CodeLike(60000, 1)});
    cases.push_back({"CodeLikeOther", CodeLike(30000, 2)});
    cases.push_back({"TwoLetters", SmallAlphabet(40000, 2, 3)});
    cases.push_back({"FourLetters", SmallAlphabet(40000, 4, 4)});
    cases.push_back({"Periodic", Periodic(50000, 5)});
    cases.push_back({"Text", Text(60000)});
    cases.push_back({"Random", Random(20000, 6)});
    // Zeros first: early references into the zero-filled ring, long full-length matches.
    Bytes zerosThenCode(5000, 0);
    const Bytes code = CodeLike(20000, 7);
    zerosThenCode.insert(zerosThenCode.end(), code.begin(), code.end());
    cases.push_back({"ZerosThenCode", zerosThenCode});
    for (std::size_t n : {4077u, 4078u, 4095u, 4096u, 4097u, 4113u, 4114u, 8191u, 8210u})
    {
        cases.push_back({"CodeLikeAroundRing" + std::to_string(n), CodeLike(n, 8)});
        cases.push_back({"TwoLettersAroundRing" + std::to_string(n), SmallAlphabet(n, 2, 9)});
    }
    for (std::size_t n = 0; n <= 40; ++n)
    {
        cases.push_back(
            {"Short" + std::to_string(n), SmallAlphabet(n, 2, static_cast<unsigned>(n))});
    }
    return cases;
}

// Names the case in failure messages instead of dumping its bytes.
void PrintTo(const YardstickCase& c, std::ostream* os)
{
    *os << c.name;
}

class YardstickTest : public ::testing::TestWithParam<YardstickCase>
{
};

TEST_P(YardstickTest, SameStreamAndSameOutput)
{
    const Bytes& source = GetParam().data;
    const int n = static_cast<int>(source.size());
    const int capacity = CGsLZSS::MaxEncodedSize(n);
    auto yard = std::make_unique<CLzssYardstick>();
    Bytes expected(static_cast<std::size_t>(capacity) + 1);
    const int expectedSize = yard->Encode(source.data(), expected.data(), n, capacity);
    ASSERT_GE(expectedSize, 0);
    expected.resize(static_cast<std::size_t>(expectedSize));

    auto codec = std::make_unique<CGsLZSS>();
    EncodeResult encoded = EncodeInto(*codec, source, capacity);
    EXPECT_TRUE(encoded.canaryIntact);
    ASSERT_EQ(encoded.result, expectedSize);
    EXPECT_EQ(encoded.stream, expected);

    DecodeResult decoded = DecodeInto(*codec, expected, n);
    EXPECT_EQ(decoded.result, 1);
    EXPECT_TRUE(decoded.canaryIntact);
    EXPECT_EQ(decoded.output, source);
}

INSTANTIATE_TEST_SUITE_P(LZSS, YardstickTest, ::testing::ValuesIn(YardstickCases()),
                         [](const auto& param) { return param.param.name; });

TEST(LZSSYardstick, KnownVectorsEncodeAlikeInTheYardstick)
{
    // The yardstick is the tests' reference only because it meets the known vectors too.
    for (const KnownVector& v : KnownVectors())
    {
        auto yard = std::make_unique<CLzssYardstick>();
        Bytes out(v.stream.size() + 16);
        const int size =
            yard->Encode(v.source.data(), out.data(), static_cast<int>(v.source.size()),
                         static_cast<int>(out.size()));
        out.resize(static_cast<std::size_t>(std::max(size, 0)));
        EXPECT_EQ(out, v.stream) << v.name;
    }
}

TEST(LZSSEncode, OneObjectServesManyCallsLikeFreshOnes)
{
    // The codec object is reused across sizes and contents; each stream must match what a
    // fresh yardstick gives.
    auto codec = std::make_unique<CGsLZSS>();
    std::mt19937 gen(12);
    for (int call = 0; call < 30; ++call)
    {
        const std::size_t n = gen() % 9000 + 1;
        const Bytes source = call % 3 == 0   ? CodeLike(n, gen())
                             : call % 3 == 1 ? SmallAlphabet(n, 3, gen())
                                             : Random(n, gen());
        const int capacity = CGsLZSS::MaxEncodedSize(static_cast<int>(n));
        auto yard = std::make_unique<CLzssYardstick>();
        Bytes expected(static_cast<std::size_t>(capacity));
        const int size =
            yard->Encode(source.data(), expected.data(), static_cast<int>(n), capacity);
        expected.resize(static_cast<std::size_t>(size));
        EXPECT_EQ(EncodeInto(*codec, source, capacity).stream, expected) << "call " << call;
        EXPECT_EQ(DecodeInto(*codec, expected, static_cast<int>(n)).output, source)
            << "call " << call;
    }
}

// Decodes `stream` with both into buffers of `capacity` bytes and expects the same result,
// the same count and the same bytes, and nothing written past the capacity.
void ExpectDecodeLikeYardstick(CGsLZSS& codec, const Bytes& stream, int capacity,
                               const std::string& what)
{
    auto yard = std::make_unique<CLzssYardstick>();
    Bytes expected(static_cast<std::size_t>(capacity) + CANARY_BYTES, CANARY);
    const int expectedResult =
        yard->Decode(stream.data(), expected.data(), static_cast<int>(stream.size()), capacity);
    expected.resize(static_cast<std::size_t>(yard->decodedSize));
    DecodeResult r = DecodeInto(codec, stream, capacity);
    EXPECT_EQ(r.result, expectedResult) << what;
    EXPECT_EQ(r.decodedSize, yard->decodedSize) << what;
    EXPECT_TRUE(r.canaryIntact) << what;
    EXPECT_EQ(r.output, expected) << what;
}

TEST(LZSSDecode, ArbitraryStreamsDecodeLikeTheYardstick)
{
    // Random bytes as a stream: references to any ring position at any point, so into the
    // zero-filled start, across the ring's end and onto the bytes being produced; capacities
    // that cut the output anywhere, inside a reference included.
    auto codec = std::make_unique<CGsLZSS>();
    std::mt19937 gen(21);
    for (int i = 0; i < 600; ++i)
    {
        const std::size_t length = i < 500 ? gen() % 700 : gen() % 20000 + 1000;
        const Bytes stream = Random(length, gen());
        const int full = static_cast<int>(length) * 18;
        const int capacity = gen() % 4 == 0 ? full : static_cast<int>(gen() % (full + 1));
        ExpectDecodeLikeYardstick(*codec, stream, capacity,
                                  "stream " + std::to_string(i) + " capacity " +
                                      std::to_string(capacity));
    }
}

TEST(LZSSDecode, MostlyReferencesDecodeLikeTheYardstick)
{
    // Flag bytes mostly clear: long chains of references, many of them overlapping.
    auto codec = std::make_unique<CGsLZSS>();
    std::mt19937 gen(22);
    for (int i = 0; i < 100; ++i)
    {
        Bytes stream = Random(gen() % 6000 + 10, gen());
        for (std::size_t k = 0; k < stream.size(); k += 17)
        {
            stream[k] = static_cast<unsigned char>(gen() % 4 == 0 ? gen() : 0);
        }
        const int full = static_cast<int>(stream.size()) * 18;
        ExpectDecodeLikeYardstick(*codec, stream, full, "stream " + std::to_string(i));
        ExpectDecodeLikeYardstick(*codec, stream, static_cast<int>(gen() % (full + 1)),
                                  "cut stream " + std::to_string(i));
    }
}

// A stream of `count` literals x0, x1, ... (xi = i * 7 + 1), then one reference of 18 bytes
// to ring `position`: the reference takes the next bit of the last flag byte, or a flag byte
// of its own.
Bytes LiteralsThenReference(int count, int position, Bytes& produced)
{
    Bytes stream;
    for (int i = 0; i < count; i += 8)
    {
        const int inGroup = std::min(8, count - i);
        stream.push_back(static_cast<unsigned char>((1u << inGroup) - 1));
        for (int k = 0; k < inGroup; ++k)
        {
            const auto b = static_cast<unsigned char>((i + k) * 7 + 1);
            stream.push_back(b);
            produced.push_back(b);
        }
    }
    if (count % 8 == 0)
    {
        stream.push_back(0x00);
    }
    stream.push_back(static_cast<unsigned char>(position & 0xFF));
    stream.push_back(static_cast<unsigned char>(((position >> 4) & 0xF0) | 15));
    return stream;
}

TEST(LZSSDecode, ReferenceAcrossTheZeroFilledStartAndTheFirstOutput)
{
    // After 4090 literals, a reference to the ring position about to be written reaches 4096
    // bytes back: 6 bytes of the zero-filled start, then the first 12 output bytes.
    Bytes produced;
    const Bytes stream = LiteralsThenReference(4090, (CGsLZSS::START + 4090) & 4095, produced);
    Bytes expected = produced;
    expected.insert(expected.end(), 6, 0);
    expected.insert(expected.end(), produced.begin(), produced.begin() + 12);
    EXPECT_EQ(Decode(stream, expected.size()), expected);
    auto codec = std::make_unique<CGsLZSS>();
    for (int cut : {4090, 4093, 4096, 4100, 4107})
    {
        ExpectDecodeLikeYardstick(*codec, stream, cut, "capacity " + std::to_string(cut));
    }
}

TEST(LZSSDecode, ReferenceAcrossTheRingEnd)
{
    // After 5000 literals, ring positions 4090..4095 and then 0..11 hold output bytes 4108 to
    // 4125: output byte j sits at ring position (4078 + j) & 4095, and the latest one counts.
    Bytes produced;
    const Bytes stream = LiteralsThenReference(5000, 4090, produced);
    Bytes expected = produced;
    for (int k = 0; k < 18; ++k)
    {
        const int ringPosition = (4090 + k) & 4095;
        int j = (ringPosition - CGsLZSS::START) & 4095;
        while (j + 4096 < 5000)
        {
            j += 4096;
        }
        expected.push_back(produced[static_cast<std::size_t>(j)]);
    }
    EXPECT_EQ(Decode(stream, expected.size()), expected);
}

} // namespace
