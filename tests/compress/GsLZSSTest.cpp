// The codec against the plain yardstick: the same stream and decoded bytes on data chosen for
// the codec's shortcuts, and never a write past the room.
#include "GsLZSS.h"
#include "LzssYardstick.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace
{
using Bytes = std::vector<unsigned char>;
constexpr unsigned char CANARY = 0xA5;
constexpr std::size_t CANARY_BYTES = 64;

// What the generator may append: noise, runs of 00 or FF, two letters, copies from far back or
// (NEAR) from a few bytes back, overlapping what they produce; some copies changed at their end.
constexpr int NOISE = 1, RUNS = 2, LETTERS = 4, COPIES = 8, NEAR = 16;

Bytes Make(int moves, std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out;
    while (out.size() < n)
    {
        const int move = 1 << gen() % 4;
        if (move & moves & NOISE)
            out.push_back(static_cast<unsigned char>(gen()));
        else if (move & moves & RUNS)
            out.insert(out.end(), gen() % 300 + 1, gen() % 2 ? 0x00 : 0xFF);
        else if (move & moves & LETTERS)
            out.push_back(static_cast<unsigned char>('a' + gen() % 2));
        else if (move & moves & COPIES && !out.empty())
        {
            const std::size_t reach = std::min<std::size_t>(out.size(), moves & NEAR ? 20 : 5000);
            const std::size_t distance = gen() % reach + 1;
            for (std::size_t k = gen() % 60 + 3; k > 0; --k)
                out.push_back(out[out.size() - distance]);
            out.back() = static_cast<unsigned char>(gen() % 2 ? gen() : out.back());
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

// Runs a codec (the product's or the yardstick) into `capacity` bytes and a canary that survives.
template <typename Codec> Result Code(Codec& codec, bool encode, const Bytes& in, int capacity)
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

// One object for many calls, as callers may reuse one: no call may depend on another's leftovers.
template <typename T> T& One()
{
    static const std::unique_ptr<T> object = std::make_unique<T>();
    return *object;
}

// Decodes `stream` with both into `capacity` bytes: same result, count and bytes.
void ExpectDecodeLikeYardstick(const Bytes& stream, int capacity)
{
    const Result expected = Code(One<CLzssYardstick>(), false, stream, capacity);
    const Result r = Code(One<CGsLZSS>(), false, stream, capacity);
    EXPECT_TRUE(expected.result == r.result && expected.bytes == r.bytes && r.canaryIntact)
        << "capacity " << capacity;
    // Without an object, as the updater expands its payload: the same again.
    Bytes alone(static_cast<std::size_t>(capacity) + CANARY_BYTES, CANARY);
    std::int32_t decoded = -1;
    const int result = CGsLZSS::Expand(stream.data(), alone.data(), static_cast<int>(stream.size()),
                                       capacity, &decoded);
    const bool intact = std::all_of(alone.begin() + capacity, alone.end(),
                                    [](unsigned char b) { return b == CANARY; });
    alone.resize(static_cast<std::size_t>(std::max(decoded, 0)));
    EXPECT_TRUE(expected.result == result && expected.bytes == alone && intact)
        << "capacity " << capacity << ", without an object";
}

// The name of a kind of input, its moves, and the size.
using Case = std::tuple<const char*, int, unsigned>;

std::vector<Case> Cases()
{
    std::vector<Case> cases;
    const char* const names[] = {"Random", "Runs", "TwoLetters", "Periodic", "CodeLike"};
    const int kinds[] = {NOISE, RUNS, LETTERS, LETTERS | COPIES | NEAR,
                         NOISE | RUNS | LETTERS | COPIES};
    // Long, and around the ring's size, where strings start leaving the trees; and short.
    for (int k = 0; k < 5; ++k)
    {
        for (unsigned n : {50000u, 4077u, 4096u, 4097u, 4114u, 8210u})
            cases.push_back({names[k], kinds[k], n});
    }
    for (unsigned n = 0; n <= 40; ++n)
        cases.push_back({n % 2 ? "TwoLetters" : "Random", n % 2 ? LETTERS : NOISE, n});
    return cases;
}

class YardstickTest : public ::testing::TestWithParam<Case>
{
};

// The same stream, the source back from it, and one byte too little room refused without a write.
TEST_P(YardstickTest, SameStreamDecodedBackAndTightDestinationsRefused)
{
    const auto& [kind, moves, size] = GetParam();
    const Bytes source = Make(moves, size, size);
    const int n = static_cast<int>(source.size());
    const Bytes expected =
        Code(One<CLzssYardstick>(), true, source, CGsLZSS::MaxEncodedSize(n)).bytes;
    const Result encoded = Code(One<CGsLZSS>(), true, source, CGsLZSS::MaxEncodedSize(n));
    EXPECT_TRUE(encoded.canaryIntact);
    ASSERT_EQ(static_cast<int>(expected.size()), encoded.result);
    EXPECT_EQ(encoded.result, One<CGsLZSS>().encodedSize);
    EXPECT_TRUE(expected == encoded.bytes);

    const Result decoded = Code(One<CGsLZSS>(), false, expected, n);
    EXPECT_EQ(1, decoded.result);
    EXPECT_TRUE(decoded.canaryIntact);
    EXPECT_TRUE(source == decoded.bytes);
    if (n > 0)
    {
        ExpectDecodeLikeYardstick(expected, n - 1);
        // On a fresh object: a first call may not depend on the object's state either.
        auto fresh = std::make_unique<CGsLZSS>();
        const Result tight = Code(*fresh, true, source, encoded.result - 1);
        EXPECT_EQ(-1, tight.result);
        EXPECT_TRUE(tight.canaryIntact);
    }
}

INSTANTIATE_TEST_SUITE_P(LZSS, YardstickTest, ::testing::ValuesIn(Cases()),
                         [](const auto& param) {
                             return std::get<0>(param.param) +
                                    std::to_string(std::get<2>(param.param));
                         });

TEST(LZSSDecode, DamagedStreamsDecodeLikeTheYardstickWithinTheRoom)
{
    // Random streams and streams of mostly references (many before the first output byte).
    std::mt19937 gen(21);
    for (int i = 0; i < 400; ++i)
    {
        const std::size_t length = i % 8 ? gen() % 700 : gen() % 8000 + 1000;
        Bytes damaged = Make(NOISE, length, gen());
        for (std::size_t k = 0; i % 2 && k < damaged.size(); k += 17)
            damaged[k] = static_cast<unsigned char>(gen() % 4 == 0 ? gen() : 0);
        const int full = static_cast<int>(length) * 18;
        ExpectDecodeLikeYardstick(damaged, gen() % 4 ? static_cast<int>(gen() % (full + 1)) : full);
    }
}

} // namespace
