// The codec against hand-decoded streams and against the plain yardstick: every stream byte and
// every decoded byte the same, on data chosen for the cases the codec's shortcuts make risky.
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;

constexpr unsigned char CANARY = 0xA5;
constexpr std::size_t CANARY_BYTES = 64;

enum class Kind
{
    Random,
    Zeros,
    Text,
    CodeLike,      // zero runs, a small alphabet, copies near and far (some changed), noise
    TwoLetters,    // every position has many equally long matches
    Periodic,      // short periods: references that overlap what they produce
    Incompressible // no 3-byte string twice, nor in the zero-filled ring
};

Bytes Make(Kind kind, std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out;
    static const char* const words[] = {"the ", "updater ",  "keeps ", "a ",      "backup ", "of ",
                                        "old ", "release\n", "and ",   "writes ", "byte "};
    static const unsigned char common[] = {0x00, 0xFF, 0x8B, 0x45, 0x89, 0xE8, 0x24, 0x0F, 0xC3};
    for (unsigned a = 1; out.size() < n; ++a)
    {
        switch (kind)
        {
        case Kind::Random:
            out.push_back(static_cast<unsigned char>(gen()));
            break;
        case Kind::Zeros:
            out.push_back(0);
            break;
        case Kind::Text:
        {
            const char* w = words[gen() % (sizeof words / sizeof words[0])];
            out.insert(out.end(), w, w + std::char_traits<char>::length(w));
            break;
        }
        case Kind::CodeLike:
        {
            const unsigned pick = gen() % 5;
            if (pick == 0)
                out.insert(out.end(), gen() % 300 + 1, 0);
            else if (pick == 1)
                for (unsigned i = gen() % 40 + 1; i > 0; --i)
                    out.push_back(common[gen() % sizeof common]);
            else if (pick == 2 && out.size() > 8)
            {
                const std::size_t distance = gen() % std::min<std::size_t>(out.size(), 5000) + 1;
                for (std::size_t i = gen() % 40 + 3; i > 0; --i)
                    out.push_back(out[out.size() - distance]);
                if (gen() % 2)
                    out.back() = static_cast<unsigned char>(gen());
            }
            else
                for (unsigned i = gen() % 20 + 1; i > 0; --i)
                    out.push_back(static_cast<unsigned char>(gen()));
            break;
        }
        case Kind::TwoLetters:
            out.push_back(static_cast<unsigned char>('a' + gen() % 2));
            break;
        case Kind::Periodic:
        {
            Bytes unit(gen() % 20 + 1);
            for (auto& b : unit)
                b = static_cast<unsigned char>(gen() % 3);
            for (std::size_t i = gen() % 200 + 1; i > 0; --i)
                out.insert(out.end(), unit.begin(), unit.end());
            break;
        }
        case Kind::Incompressible:
            for (unsigned b = 1; b < 256; ++b)
            {
                out.push_back(static_cast<unsigned char>(b));
                out.push_back(static_cast<unsigned char>(a % 255 + 1));
            }
            break;
        }
    }
    out.resize(n);
    return out;
}

struct Result
{
    int result;
    Bytes bytes; // what was written: the stream, or decodedSize bytes
    bool canaryIntact;
};

// Runs the codec into exactly `capacity` bytes followed by canary bytes that must survive.
Result Code(CGsLZSS& codec, bool encode, const Bytes& in, int capacity)
{
    Bytes out(static_cast<std::size_t>(capacity) + CANARY_BYTES, CANARY);
    const int length = static_cast<int>(in.size());
    const int result = encode ? codec.Encode(in.data(), out.data(), length, capacity)
                              : codec.Decode(in.data(), out.data(), length, capacity);
    const bool intact =
        std::all_of(out.begin() + capacity, out.end(), [](unsigned char b) { return b == CANARY; });
    out.resize(static_cast<std::size_t>(encode ? std::max(result, 0) : codec.decodedSize));
    return {result, out, intact};
}

Bytes YardstickEncode(const Bytes& source)
{
    auto yard = std::make_unique<CLzssYardstick>();
    const int n = static_cast<int>(source.size());
    Bytes out(static_cast<std::size_t>(CGsLZSS::MaxEncodedSize(n)));
    out.resize(static_cast<std::size_t>(
        std::max(yard->Encode(source.data(), out.data(), n, static_cast<int>(out.size())), 0)));
    return out;
}

// Decodes `stream` with both into `capacity` bytes: same result, count and bytes.
void ExpectDecodeLikeYardstick(CGsLZSS& codec, const Bytes& stream, int capacity)
{
    auto yard = std::make_unique<CLzssYardstick>();
    Bytes expected(static_cast<std::size_t>(capacity) + 1);
    const int expectedResult =
        yard->Decode(stream.data(), expected.data(), static_cast<int>(stream.size()), capacity);
    expected.resize(static_cast<std::size_t>(yard->decodedSize));
    const Result r = Code(codec, false, stream, capacity);
    EXPECT_EQ(expectedResult, r.result) << "capacity " << capacity;
    EXPECT_TRUE(r.canaryIntact) << "capacity " << capacity;
    EXPECT_EQ(expected, r.bytes) << "capacity " << capacity;
}

Bytes Repeat(const std::string& text, int times)
{
    Bytes out;
    while (times-- > 0)
        out.insert(out.end(), text.begin(), text.end());
    return out;
}

struct KnownVector
{
    const char* name;
    Bytes source;
    Bytes stream;
};

// Each stream decoded by hand.
const KnownVector KNOWN[] = {
    {"OneLetter", Repeat("a", 1), {0x01, 0x61}},
    // Three literals, then ring position 0xFEE = 4078 with length 6 + 3.
    {"AbcFourTimes", Repeat("abc", 4), {0x07, 0x61, 0x62, 0x63, 0xEE, 0xF6}},
    // Literal, ref 4078 len 18 overlapping its own output, literal.
    {"TwentyLetters", Repeat("a", 20), {0x05, 0x61, 0xEE, 0xFF, 0x61}},
    // Refs 4060 len 18 into the zero-filled ring, 4095 len 18, 257 len 4.
    {"FortyZeros", Bytes(40, 0), {0x00, 0xDC, 0xFF, 0xFF, 0xFF, 0x11, 0x01}},
    // Eight literals A..H; then I J, ref 4078 len 18, I J.
    {"TenLettersThreeTimes",
     Repeat("ABCDEFGHIJ", 3),
     {0xFF, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x1B, 0x49, 0x4A, 0xEE, 0xFF, 0x49,
      0x4A}},
};

class KnownVectorTest : public ::testing::TestWithParam<KnownVector>
{
};

TEST_P(KnownVectorTest, CodecAndYardstickWriteTheStreamAndReadItBack)
{
    auto codec = std::make_unique<CGsLZSS>();
    const KnownVector& v = GetParam();
    EXPECT_EQ(v.stream, Code(*codec, true, v.source, 64).bytes);
    EXPECT_EQ(v.stream, YardstickEncode(v.source)) << "the yardstick is a fair reference";
    const Result decoded = Code(*codec, false, v.stream, static_cast<int>(v.source.size()));
    EXPECT_EQ(1, decoded.result);
    EXPECT_EQ(v.source, decoded.bytes);
}

INSTANTIATE_TEST_SUITE_P(LZSS, KnownVectorTest, ::testing::ValuesIn(KNOWN),
                         [](const auto& param) { return std::string(param.param.name); });

struct YardstickCase
{
    std::string name;
    Bytes data;
};

void PrintTo(const YardstickCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<YardstickCase> YardstickCases()
{
    std::vector<YardstickCase> cases;
    const std::pair<const char*, Kind> kinds[] = {{"Random", Kind::Random},
                                                  {"Zeros", Kind::Zeros},
                                                  {"Text", Kind::Text},
                                                  {"CodeLike", Kind::CodeLike},
                                                  {"TwoLetters", Kind::TwoLetters},
                                                  {"Periodic", Kind::Periodic},
                                                  {"Incompressible", Kind::Incompressible}};
    for (const auto& [name, kind] : kinds)
    {
        cases.push_back({std::string(name) + "Long", Make(kind, 50000, 1)});
        // Around the ring's size, where strings start leaving the trees.
        for (std::size_t n : {4077u, 4096u, 4097u, 4114u, 8210u})
            cases.push_back({name + std::to_string(n), Make(kind, n, static_cast<unsigned>(n))});
    }
    for (std::size_t n = 0; n <= 40; ++n)
        cases.push_back({"Short" + std::to_string(n), Make(n % 2 ? Kind::TwoLetters : Kind::Random,
                                                           n, static_cast<unsigned>(n))});
    Bytes zerosThenCode(5000, 0);
    const Bytes code = Make(Kind::CodeLike, 20000, 7);
    zerosThenCode.insert(zerosThenCode.end(), code.begin(), code.end());
    cases.push_back({"ZerosThenCode", zerosThenCode});
    return cases;
}

class YardstickTest : public ::testing::TestWithParam<YardstickCase>
{
};

// The same stream within the bound, the source back from it, and a destination one byte short
// refused without a write past it.
TEST_P(YardstickTest, SameStreamDecodedBackAndTightDestinationRefused)
{
    const Bytes& source = GetParam().data;
    const int n = static_cast<int>(source.size());
    const Bytes expected = YardstickEncode(source);
    auto codec = std::make_unique<CGsLZSS>();
    const Result encoded = Code(*codec, true, source, CGsLZSS::MaxEncodedSize(n));
    EXPECT_TRUE(encoded.canaryIntact);
    ASSERT_EQ(static_cast<int>(expected.size()), encoded.result);
    EXPECT_EQ(encoded.result, codec->encodedSize);
    EXPECT_TRUE(expected == encoded.bytes);
    if (GetParam().name.rfind("Incompressible", 0) == 0)
    {
        EXPECT_EQ(CGsLZSS::MaxEncodedSize(n), encoded.result) << "the bound is tight";
    }

    const Result decoded = Code(*codec, false, expected, n);
    EXPECT_EQ(1, decoded.result);
    EXPECT_EQ(n, codec->decodedSize);
    EXPECT_TRUE(decoded.canaryIntact);
    EXPECT_TRUE(source == decoded.bytes);

    if (encoded.result > 0)
    {
        const Result tight = Code(*codec, true, source, encoded.result - 1);
        EXPECT_EQ(-1, tight.result);
        EXPECT_TRUE(tight.canaryIntact);
    }
}

INSTANTIATE_TEST_SUITE_P(LZSS, YardstickTest, ::testing::ValuesIn(YardstickCases()),
                         [](const auto& param) { return param.param.name; });

TEST(LZSSEncode, OneObjectServesManyCallsLikeFreshOnes)
{
    auto codec = std::make_unique<CGsLZSS>();
    std::mt19937 gen(12);
    for (int call = 0; call < 30; ++call)
    {
        const std::size_t n = call == 0 ? 0 : gen() % 9000 + 1;
        const Bytes source = Make(call % 3 ? Kind::CodeLike : Kind::TwoLetters, n, gen());
        const Result r = Code(*codec, true, source, CGsLZSS::MaxEncodedSize(static_cast<int>(n)));
        EXPECT_EQ(YardstickEncode(source), r.bytes) << "call " << call;
        EXPECT_EQ(static_cast<int>(r.bytes.size()), r.result);
    }
}

// A stream of `count` literals, then one reference of 18 bytes to ring `position`.
Bytes LiteralsThenReference(int count, int position)
{
    Bytes stream;
    for (int i = 0; i < count; i += 8)
    {
        const int inGroup = std::min(8, count - i);
        stream.push_back(static_cast<unsigned char>((1u << inGroup) - 1));
        for (int k = 0; k < inGroup; ++k)
            stream.push_back(static_cast<unsigned char>((i + k) * 7 + 1));
    }
    if (count % 8 == 0)
        stream.push_back(0x00);
    stream.push_back(static_cast<unsigned char>(position & 0xFF));
    stream.push_back(static_cast<unsigned char>(((position >> 4) & 0xF0) | 15));
    return stream;
}

TEST(LZSSDecode, StreamsDecodeLikeTheYardstick)
{
    auto codec = std::make_unique<CGsLZSS>();
    // References across the zero-filled start into the first output, and across the ring end.
    const Bytes acrossStart = LiteralsThenReference(4090, (CGsLZSS::START + 4090) & 4095);
    for (int capacity : {4090, 4093, 4096, 4100, 4107, 4108})
        ExpectDecodeLikeYardstick(*codec, acrossStart, capacity);
    ExpectDecodeLikeYardstick(*codec, LiteralsThenReference(5000, 4090), 5018);
    // Every cut of a known stream, and capacities that stop inside a reference.
    const KnownVector& known = KNOWN[4];
    for (std::size_t n = 0; n <= known.stream.size(); ++n)
        ExpectDecodeLikeYardstick(*codec, Bytes(known.stream.begin(), known.stream.begin() + n),
                                  30);
    for (int capacity : {0, 1, 2, 3, 5, 11, 12, 17, 29})
        ExpectDecodeLikeYardstick(*codec, known.stream, capacity);
    // A reference whose second byte lies past the given length is not read.
    const Bytes literalThenRef = {0x01, 'q', 0xEE, 0xFF};
    ExpectDecodeLikeYardstick(*codec, Bytes(literalThenRef.begin(), literalThenRef.end() - 1), 32);
    ExpectDecodeLikeYardstick(*codec, literalThenRef, 19);

    // Random bytes as streams, and streams of mostly references; capacities that cut anywhere.
    std::mt19937 gen(21);
    for (int i = 0; i < 400; ++i)
    {
        const std::size_t length = i % 8 ? gen() % 700 : gen() % 8000 + 1000;
        Bytes stream = Make(Kind::Random, length, gen());
        if (i % 2)
            for (std::size_t k = 0; k < stream.size(); k += 17)
                stream[k] = static_cast<unsigned char>(gen() % 4 == 0 ? gen() : 0);
        const int full = static_cast<int>(length) * 18;
        ExpectDecodeLikeYardstick(*codec, stream,
                                  gen() % 4 ? static_cast<int>(gen() % (full + 1)) : full);
    }
}

} // namespace
